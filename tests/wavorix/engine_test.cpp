// The engine's life: Init, Start, Pause, Reset, the remembered device handle and the errors of
// opening a device, seen by a host through late binding.
#include <gtest/gtest.h>

#include <fstream>

#include "forms/controls/label.h"
#include "forms/controls/textbox.h"
#include "platform/loop/mmtimer.h"
#include "platform/storage/settings.h"
#include "wavorix/clsvorix.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

using platform::VbError;

class EngineTest : public WavorixTest {};

TEST_F(EngineTest, StateFlagsGoThroughOpenRunningPausedAndReset) {
    auto dev = addManualDevice();
    create();
    programSettings();
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_EQ(call(d::Init).toInt32(), 0);
    // The open notice arrived inside Init's pumps: opened (2) and notified (1).
    EXPECT_EQ(get(d::Status).toInt32(), 3);
    const auto handle = get(d::DeviceHandle).toInt32();
    EXPECT_NE(handle, 0);
    ASSERT_EQ(sink.of(ev::WaveDeviceOpened).size(), 1u);
    EXPECT_EQ(sink.of(ev::WaveDeviceOpened)[0].args[0].toInt32(), handle);
    EXPECT_EQ(lampColour(), forms::RGB(127, 0, 0));
    EXPECT_EQ(platform::GetSetting("WavoricsOCX", "WaveInDevices", "LastHandle"), std::to_string(handle));

    EXPECT_EQ(call(d::Start).toInt32(), 0);
    EXPECT_EQ(get(d::Status).toInt32(), 7);
    EXPECT_EQ(platform::activeTimerCount(), 1u);

    call(d::Pause);
    EXPECT_EQ(get(d::Status).toInt32(), 3);
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    EXPECT_EQ(lampColour(), forms::RGB(127, 0, 0));

    call(d::Start);
    EXPECT_EQ(get(d::Status).toInt32(), 7);
    EXPECT_EQ(call(d::Reset).toInt32(), 0);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_FALSE(dev->isOpen());
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    EXPECT_EQ(lampColour(), forms::RGB(127, 127, 127));
    // The close notice came while the window procedure was still in place.
    ASSERT_EQ(sink.of(ev::WaveDeviceClosed).size(), 1u);
}

TEST_F(EngineTest, InitTwiceChangesNothingAndStillReturnsZero) {
    auto dev = addManualDevice();
    create();
    programSettings();
    call(d::Init);
    const auto handle = get(d::DeviceHandle).toInt32();
    EXPECT_EQ(call(d::Init).toInt32(), 0);
    EXPECT_EQ(get(d::DeviceHandle).toInt32(), handle);
    EXPECT_EQ(dev->openCount(), 1);
    EXPECT_EQ(get(d::Status).toInt32(), 3);
    // Underneath, the engine answered -1001.
    auto& engineObject = dynamic_cast<wavorix::Vorix&>(*vorix).engineObject();
    EXPECT_EQ(engineObject.InitX(1, 2, 3, 1).toInt32(), -1001);
}

TEST_F(EngineTest, A_DeviceThatCannotBeOpenedRaises1051WithItsTrail) {
    auto dev = addManualDevice();
    dev->failOpen(platform::MMSYSERR_NODRIVER, "Scripted input: no driver");
    create();
    programSettings();
    const auto txtSub = constituent("txtSub")->hWnd();
    try {
        call(d::Init);
        FAIL() << "Init succeeded";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 1051);
        EXPECT_EQ(e.source(), "Wavorix");
        EXPECT_EQ(e.description(),
                  "Wavedevice cannot be opened!\r\nwaveInOpen: Scripted input: no driver\r\nFunction InitX in clsVorix");
    }
    // One try and the one retry.
    EXPECT_EQ(dev->openCount(), 0);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_EQ(get(d::DeviceHandle).toInt32(), 0);
    // The text box has its own procedure again: a text sent to it is stored.
    windows().sendMessage(txtSub, platform::WM_SETTEXT, 0, reinterpret_cast<platform::LPARAM>("back"));
    EXPECT_EQ(static_cast<forms::TextBox*>(constituent("txtSub"))->Text(), "back");
}

TEST_F(EngineTest, NoDeviceAtAllGivesTheSameError) {
    create();
    programSettings();
    try {
        call(d::Init);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 1051);
        EXPECT_EQ(e.description().rfind("Wavedevice cannot be opened!\r\n", 0), 0u);
        EXPECT_NE(e.description().find("\r\nFunction InitX in clsVorix"), std::string::npos);
    }
}

// A device taken by another run: its first open fails while that run records its handle as
// LastHandle; the retry closes that handle and opens again.
class TakenDevice : public platform::WaveInDevice {
public:
    explicit TakenDevice(std::shared_ptr<platform::ScriptedWaveIn> inner) : inner_(std::move(inner)) {}
    std::string name() const override { return "Taken input"; }
    platform::MMRESULT open(const platform::WAVEFORMATEX& format, platform::WaveInSink& sink,
                            std::unique_ptr<platform::WaveInStream>& stream, std::string& error) override {
        ++attempts;
        if (attempts == 1 && onFirstOpen) {
            onFirstOpen();
            error = "Taken input is in use";
            return platform::MMSYSERR_ALLOCATED;
        }
        return inner_->open(format, sink, stream, error);
    }
    int attempts = 0;
    std::function<void()> onFirstOpen;

private:
    std::shared_ptr<platform::ScriptedWaveIn> inner_;
};

TEST_F(EngineTest, TheRetryClosesTheHandleRememberedAsLastHandle) {
    auto inner = std::make_shared<platform::ScriptedWaveIn>("inner", 2);
    inner->setManual(true);
    auto taken = std::make_shared<TakenDevice>(inner);
    platform::addWaveInDevice(taken);
    auto other = addManualDevice();  // device 1, held by the earlier run
    platform::HWAVEIN stale = 0;
    const auto fmt = platform::makePcmFormat(50000, 1);
    taken->onFirstOpen = [&] {
        ASSERT_EQ(platform::waveInOpen(&stale, 1, &fmt, 0, 0, platform::CALLBACK_NULL), platform::MMSYSERR_NOERROR);
        platform::SaveSetting("WavoricsOCX", "WaveInDevices", "LastHandle", std::to_string(stale));
    };
    create();
    programSettings();
    call(d::Init);
    EXPECT_EQ(taken->attempts, 2);
    EXPECT_FALSE(other->isOpen());  // closed by the retry
    const auto handle = get(d::DeviceHandle).toInt32();
    EXPECT_NE(handle, 0);
    EXPECT_NE(handle, stale);
    EXPECT_EQ(platform::GetSetting("WavoricsOCX", "WaveInDevices", "LastHandle"), std::to_string(handle));
}

TEST_F(EngineTest, A_SettingsStoreThatCannotBeWrittenNeitherStopsInitNorReset) {
    auto dev = addManualDevice(1);
    create();
    programSettings();
    // The store's folder would have to lie below a plain file: nothing can be written there.
    const auto blocker = tempPath("not-a-folder");
    std::ofstream(blocker) << "x";
    platform::setConfigDir((blocker / "store").string());
    ASSERT_THROW(platform::SaveSetting("WavoricsOCX", "WaveInDevices", "LastHandle", "1"), VbError);
    EXPECT_EQ(call(d::Init).toInt32(), 0);
    EXPECT_TRUE(dev->isOpen());
    EXPECT_EQ(get(d::Status).toInt32(), 3);
    call(d::Start);
    dev->push(block(5));
    loop().doEvents();
    EXPECT_EQ(wavorix::engine().blockCounter, 1);
    EXPECT_EQ(call(d::Reset).toInt32(), 0);
    EXPECT_FALSE(dev->isOpen());
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_EQ(lampColour(), forms::RGB(127, 127, 127));
}

// Init with a setting that cannot work: error 380 with its reason and InitX's trail line,
// nothing opened or replaced; with the setting mended, the next Init works.
TEST_F(EngineTest, SettingsThatCannotWorkFailInitAtOnce) {
    auto dev = addManualDevice(2);
    create();
    struct Case {
        DispId id;
        Variant bad;
        Variant good;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {d::Channels, Variant(std::int16_t{0}), Variant(std::int16_t{1}), "Channels must be 1 or 2 (is 0)"},
        {d::Channels, Variant(std::int16_t{3}), Variant(std::int16_t{2}), "Channels must be 1 or 2 (is 3)"},
        {d::Buffers, Variant(0), Variant(7), "Buffers must be 1 to 255 (is 0)"},
        {d::Buffers, Variant(-4), Variant(1), "Buffers must be 1 to 255 (is -4)"},
        {d::Buffers, Variant(256), Variant(255), "Buffers must be 1 to 255 (is 256)"},
        {d::Buffers, Variant(300), Variant(7), "Buffers must be 1 to 255 (is 300)"},
        {d::Buffers, Variant(512), Variant(7), "Buffers must be 1 to 255 (is 512)"},
        {d::Samples, Variant(1), Variant(1024), "Samples must be 2 or more for the FFT (is 1)"},
        {d::Samples, Variant(0), Variant(1024), "Samples must be 2 or more for the FFT (is 1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        programSettings();
        put(c.id, c.bad);
        try {
            call(d::Init);
            ADD_FAILURE() << "Init succeeded";
        } catch (const VbError& e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_EQ(e.source(), "Wavorix");
            EXPECT_EQ(e.description(), "Invalid property value\r\n" + c.reason + "\r\nFunction InitX in clsVorix");
        }
        EXPECT_FALSE(dev->isOpen());
        EXPECT_EQ(get(d::Status).toInt32(), 0);
        EXPECT_FALSE(wavorix::engine().oldWaveProc);
        put(c.id, c.good);
        EXPECT_EQ(call(d::Init).toInt32(), 0);
        EXPECT_EQ(get(d::Status).toInt32(), 3);
        call(d::Start);
        dev->push(block(3, 1024, static_cast<std::size_t>(get(d::Channels).toInt32())));
        loop().doEvents();
        EXPECT_EQ(wavorix::engine().blockCounter, 1);
        EXPECT_EQ(wavorix::engine().procError, 0);
        call(d::Reset);
        EXPECT_FALSE(dev->isOpen());
    }
    // Without the FFT one sample per block works.
    programSettings(1);
    put(d::Analysis, static_cast<std::int32_t>(wavorix::MaxAmplitude));
    put(d::Samples, 1);
    EXPECT_EQ(call(d::Init).toInt32(), 0);
    call(d::Reset);
}

TEST_F(EngineTest, A_FailedInitLeavesNothingOpenForTheNextInit) {
    // The recording file cannot be made after the device opened and the procedures were
    // replaced: all of it is undone, so the next Init starts afresh without a Reset.
    auto dev = addManualDevice(1);
    create();
    programSettings();
    put(d::FileName, "/nonexistent-folder/x.wav");
    put(d::Recording, true);
    EXPECT_THROW(call(d::Init), VbError);
    EXPECT_FALSE(dev->isOpen());
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_EQ(get(d::DeviceHandle).toInt32(), 0);
    EXPECT_FALSE(wavorix::engine().oldWaveProc);
    EXPECT_FALSE(wavorix::engine().oldTimerProc);
    put(d::Recording, false);
    put(d::FileName, "");
    EXPECT_EQ(call(d::Init).toInt32(), 0);
    EXPECT_TRUE(dev->isOpen());
    call(d::Start);
    dev->push(block(5));
    loop().doEvents();
    EXPECT_EQ(wavorix::engine().blockCounter, 1);
}

TEST_F(EngineTest, SamplesCannotChangeWhileTheDeviceIsOpen) {
    auto dev = addManualDevice(1);
    create();
    programSettings(1);
    call(d::Init);
    call(d::Start);
    auto expect380 = [&](const std::function<void()>& write, const std::string& text) {
        try {
            write();
            ADD_FAILURE() << "no error";
        } catch (const VbError& e) {
            EXPECT_EQ(e.number(), 380);
            EXPECT_EQ(e.description(), text);
        }
    };
    expect380([&] { put(d::Samples, 512); },
              "Invalid property value\r\nSamples cannot change while the device is open (1024 to 512)\r\n"
              "Property Let Samples in Wavorix");
    // Switching the FFT off keeps 1024; a count that is no power of two then needs it back on.
    put(d::Analysis, static_cast<std::int32_t>(wavorix::MaxAmplitude));
    expect380([&] { put(d::Samples, 1000); },
              "Invalid property value\r\nSamples cannot change while the device is open (1024 to 1000)\r\n"
              "Property Let Samples in Wavorix");
    std::vector<std::int16_t> wave(256, 0);
    std::vector<float> spec;
    expect380([&] { call(d::DoFFT, {Variant::byRef(wave), Variant::byRef(spec)}); },
              "Invalid property value\r\nSamples cannot change while the device is open (1024 to 256)\r\n"
              "Function DoFFT in Wavorix");
    auto& engineObject = dynamic_cast<wavorix::Vorix&>(*vorix).engineObject();
    expect380([&] { engineObject.letSamples(2048); },
              "Invalid property value\r\nSamples cannot change while the device is open (1024 to 2048)\r\n"
              "Property Let Samples in clsVorix");
    // The same count is no change; nothing was stored, and capture goes on.
    put(d::Samples, 1024);
    put(d::Analysis, static_cast<std::int32_t>(wavorix::FFT_));
    EXPECT_EQ(get(d::Samples).toInt32(), 1024);
    EXPECT_EQ(wavorix::engine().samples, 1024);
    EXPECT_TRUE(sink.of(ev::ChangedSamples).empty());
    dev->push(block(6));
    loop().doEvents();
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 6);
    EXPECT_EQ(wavorix::engine().procError, 0);
    // Closed, it may change again.
    call(d::Reset);
    put(d::Samples, 512);
    EXPECT_EQ(get(d::Samples).toInt32(), 512);
}

TEST_F(EngineTest, StartQueuesNothingWhenTheDeviceCountChangedSinceInit) {
    auto dev = addManualDevice(1);
    create();
    programSettings();
    call(d::Init);
    platform::addWaveInDevice(std::make_shared<platform::ScriptedWaveIn>("plugged in later"));
    EXPECT_EQ(call(d::Start).toInt32(), 0);
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    dev->push(block(100));
    advance(5);
    EXPECT_EQ(wavorix::engine().blockCounter, 0);  // no buffer was queued: the block is lost
    EXPECT_FALSE(wavorix::engine().stopwatch);
}

TEST_F(EngineTest, TheTimerRunsOnlyWithMoreThanOneBufferAndAnFFT) {
    auto dev = addManualDevice(1);
    create();
    programSettings(1);
    call(d::Init);
    call(d::Start);
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    call(d::Reset);

    // Two buffers: half a block (20 ms / 2).
    put(d::Buffers, 2);
    call(d::Init);
    std::vector<double> ticks;
    struct TickWatch : platform::WindowRegistry::Observer {
        std::function<void(platform::UINT)> fn;
        void messageSent(platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) override { fn(m); }
    } watch;
    watch.fn = [&](platform::UINT m) {
        if (m == 0x3B7) ticks.push_back(now());
    };
    windows().addObserver(&watch);
    const double t0 = now();
    call(d::Start);
    EXPECT_EQ(wavorix::engine().timerDelay, 10);
    advance(35);
    windows().removeObserver(&watch);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_DOUBLE_EQ(ticks[0] - t0, 10);
    EXPECT_DOUBLE_EQ(ticks[1] - t0, 20);
    EXPECT_DOUBLE_EQ(ticks[2] - t0, 30);
    call(d::Reset);

    // Without bit 2 no timer: every block is analysed as it arrives.
    sink.events.clear();
    put(d::Buffers, 7);
    put(d::Analysis, static_cast<std::int32_t>(wavorix::MaxAmplitude));
    call(d::Init);
    call(d::Start);
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    dev->push(block(77));
    loop().doEvents();
    EXPECT_EQ(sink.of(ev::Complete).size(), 1u);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 77);
}

TEST_F(EngineTest, Typ3OpensAnOutputDevice) {
    auto out = std::make_shared<platform::VirtualWaveOut>();
    platform::addWaveOutDevice(out);
    addManualDevice();
    create();
    programSettings();
    call(d::Init, {Variant(3)});
    EXPECT_TRUE(out->isOpen());
    EXPECT_EQ(wavorix::engine().deviceKind, 2);
    EXPECT_EQ(lampColour(), forms::RGB(0, 0, 127));
    EXPECT_TRUE(get(d::Playing).toBool() == false);  // the control's stored value is not the engine's
    EXPECT_EQ(platform::GetSetting("WavoricsOCX", "WaveOutDevices", "LastHandle"),
              std::to_string(get(d::DeviceHandle).toInt32()));
}

TEST_F(EngineTest, ResetWithNothingOpenStillClearsTheStateAndGreysTheLamp) {
    create();
    auto& lamp = *static_cast<forms::Label*>(constituent("lSub"));
    wavorix::engine().lamp = &lamp;
    wavorix::engine().stateFlags = 7;
    EXPECT_EQ(call(d::Reset).toInt32(), 0);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
    EXPECT_EQ(lamp.BackColor(), forms::RGB(127, 127, 127));
    EXPECT_EQ(wavorix::engine().lamp, nullptr);
    // Pause needs the lamp that Reset released.
    try {
        call(d::Pause);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 91);
        EXPECT_EQ(e.description(), "Object variable or With block variable not set\r\nFunction Pause in clsVorix");
    }
}

TEST_F(EngineTest, TheEngineAloneCannotInitialise) {
    // Another thread has no control: the engine object has no trigger table and Init fails.
    std::thread([] {
        wavorix::clsVorix e;
        EXPECT_FALSE(e.triggersDimensioned());
        try {
            e.Init();
            ADD_FAILURE();
        } catch (const VbError& err) {
            EXPECT_EQ(err.number(), 424);
            EXPECT_EQ(err.description(), "Object required\r\nFunction Init in clsVorix");
        }
        wavorix::resetEngineState();
    }).join();
}

TEST_F(EngineTest, PollingModeRaisesCompleteOnEveryTick) {
    auto dev = addManualDevice(1);
    create();
    programSettings(2, 0);
    put(d::TimerInterval, 0);  // Start makes it one block: 20 ms
    call(d::Init);
    EXPECT_EQ(lampColour(), forms::RGB(0, 175, 0));
    const double t0 = now();
    call(d::Start);
    EXPECT_EQ(get(d::TimerInterval).toInt32(), 0);  // the control keeps what the host set
    advance(61);
    const auto complete = sink.of(ev::Complete);
    ASSERT_EQ(complete.size(), 3u);
    for (std::size_t i = 0; i < complete.size(); ++i) {
        EXPECT_DOUBLE_EQ(complete[i].t - t0, 20.0 * (i + 1));
        EXPECT_EQ(complete[i].args[0].toInt32(), 0);
        EXPECT_EQ(complete[i].args[1].toInt32(), 0);
        EXPECT_EQ(complete[i].args[2].toDouble(), 0.0);
    }
    // Each tick queued the next buffer: a pushed block lands in buffer 2 and is counted... by
    // nobody, since the polling mode leaves txtSub's own procedure in place.
    dev->push(block(5));
    loop().doEvents();
    EXPECT_EQ(wavorix::engine().blockCounter, 0);
}

}  // namespace
}  // namespace wxtest
