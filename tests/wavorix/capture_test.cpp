// The capture cycle: blocks arriving at txtSub, the timed analysis picking them one per tick,
// blocks missed while a step is busy or dropped by the device, nesting, counters and the one-shot mode.
#include <gtest/gtest.h>

#include <fstream>

#include "forms/controls/textbox.h"
#include "platform/loop/mmtimer.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

class CaptureTest : public WavorixTest {
protected:
    // Opens and starts a manual mono device with the program's settings.
    void startManual(std::int32_t buffers, std::int16_t loopMethod = 1) {
        dev = addManualDevice(1);
        create();
        programSettings(buffers, loopMethod);
        call(d::Init);
        call(d::Start);
        t0 = now();
    }
    // One block whose every sample is value, handled at once.
    void arrive(std::int16_t value) {
        dev->push(block(value));
        loop().doEvents();
    }
    // The Complete events of the next timer tick.
    std::vector<Event> tick() {
        const auto before = sink.of(ev::Complete).size();
        advance(20);
        auto all = sink.of(ev::Complete);
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }
    std::int32_t history(int i) { return wavorix::engine().sequence(i); }

    std::shared_ptr<platform::ScriptedWaveIn> dev;
    double t0 = 0;
};

TEST_F(CaptureTest, SevenBuffersAreAnalysedOneBlockPerTickBehindTheNewest) {
    startManual(7);
    for (std::int16_t v = 1; v <= 10; ++v) arrive(v);  // blocks 1..10; 8..10 in buffers 1..3
    EXPECT_EQ(wavorix::engine().blockCounter, 10);
    EXPECT_TRUE(sink.of(ev::Complete).empty());  // arriving blocks are left to the timer

    // First tick: four behind the newest.
    auto c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_DOUBLE_EQ(c[0].t - t0, 20);
    EXPECT_EQ(c[0].args[0].toInt32(), 10);  // the newest block at the step
    EXPECT_EQ(c[0].args[1].toInt32(), 6);   // buffer 6 holds block 6
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 6);
    EXPECT_EQ(history(100), 6);
    EXPECT_EQ(lampColour(), 0xFFu);

    // Then one block per tick, in capture order.
    c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].args[1].toInt32(), 7);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 7);
    EXPECT_EQ(lampColour(), forms::RGB(175, 0, 0));
    c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].args[1].toInt32(), 1);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 8);
    c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 9);
    EXPECT_EQ(history(99), 8);
    EXPECT_EQ(history(100), 9);

    // Block 9 is only one behind block 10: this tick does nothing at all.
    const auto lamp = lampColour();
    c = tick();
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(lampColour(), lamp);
    EXPECT_EQ(history(100), 9);

    for (std::int16_t v = 11; v <= 15; ++v) arrive(v);
    c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].args[0].toInt32(), 15);
    EXPECT_EQ(c[0].args[1].toInt32(), 3);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 10);
    c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 11);

    // Ten more blocks overwrite block 12 before its tick: the lamp turns yellow, the history
    // records 0, no event, and the step falls back to one behind the newest.
    for (std::int16_t v = 16; v <= 25; ++v) arrive(v);
    c = tick();
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(lampColour(), 0xFFFFu);
    EXPECT_EQ(history(100), 0);
    EXPECT_EQ(wavorix::engine().analysisSeq, 24);
    c = tick();  // block 24 is one behind 25: nothing
    EXPECT_TRUE(c.empty());
    arrive(26);
    c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 25);
    EXPECT_EQ(c[0].args[0].toInt32(), 26);
    // Never the newest block itself.
    EXPECT_TRUE(tick().empty());
}

TEST_F(CaptureTest, CompleteCarriesTheArrivalTimeOfTheNewestBlock) {
    startManual(7);
    advance(3);
    for (std::int16_t v = 1; v <= 5; ++v) arrive(v);
    advance(4);
    arrive(6);
    const auto c = tick();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_DOUBLE_EQ(c[0].args[2].toDouble(), 0.007);
}

TEST_F(CaptureTest, BlocksArrivingWhileTheStepIsBusyAreCountedAsMissed) {
    startManual(1);  // one buffer: every block is analysed as it arrives
    int pushed = 0;
    sink.hook = [&](DispId id, std::vector<Variant>&) {
        if (id == ev::Complete && pushed < 2) {
            ++pushed;
            arrive(static_cast<std::int16_t>(50 + pushed));  // the host pumps inside its handler
        }
    };
    arrive(1);
    EXPECT_EQ(wavorix::engine().blockCounter, 2);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 1);
    EXPECT_EQ(sink.of(ev::Complete).size(), 1u);
    EXPECT_FALSE(wavorix::engine().busy);
    // The host may clear the count.
    put(d::MissedCount, 0);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 0);
    // Input the device itself dropped (overflows it reports) counts as missed with the next block.
    sink.hook = nullptr;
    dev->overflow();
    dev->overflow();
    EXPECT_EQ(get(d::MissedCount).toInt32(), 0);
    arrive(3);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 2);
    arrive(4);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 2);
}

TEST_F(CaptureTest, TheTwentyFirstNestedEntryIsDropped) {
    startManual(7);
    const auto txtSub = constituent("txtSub")->hWnd();
    // Each notice raises an event whose handler sends the other notice (a keyword equal to the
    // one being handled would raise nothing), so every entry nests one deeper.
    sink.hook = [&](DispId id, std::vector<Variant>&) {
        if (id == ev::WaveDeviceOpened) windows().sendMessage(txtSub, platform::MM_WIM_CLOSE, 0, 0);
        if (id == ev::WaveDeviceClosed) windows().sendMessage(txtSub, platform::MM_WIM_OPEN, 0, 0);
    };
    sink.events.clear();
    windows().sendMessage(txtSub, platform::MM_WIM_OPEN, 0, 0);
    EXPECT_EQ(sink.of(ev::WaveDeviceOpened).size(), 10u);
    EXPECT_EQ(sink.of(ev::WaveDeviceClosed).size(), 10u);
    EXPECT_EQ(wavorix::engine().nestingDepth, 0);
    EXPECT_EQ(static_cast<forms::TextBox*>(constituent("txtMsg"))->Text(), "");
}

TEST_F(CaptureTest, CountersGoFromTheirLastValueBackToOne) {
    startManual(1);
    wavorix::engine().blockCounter = 0x7FFFFFFD;
    arrive(1);
    EXPECT_EQ(wavorix::engine().blockCounter, 0x7FFFFFFE);
    arrive(2);
    EXPECT_EQ(wavorix::engine().blockCounter, 1);

    put(d::MissedCount, 0x7FFFFFFE);
    bool once = false;
    sink.hook = [&](DispId id, std::vector<Variant>&) {
        if (id == ev::Complete && !once) {
            once = true;
            arrive(3);
        }
    };
    arrive(4);
    EXPECT_EQ(get(d::MissedCount).toInt32(), 1);
}

TEST_F(CaptureTest, LoopMode3CapturesEachBufferOnceUntilSetOneShot) {
    startManual(4, 3);
    for (std::int16_t v = 1; v <= 6; ++v) arrive(v);
    EXPECT_EQ(wavorix::engine().blockCounter, 4);  // nothing re-queued: blocks 5 and 6 were lost
    call(d::SetOneShot, {Variant(0)});
    arrive(50);
    EXPECT_EQ(wavorix::engine().blockCounter, 5);
    EXPECT_EQ(wavorix::engine().records(2).blockNumber, 5);
    EXPECT_EQ(wavorix::engine().records(2).left[0], 50);
    arrive(51);  // nothing queued again
    EXPECT_EQ(wavorix::engine().blockCounter, 5);

    // With the timer stopped, SetOneShot starts it again.
    call(d::Pause);
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    call(d::SetOneShot, {Variant(0)});
    EXPECT_EQ(platform::activeTimerCount(), 1u);
    EXPECT_NE(wavorix::engine().timerId, 0);
}

TEST_F(CaptureTest, A_BlockBeforeStartIsCountedButNotHandled) {
    dev = addManualDevice(1);
    create();
    programSettings(1);
    call(d::Init);
    // The device runs from Init; with nothing queued the samples are lost, so feed the header
    // directly as the device would return it.
    auto& st = wavorix::engine();
    st.headers(1).dwUser = 1;
    windows().sendMessage(constituent("txtSub")->hWnd(), platform::MM_WIM_DATA, 0,
                          reinterpret_cast<platform::LPARAM>(&st.headers(1)));
    EXPECT_EQ(st.blockCounter, 1);
    EXPECT_EQ(st.records(1).blockNumber, 0);
    EXPECT_TRUE(sink.of(ev::Complete).empty());
}

TEST_F(CaptureTest, AnalysisFlags999CountAndCopyButNeverAnalyse) {
    startManual(1);
    put(d::Analysis, 999);
    arrive(40);
    EXPECT_EQ(wavorix::engine().blockCounter, 1);
    EXPECT_EQ(wavorix::engine().records(1).left[5], 40);
    EXPECT_TRUE(sink.of(ev::Complete).empty());
    std::vector<std::int16_t> wave;
    get(d::WaveData, {Variant::byRef(wave), Variant(1)});
    EXPECT_EQ(wave[5], 0);
}

TEST_F(CaptureTest, AnalysisFlags0SignalCompleteButLeaveTheMeasures) {
    dev = addManualDevice(1);
    create();
    programSettings(1);
    put(d::Analysis, 0);
    call(d::Init);
    call(d::Start);
    auto& st = wavorix::engine();
    st.maxAmplitudeL = 123;
    st.maxFrequencyL = 7.5;
    st.status.lastFrequency = 7.5;
    arrive(40);
    ASSERT_EQ(sink.of(ev::Complete).size(), 1u);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 123);
    EXPECT_EQ(get(d::MaxFrequencyL).toDouble(), 7.5);
    EXPECT_EQ(st.status.lastFrequency, 7.5);
    EXPECT_TRUE(st.records(1).done);
    std::vector<std::int16_t> wave;
    EXPECT_EQ(get(d::WaveData, {Variant::byRef(wave), Variant(1)}).toInt32(), 1024);
    EXPECT_EQ(wave[5], 40);
}

TEST_F(CaptureTest, A_VanishedDeviceStopsCaptureQuietly) {
    startManual(1);
    arrive(1);
    dev->push(block(2));
    dev->unplug();  // before the block is handled: the count now differs from the count at Init
    loop().doEvents();
    EXPECT_EQ(wavorix::engine().blockCounter, 2);
    EXPECT_EQ(wavorix::engine().headers(1).dwFlags & platform::WHDR_INQUEUE, 0u);
    EXPECT_EQ(call(d::Reset).toInt32(), 0);
    EXPECT_EQ(get(d::Status).toInt32(), 0);
}

TEST_F(CaptureTest, AnErrorInTheWaveProcedureRestoresTheTextBoxAndStopsCapture) {
    startManual(1);
    wavorix::engine().headers(1).dwUser = 99;  // no such buffer
    arrive(1);
    auto& st = wavorix::engine();
    EXPECT_EQ(st.procError, -9999);
    EXPECT_EQ(st.lastError, "Subscript out of range");
    EXPECT_FALSE(st.oldWaveProc);
    EXPECT_EQ(lampColour(), forms::RGB(127, 127, 127));
    EXPECT_FALSE(st.busy);
    // Later notices go to the text box itself.
    const auto counted = st.blockCounter;
    windows().sendMessage(constituent("txtSub")->hWnd(), platform::MM_WIM_DATA, 0, 0);
    EXPECT_EQ(st.blockCounter, counted);
}

TEST_F(CaptureTest, TimerTicksArePostedOnlyWhileNoStepIsBusy) {
    startManual(7);
    for (std::int16_t v = 1; v <= 10; ++v) arrive(v);
    int ticks = 0;
    struct Watch : platform::WindowRegistry::Observer {
        int* n;
        void messageSent(platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) override {
            if (m == 0x3B7) ++*n;
        }
    } watch;
    watch.n = &ticks;
    windows().addObserver(&watch);
    // The host's handler keeps the step busy for 50 ms, pumping: the ticks falling due meanwhile
    // are not posted.
    bool waited = false;
    sink.hook = [&](DispId id, std::vector<Variant>&) {
        if (id == ev::Complete && !waited) {
            waited = true;
            advance(50);
        }
    };
    advance(20);
    EXPECT_EQ(ticks, 1);
    windows().removeObserver(&watch);
}

// A device as fast as its thread can be: it fills a buffer the moment the buffer is queued, one
// scripted block after the other. A buffer handed back to it before its samples were taken is
// overwritten by the next block.
class EagerDevice : public platform::WaveInDevice {
public:
    explicit EagerDevice(int blocks) : blocks_(blocks) {}
    std::string name() const override { return "Eager input"; }
    platform::MMRESULT open(const platform::WAVEFORMATEX&, platform::WaveInSink& sink,
                            std::unique_ptr<platform::WaveInStream>& stream, std::string&) override {
        stream = std::make_unique<Stream>(*this, sink);
        return platform::MMSYSERR_NOERROR;
    }
    int delivered = 0;

private:
    struct Stream : platform::WaveInStream {
        Stream(EagerDevice& d, platform::WaveInSink& s) : dev(d), sink(s) {}
        platform::MMRESULT start() override { return platform::MMSYSERR_NOERROR; }
        void stop() override {}
        void afterQueue() override {
            if (dev.delivered >= dev.blocks_) return;
            ++dev.delivered;
            const auto b = block(static_cast<std::int16_t>(dev.delivered));
            sink.deliver(b.data(), b.size());
        }
        EagerDevice& dev;
        platform::WaveInSink& sink;
    };
    int blocks_;
};

TEST_F(CaptureTest, A_BufferIsCopiedBeforeTheDeviceGetsItBack) {
    for (const std::int32_t buffers : {7, 2, 1}) {
        SCOPED_TRACE(buffers);
        platform::resetWaveDevices();
        auto eager = std::make_shared<EagerDevice>(20);
        platform::addWaveInDevice(eager);
        newForm();
        sink.events.clear();
        create();
        programSettings(buffers);
        const auto file = tempPath("eager" + std::to_string(buffers) + ".wav");
        put(d::FileName, file.string());
        put(d::Recording, true);
        call(d::Init);
        std::vector<std::int32_t> analysed;
        sink.hook = [&](DispId id, std::vector<Variant>&) {
            if (id == ev::Complete) analysed.push_back(get(d::MaxAmplitudeL).toInt32());
        };
        call(d::Start);
        advance(400);
        EXPECT_EQ(eager->delivered, 20);
        EXPECT_EQ(wavorix::engine().blockCounter, 20);
        call(d::Reset);
        sink.hook = nullptr;

        // Every block as it came, in the file and in the analysis.
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(bytes.size(), 44u + 20 * 2048);
        for (int k = 0; k < 20; ++k) {
            EXPECT_EQ(bytes[44 + 2048 * k], k + 1) << "block " << k + 1;
            EXPECT_EQ(bytes[44 + 2048 * k + 2046], k + 1) << "block " << k + 1;
        }
        ASSERT_FALSE(analysed.empty());
        for (std::size_t i = 1; i < analysed.size(); ++i) EXPECT_GT(analysed[i], analysed[i - 1]);
        if (buffers == 1) {
            // Each block is analysed as it comes, or missed while the step before still runs.
            EXPECT_EQ(analysed.size() + static_cast<std::size_t>(get(d::MissedCount).toInt32()), 20u);
        }
    }
}

TEST_F(CaptureTest, PollingCopiesOnlyABufferTheDeviceHasReturned) {
    startManual(1, 0);
    put(d::TimerInterval, 1);
    std::vector<std::int16_t> wave;
    auto first = [&] {
        get(d::WaveData, {Variant::byRef(wave), Variant(1)});
        return wave.at(0);
    };
    advance(1);  // the first tick queues buffer 1
    ASSERT_NE(wavorix::engine().headers(1).dwFlags & platform::WHDR_INQUEUE, 0u);
    dev->push(block(7, 512));  // half a block: the device still holds the buffer
    loop().doEvents();
    advance(1);
    EXPECT_EQ(first(), 0);
    EXPECT_EQ(wave.at(1023), 0);
    dev->push(block(7, 512));  // full: handed back
    loop().doEvents();
    advance(1);
    EXPECT_EQ(first(), 7);
    EXPECT_EQ(wave.at(1023), 7);
    EXPECT_EQ(get(d::MaxAmplitudeL).toInt32(), 7);

    // Reset hands back the buffer half filled; a tick falling due meanwhile analyses nothing.
    advance(1);
    dev->push(block(9, 512));
    loop().doEvents();
    loop().sleepMs(1);
    const auto completes = sink.of(ev::Complete).size();
    call(d::Reset);
    EXPECT_EQ(sink.of(ev::Complete).size(), completes);
    EXPECT_EQ(first(), 7);
}

}  // namespace
}  // namespace wxtest
