// The control as a host sees it through late binding: its stored properties, the design-mode
// rules, the property bag, the message channel and the events by their identifiers.
#include <gtest/gtest.h>

#include "forms/controls/textbox.h"
#include "forms/controls/timer.h"
#include "platform/component.h"
#include "wavorix/clsvorix.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

using platform::VbError;
using platform::com::InvokeKind;

class ControlTest : public WavorixTest {
protected:
    int errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const VbError& e) {
            return e.number();
        }
        return 0;
    }
    void sendText(const std::string& text) {
        windows().sendMessage(constituent("txtMsg")->hWnd(), platform::WM_SETTEXT, 0,
                              reinterpret_cast<platform::LPARAM>(text.c_str()));
    }
    void sendKey(int code) { windows().sendMessage(constituent("txtMsg")->hWnd(), platform::WM_KEYUP, code, 0); }
};

TEST_F(ControlTest, IsPlacedOnTheHostFormWithItsConstituents) {
    auto& c = create();
    EXPECT_EQ(windows().getClassName(c.extender().hWnd()), "ThunderRT6UserControlDC");
    EXPECT_EQ(windows().getParent(c.extender().hWnd()), form->hWnd());
    for (const char* name : {"txtMsg", "txtSub", "txtTim"}) {
        auto* box = constituent(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(windows().getParent(box->hWnd()), c.extender().hWnd());
        EXPECT_FALSE(box->Visible());
    }
    ASSERT_NE(constituent("lSub"), nullptr);
    ASSERT_NE(constituent("Timer1"), nullptr);
    // The lamp label covers the control.
    c.extender().Move(100, 200, 1500, 600);
    EXPECT_EQ(constituent("lSub")->Width(), 1500);
    EXPECT_EQ(constituent("lSub")->Height(), 600);
    EXPECT_EQ(call(d::Version).toString(), "1.0.52");
}

TEST_F(ControlTest, SamplesAndAnalysisKeepAPowerOfTwoForTheFft) {
    create();
    struct Case {
        std::int32_t analysis, samples, stored;
        bool event;
    };
    for (const auto& k : {Case{wavorix::FFT_, 1000, 1024, true}, Case{wavorix::None, 1000, 1000, false},
                          Case{wavorix::None, 0, 1, false}, Case{wavorix::FFT_, 1500, 2048, true},
                          Case{wavorix::FFT_, -5, 1, false}, Case{wavorix::MaxAmplitude, 724, 724, false}}) {
        put(d::Analysis, k.analysis);
        sink.events.clear();
        put(d::Samples, k.samples);
        EXPECT_EQ(get(d::Samples).toInt32(), k.stored) << k.samples;
        EXPECT_EQ(wavorix::engine().samples, k.stored);
        ASSERT_EQ(sink.of(ev::ChangedSamples).size(), k.event ? 1u : 0u) << k.samples;
        if (k.event) {
            EXPECT_EQ(sink.of(ev::ChangedSamples)[0].args[0].toInt32(), k.samples);
        }
    }
    // From None to FFT with 1000 samples: 1024 and the old count in the event.
    put(d::Analysis, static_cast<std::int32_t>(wavorix::None));
    put(d::Samples, 1000);
    sink.events.clear();
    put(d::Analysis, static_cast<std::int32_t>(wavorix::FFT_));
    EXPECT_EQ(get(d::Samples).toInt32(), 1024);
    ASSERT_EQ(sink.of(ev::ChangedSamples).size(), 1u);
    EXPECT_EQ(sink.of(ev::ChangedSamples)[0].args[0].toInt32(), 1000);
    EXPECT_EQ(wavorix::engine().analysisFlags, 3);
}

TEST_F(ControlTest, ValuesReachTheEngineAtOnceOrAtInit) {
    create();
    put(d::Threshold, 3.0f);
    EXPECT_EQ(wavorix::engine().level, 960);
    EXPECT_EQ(get(d::Threshold).toFloat(), 3.0f);
    put(d::SPS, 50000);
    EXPECT_EQ(wavorix::engine().sampleRate, 50000);
    put(d::LoopMethod, static_cast<std::int16_t>(3));
    EXPECT_EQ(wavorix::engine().loopMode, 3);
    put(d::TimerInterval, 25);
    EXPECT_EQ(static_cast<forms::Timer*>(constituent("Timer1"))->Interval(), 25);
    EXPECT_EQ(errorOf([&] { put(d::TimerInterval, 70000); }), 380);
    put(d::Buffers, 9);
    EXPECT_NE(wavorix::engine().buffers, 9);  // only Init hands it over
    EXPECT_DOUBLE_EQ(get(d::SamplingTime).toDouble(), 1024 * 1000.0 / 50000);
}

TEST_F(ControlTest, RunTimeOnlyAndComputedPropertiesInDesignAndUserMode) {
    site.setUserMode(false);
    create();
    for (DispId id : {d::DataPointer, d::Device, d::BlockCount, d::MissedCount, d::Sequence})
        EXPECT_EQ(errorOf([&] { put(id, 1); }), 387) << std::hex << id;
    EXPECT_EQ(errorOf([&] { put(d::Recording, true); }), 387);
    for (DispId id : {d::SamplingTime, d::FilePointer, d::Playing, d::Devices})
        EXPECT_EQ(errorOf([&] { put(id, 1); }), 387) << std::hex << id;
    // Design mode still stores the others.
    put(d::SPS, 22050);
    EXPECT_EQ(get(d::SPS).toInt32(), 22050);

    site.setUserMode(true);
    for (DispId id : {d::SamplingTime, d::FilePointer, d::Playing, d::Devices})
        EXPECT_EQ(errorOf([&] { put(id, 1); }), 382) << std::hex << id;
    put(d::DataPointer, 77);
    EXPECT_EQ(get(d::DataPointer).toInt32(), 77);
    put(d::Sequence, "any");
    EXPECT_EQ(get(d::Sequence).toString(), "any");
    // Members that cannot be written, and members that do not exist.
    EXPECT_EQ(errorOf([&] { put(d::Status, 1); }), 438);
    EXPECT_EQ(errorOf([&] { call(0x12345); }), 438);
    EXPECT_EQ(errorOf([&] { call(d::AddTrigger, {Variant(1)}); }), 450);
    EXPECT_EQ(errorOf([&] { put(d::SPS, "fast"); }), 13);
    EXPECT_EQ(errorOf([&] { put(d::Bips, 40000); }), 6);
}

TEST_F(ControlTest, ChangesAreReportedToTheContainerByTheirBagNames) {
    create();
    site.changed.clear();
    put(d::SPS, 50000);
    put(d::Samples, 512);
    put(d::Threshold, 2.0f);
    put(d::Recording, true);
    EXPECT_EQ(site.changed, (std::vector<std::string>{"SpS", "Samples", "Threshold", "Recording"}));
    // Recording with no file name records beside the library.
    EXPECT_EQ(get(d::FileName).toString(), wavorix::LibraryFolder() + "\\Recording.wav");
}

TEST_F(ControlTest, ThePropertyBagOmitsDefaultsAndReadsThemBack) {
    create();
    platform::com::MemoryPropertyBag fresh;
    vorix->writeProperties(fresh);
    EXPECT_TRUE(fresh.names().empty());  // a new instance has only defaults (Devices 0 too)

    put(d::SPS, 50000);
    put(d::Samples, 2048);
    put(d::Threshold, 3.5f);
    put(d::LoopMethod, static_cast<std::int16_t>(1));
    put(d::Buffers, 7);
    put(d::FileName, "C:\\rec.wav");
    put(d::DataPointer, 5);  // never written
    platform::com::MemoryPropertyBag bag;
    vorix->writeProperties(bag);
    EXPECT_EQ(bag.names(),
              (std::vector<std::string>{"SpS", "Samples", "LoopMethod", "Threshold", "FileName", "Buffers"}));

    // A saved instance: read back, with what was not saved at its defaults.
    bag.WriteProperty("SamplingTime", Variant(9.0), Variant(0));
    bag.WriteProperty("Samples", Variant(0), Variant(1024));  // stored 0 becomes 1024
    newForm();
    create(&bag);
    EXPECT_EQ(get(d::SPS).toInt32(), 50000);
    EXPECT_EQ(get(d::Samples).toInt32(), 1024);
    EXPECT_EQ(get(d::LoopMethod).toInt32(), 1);
    EXPECT_EQ(get(d::Buffers).toInt32(), 7);
    EXPECT_EQ(get(d::FileName).toString(), "C:\\rec.wav");
    EXPECT_EQ(get(d::DataPointer).toInt32(), 0);
    EXPECT_EQ(get(d::Bips).toInt32(), 16);
    EXPECT_EQ(get(d::Analysis).toInt32(), 3);
    EXPECT_EQ(static_cast<forms::Timer*>(constituent("Timer1"))->Interval(), 1);
}

TEST_F(ControlTest, ThePropertyBagInTheSettingsStore) {
    addManualDevice();
    addManualDevice();
    platform::com::MemoryPropertyBag empty;
    create(&empty);
    EXPECT_EQ(get(d::Devices).toInt32(), 2);  // a loaded instance counts the devices present
    put(d::SPS, 50000);
    put(d::Threshold, 3.0f);
    platform::com::StoredPropertyBag saved("Korvella", "frmBeats.Vorix1");
    EXPECT_FALSE(saved.exists());
    saved.beginSave();
    vorix->writeProperties(saved);
    EXPECT_EQ(platform::GetSetting("Korvella", "frmBeats.Vorix1", "SpS"), "I4:50000");
    EXPECT_EQ(platform::GetSetting("Korvella", "frmBeats.Vorix1", "Devices"), "I4:2");

    put(d::SPS, 44100);  // back to the default: the next save forgets it
    saved.beginSave();
    vorix->writeProperties(saved);
    platform::com::StoredPropertyBag again("Korvella", "frmBeats.Vorix1");
    EXPECT_EQ(again.ReadProperty("SpS", Variant(1)).toInt32(), 1);
    EXPECT_EQ(again.ReadProperty("threshold", Variant(5)).toFloat(), 3.0f);

    newForm();
    create(&again);
    // Reading the bag reaches no engine: Threshold reads the level of the thread's engine block.
    EXPECT_EQ(wavorix::engine().level, 960);
    EXPECT_EQ(get(d::Threshold).toFloat(), 3.0f);
    EXPECT_EQ(get(d::SPS).toInt32(), 44100);
}

TEST_F(ControlTest, NewInstanceStartsWithDesignDefaults) {
    addManualDevice();
    create();
    EXPECT_EQ(get(d::Devices).toInt32(), 0);  // a newly placed instance
    EXPECT_EQ(get(d::SPS).toInt32(), 44100);
    EXPECT_EQ(get(d::Channels).toInt32(), 1);
    EXPECT_EQ(get(d::TimerInterval).toInt32(), 1);
    EXPECT_EQ(get(d::Buffers).toInt32(), 1);
    EXPECT_EQ(get(d::FileName).toString(), "");
    EXPECT_FALSE(get(d::Recording).toBool());
    EXPECT_EQ(get(d::DeviceName, {Variant(0)}).toString(), "Scripted input");
    EXPECT_EQ(get(d::DeviceName, {Variant(5)}).toString(), "");
    std::vector<float> spec;
    EXPECT_EQ(get(d::Spectrum, {Variant::byRef(spec), Variant(2)}).toInt32(), 0);
}

TEST_F(ControlTest, DeviceNamesAreCutToTheProductNameLength) {
    platform::addWaveInDevice(std::make_shared<platform::ScriptedWaveIn>(std::string(31, 'a')));
    platform::addWaveInDevice(std::make_shared<platform::ScriptedWaveIn>(std::string(40, 'b')));
    create();
    EXPECT_EQ(get(d::DeviceName, {Variant(0)}).toString(), std::string(31, 'a'));
    EXPECT_EQ(get(d::DeviceName, {Variant(1)}).toString(), std::string(31, 'b'));
    try {
        get(d::DeviceName, {Variant(-1)});
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), 9);
        EXPECT_EQ(e.description(), "Subscript out of range\r\nProperty DeviceName in Wavorix");
    }
}

TEST_F(ControlTest, KeywordsRaiseTheirEventsByIdentifier) {
    addManualDevice();
    create();
    programSettings();
    call(d::Init);
    const auto handle = get(d::DeviceHandle).toInt32();
    sink.events.clear();
    sendText("START now");  // the first word, in any case
    sendText("closed");
    sendText("donerecording");
    sendText("unknown words");
    ASSERT_EQ(sink.events.size(), 3u);
    EXPECT_EQ(sink.events[0].id, 5);
    EXPECT_EQ(sink.events[0].args[0].toInt32(), handle);
    EXPECT_EQ(sink.events[1].id, 6);
    EXPECT_EQ(sink.events[2].id, 1);
    EXPECT_EQ(static_cast<forms::TextBox*>(constituent("txtMsg"))->Text(), "");

    sink.events.clear();
    wavorix::engine().lastCompletedBlock = 41;
    wavorix::engine().blockCounter = 44;
    wavorix::engine().arrivalTime = 1.25;
    sendKey(256 + 7);
    sendKey(512 + 7);
    sendKey(768 + 1);  // no such kind
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0].id, 3);
    EXPECT_EQ(sink.events[0].args[0].toInt32(), 41);
    EXPECT_EQ(sink.events[0].args[1].toInt32(), 7);
    EXPECT_EQ(sink.events[0].args[2].toDouble(), 1.25);
    EXPECT_EQ(sink.events[1].id, 4);
    EXPECT_EQ(sink.events[1].args[0].toInt32(), 44);

    // "doneplay" makes the control reset itself.
    sendText("doneplay");
    EXPECT_EQ(get(d::Status).toInt32(), 0);
}

TEST_F(ControlTest, AnErrorInTheHostsHandlerStaysInTheHost) {
    auto dev = addManualDevice(1);
    create();
    programSettings(1);
    call(d::Init);
    call(d::Start);
    bool raised = false;
    sink.hook = [&](DispId id, std::vector<Variant>&) {
        if (id == ev::Complete && !raised) {
            raised = true;
            platform::raise(11);
        }
    };
    dev->push(block(3));
    loop().doEvents();
    EXPECT_EQ(forms::lastUnhandled().number, 11);
    // The engine goes on.
    dev->push(block(4));
    loop().doEvents();
    EXPECT_EQ(sink.of(ev::Complete).size(), 2u);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 4);
}

}  // namespace
}  // namespace wxtest
