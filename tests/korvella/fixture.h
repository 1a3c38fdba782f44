// The program's windows on virtual time: a settings store of its own, the audio control
// registered from the build, only the capture devices a test adds, stand-ins for DMXControl's
// buttons, and a record of every call on the projector's player.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "forms/application.h"
#include "korvella/main/FlashPlayerControl.h"
#include "korvella/windows.h"
#include "platform/component.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_scripted.h"
#include "support/audio_fixture.h"
#include "wavorix/state.h"

namespace korvella_test {

using korvella::Form1;
using korvella::Form2;
using korvella::Form3;
using korvella::Form4;
using korvella::Form5;
using korvella::frmBeats;

struct Call {
    double t;
    std::string what;
    bool operator==(const Call&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Call& c) { return os << c.t << " " << c.what; }

struct Message {
    double t;
    platform::HWND hwnd;
    platform::UINT msg;
    platform::WPARAM w;
    platform::LPARAM l;
};

class KorvellaTest : public testsupport::AudioTest {
protected:
    KorvellaTest() : AudioTest("korvella-windows-") {
        korvella::FlashPlayerControl::setCallObserver([this](const korvella::FlashPlayerControl& c, const std::string& call) {
            if (c.form() && c.form()->name() == "Form1") calls.push_back({now(), call});
        });
    }

    ~KorvellaTest() override {
        korvella::FlashPlayerControl::setCallObserver(nullptr);
        forms::Application::reset();
    }

    korvella::FrmBeatsWindow& beats() { return frmBeats(); }

    // A capture device whose samples come from a function of the frame (added first: device 0).
    std::shared_ptr<platform::ScriptedWaveIn> addDevice(platform::ScriptedWaveIn::Generator g = {}) {
        auto dev = std::make_shared<platform::ScriptedWaveIn>("Scripted input", 2);
        if (g) dev->setGenerator(std::move(g));
        platform::addWaveInDevice(dev);
        return dev;
    }

    // The program loaded and "Start" pressed (which waits 900 ms).
    void loadAndStart() {
        frmBeats.Show();
        beats().cmdStart.setValue(true);
    }

    // A window of another program that records what it is sent.
    platform::HWND foreignWindow(const std::string& className = "ThunderRT6UserControlDC", platform::HWND parent = 0) {
        return windows().create(className, "", parent, [this](platform::HWND h, platform::UINT m, platform::WPARAM w, platform::LPARAM l) {
            sent.push_back({now(), h, m, w, l});
            return platform::LRESULT{0};
        });
    }

    // Every call on the player after time t.
    std::vector<std::string> callsSince(double t) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.t >= t) out.push_back(c.what);
        return out;
    }

    std::vector<Call> calls;
    std::vector<Message> sent;
};

// A sine at the given frequency on both channels.
inline platform::ScriptedWaveIn::Generator sine(double hz, double amplitude, int rate = 50000) {
    return [hz, amplitude, rate](std::uint64_t frame, int) {
        return static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(frame) / rate)));
    };
}

}  // namespace korvella_test
