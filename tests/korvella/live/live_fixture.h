// The live desk on virtual time: the program's fixture plus a scripted keyboard, a record of the
// projector window's background colour, and effect and dimmer movies of our own in the program
// folder (removed again after each test, as the program folder is shared by a test process).
#pragma once
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../fixture.h"
#include "platform/storage/files.h"
#include "platform/windows/keyboard.h"
#include "player/content.h"
#include "player/swf_writer.h"

namespace korvella_test {

namespace fs = std::filesystem;

// Every change of the projector window's background colour, with its time.
struct BackColorLog : forms::FormsObserver {
    explicit BackColorLog(std::function<double()> clock) : now(std::move(clock)) { forms::Application::addObserver(this); }
    ~BackColorLog() override { forms::Application::removeObserver(this); }
    void formChanged(forms::Form& f, forms::Prop p) override {
        if (f.name() == "Form1" && p == forms::Prop::Colors) changes.push_back({now(), f.BackColor()});
    }
    struct Change {
        double t;
        std::uint32_t colour;
        bool operator==(const Change&) const = default;
    };
    std::function<double()> now;
    std::vector<Change> changes;
};

inline std::ostream& operator<<(std::ostream& os, const BackColorLog::Change& c) {
    return os << c.t << " &H" << std::hex << c.colour << std::dec;
}

// Every form the runtime loads, by name.
struct LoadLog : forms::FormsObserver {
    LoadLog() { forms::Application::addObserver(this); }
    ~LoadLog() override { forms::Application::removeObserver(this); }
    void formLoaded(forms::Form& f) override { loaded.push_back(f.name()); }
    std::vector<std::string> loaded;
};

class LiveDeskTest : public KorvellaTest {
protected:
    LiveDeskTest() {
        app = platform::appPath();
        platform::setKeyboard(&keys);
    }
    ~LiveDeskTest() override {
        platform::setKeyboard(nullptr);
        std::error_code ec;
        for (const auto& p : made) fs::remove_all(p, ec);
        if (!savedDimmers.empty()) fs::rename(savedDimmers, fs::path(app) / "Dimmer", ec);
    }

    // The desk, loaded (hidden) if it is not, and its first mirror tick (dimmer 0) behind it, so
    // that what a test asserts starts from a quiet desk.
    korvella::Form5Window& desk() {
        if (!Form5.isLoaded()) {
            Form5.Load();
            advance(1);
        }
        return Form5();
    }
    player::MoviePlayer& projector() { return Form1->ShockwaveFlash1.player(); }

    // A one-frame movie whose stage is widthPx wide, so a test can tell which file a layer holds.
    void writeMovie(const fs::path& path, int widthPx) {
        player::SwfWriter w(widthPx, 100, 12);
        w.place(1, w.defineRect(0, 0, widthPx * 20, 2000, {0, 0, 0, 128}));
        w.showFrame();
        const auto bytes = w.finish();
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    // Dimmer movie n is 100 + n pixels wide. Delivered ones are put back afterwards.
    void writeDimmers() {
        const fs::path dir = fs::path(app) / "Dimmer";
        if (fs::exists(dir)) {
            savedDimmers = fs::path(app) / "Dimmer.saved-by-test";
            fs::rename(dir, savedDimmers);
        }
        made.push_back(dir);
        for (int n = 0; n <= 25; ++n) writeMovie(dir / (std::to_string(n) + ".swf"), 100 + n);
    }
    // A file of our own in the effects folder (or a sub-folder of it).
    fs::path effect(const std::string& relative, int widthPx = 200) {
        const fs::path p = fs::path(app) / "Effekts" / relative;
        writeMovie(p, widthPx);
        made.push_back(fs::path(app) / "Effekts" / *fs::path(relative).begin());
        return p;
    }
    // Runs the loop until the time has come (a flash under way may carry it a little further).
    void until(double t) {
        while (now() < t) advance(1);
    }
    // Stage width in pixels of the movie in a layer (0 when the layer is empty).
    double layerWidthPx(int layer) {
        player::Content* c = projector().layer(layer);
        return c ? c->stage().width / 20 : 0;
    }

    std::string app;
    platform::ScriptedKeyboard keys;
    std::vector<fs::path> made;
    fs::path savedDimmers;
};

}  // namespace korvella_test
