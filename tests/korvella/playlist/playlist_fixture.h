// The light show editor on virtual time: the program loaded with a program folder of its own,
// the calls on the projector and on the editor's preview recorded, stand-ins for DMXControl's
// buttons, kicks through the real dispatcher, and small movies written into the effects folder.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "../fixture.h"
#include "player/swf_writer.h"

namespace playlist_test {

using korvella::Form1;
using korvella::Form2;
using korvella::Form4;
using korvella::frmBeats;
using korvella_test::Call;
using Rows = std::vector<std::pair<std::string, std::string>>;

class PlaylistTest : public korvella_test::KorvellaTest {
protected:
    PlaylistTest() {
        if (const char* old = std::getenv("KORVELLA_HOME")) oldHome_ = old;
        home = tempPath("home");
        std::filesystem::create_directories(home);
        ::setenv("KORVELLA_HOME", home.c_str(), 1);
        korvella::FlashPlayerControl::setCallObserver([this](const korvella::FlashPlayerControl& c, const std::string& call) {
            if (!c.form()) return;
            if (c.form()->name() == "Form1") calls.push_back({now(), call});
            if (c.form()->name() == "Form2") preview.push_back({now(), call});
        });
    }
    ~PlaylistTest() override { ::setenv("KORVELLA_HOME", oldHome_.c_str(), 1); }

    korvella::Form2Window& ed() { return korvella::Form2(); }

    // The playlist as (text, value) rows; the two lists must stay paired.
    Rows rows() {
        EXPECT_EQ(ed().List1.ListCount(), ed().List2.ListCount());
        Rows r;
        for (int i = 0; i < ed().List1.ListCount(); ++i) r.push_back({ed().List1.List(i), ed().List2.List(i)});
        return r;
    }
    void setRows(const Rows& r) {
        for (const auto& [text, value] : r) {
            ed().List1.AddItem(text);
            ed().List2.AddItem(value);
        }
    }

    // A kick-bass through the detector and the dispatcher, counted at the next 1 ms tick; the
    // detector drops 20 ms later and the lock has run out after the returned 220 ms.
    void kick() {
        beats().beat = "100";
        advance(20);
        beats().beat = "200";
        advance(200);
    }

    // n buttons of DMXControl's KommandoBox, their handles in Form4.List1.
    std::vector<platform::HWND> kommandoBox(int n) {
        std::vector<platform::HWND> h;
        for (int i = 0; i < n; ++i) {
            h.push_back(foreignWindow());
            Form4->List1.AddItem(std::to_string(h.back()));
        }
        return h;
    }
    // The messages a window received, as (time, message).
    std::vector<std::pair<double, platform::UINT>> received(platform::HWND h) const {
        std::vector<std::pair<double, platform::UINT>> out;
        for (const auto& m : sent)
            if (m.hwnd == h) out.push_back({m.t, m.msg});
        return out;
    }

    // A movie of n frames at the given rate in the effects folder; returns its full path as the
    // explorer names it.
    std::string movie(const std::string& name, int frames, double rate = 10) {
        player::SwfWriter w(40, 30, rate);
        w.place(1, w.defineRect(0, 0, 800, 600, {255, 0, 0, 255}));
        for (int f = 0; f < frames; ++f) w.showFrame();
        const auto bytes = w.finish();
        std::ofstream(home / "Effekts" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return home.string() + "\\Effekts\\" + name;
    }

    // The message boxes shown, as "title: text (style)".
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const auto& m : dialogs.messages())
            out.push_back(m.title + ": " + m.text + " (" + std::to_string(m.style) + ")");
        return out;
    }

    std::string fileText(const std::filesystem::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::filesystem::path home;
    std::vector<Call> preview;

private:
    std::string oldHome_;
};

}  // namespace playlist_test
