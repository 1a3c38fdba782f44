// A host for the audio control on virtual time: a fresh settings store in a temporary folder,
// only the devices a test adds, the library registered and loaded by its class identity, and a
// sink that records every event with the virtual time it came at.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/form.h"
#include "platform/component.h"
#include "platform/storage/settings.h"
#include "platform/audio/wave.h"
#include "platform/audio/wave_scripted.h"
#include "support/audio_fixture.h"
#include "wavorix/state.h"
#include "wavorix/vorix.h"

namespace wxtest {

using platform::com::DispId;
using platform::com::Variant;
namespace d = wavorix::dispid;
namespace ev = wavorix::eventid;

class HostForm : public forms::Form {
public:
    HostForm() : forms::Form("frmBeats", "Beats") {}
};

struct Event {
    DispId id;
    double t;
    std::vector<Variant> args;
};

class RecordingSink : public platform::com::EventSink {
public:
    explicit RecordingSink(std::function<double()> clock) : clock_(std::move(clock)) {}
    void event(DispId id, std::vector<Variant>& args) override {
        events.push_back({id, clock_(), args});
        if (hook) hook(id, args);
    }
    std::vector<Event> of(DispId id) const {
        std::vector<Event> out;
        for (const auto& e : events)
            if (e.id == id) out.push_back(e);
        return out;
    }
    std::vector<Event> events;
    std::function<void(DispId, std::vector<Variant>&)> hook;

private:
    std::function<double()> clock_;
};

class WavorixTest : public testsupport::AudioTest {
protected:
    explicit WavorixTest(forms::Runtime::ClockKind clock = forms::Runtime::ClockKind::Virtual)
        : AudioTest("wavorix-test-", clock) {
        form = std::make_unique<HostForm>();
    }

    ~WavorixTest() override {
        sink.hook = nullptr;  // it may capture what the test body held
        vorix.reset();
        form.reset();
    }

    // The control as the program creates it: by its class identity, then late binding.
    platform::com::ControlObject& create(platform::com::PropertyBag* saved = nullptr) {
        vorix = platform::com::createControl(wavorix::kProgId, form.get(), "Vorix1", &site, saved);
        vorix->advise(&sink);
        return *vorix;
    }

    // A manual scripted capture device (added first: device 0).
    std::shared_ptr<platform::ScriptedWaveIn> addManualDevice(std::uint16_t channels = 2) {
        auto dev = std::make_shared<platform::ScriptedWaveIn>("Scripted input", channels);
        dev->setManual(true);
        platform::addWaveInDevice(dev);
        return dev;
    }

    // A fresh host window (the control placed on the old one goes first, as it goes with it).
    void newForm() {
        vorix.reset();
        form = std::make_unique<HostForm>();
    }

    Variant get(DispId id, std::vector<Variant> args = {}) { return vorix->get(id, std::move(args)); }
    void put(DispId id, Variant v) { vorix->put(id, std::move(v)); }
    Variant call(DispId id, std::vector<Variant> args = {}) { return vorix->call(id, std::move(args)); }

    // The settings of the main program: 50000 samples/s, 1024 samples, 7 buffers, queued capture.
    void programSettings(std::int32_t buffers = 7, std::int16_t loopMethod = 1) {
        put(d::Threshold, 3.0f);
        put(d::SPS, 50000);
        put(d::Samples, 1024);
        put(d::Buffers, buffers);
        put(d::LoopMethod, loopMethod);
        put(d::Device, 0);
        put(d::Analysis, static_cast<std::int32_t>(wavorix::FFT_));
        put(d::Recording, false);
    }

    forms::Control* constituent(const std::string& name) {
        for (auto* c : form->Controls())
            if (c->name() == name && (c->container() == &vorix->extender() || c->kind() == forms::Kind::Timer))
                return c;
        return nullptr;
    }
    std::uint32_t lampColour() { return constituent("lSub")->BackColor(); }

    platform::com::SimpleSite site;
    RecordingSink sink{[this] { return now(); }};
    std::unique_ptr<HostForm> form;
    std::unique_ptr<platform::com::ControlObject> vorix;
};

// A block of one constant value (frames x channels).
inline std::vector<std::int16_t> block(std::int16_t value, std::size_t frames = 1024, std::size_t channels = 1) {
    return std::vector<std::int16_t>(frames * channels, value);
}

}  // namespace wxtest
