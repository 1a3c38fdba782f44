// Capture on the real clock: the device's thread fills buffers and the multimedia timer's thread
// posts ticks while the loop's thread copies, records and analyses. Virtual time cannot show a
// race between them; these runs are short, and CI runs them under ThreadSanitizer as well.
// Nothing here asserts exact timing: only that no block is torn, none is repeated, and the
// threads start and stop cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/loop/mmtimer.h"
#include "wavorix/state.h"
#include "fixture.h"

namespace wxtest {
namespace {

class RealClockTest : public WavorixTest {
protected:
    RealClockTest() : WavorixTest(forms::Runtime::ClockKind::Real) {}

    // Each frame's sample is its number, modulo 32768.
    void addCountingDevice() {
        auto dev = std::make_shared<platform::ScriptedWaveIn>("counting", 1);
        dev->setGenerator([](std::uint64_t frame, int) { return static_cast<std::int16_t>(frame & 0x7FFF); });
        platform::addWaveInDevice(dev);
    }

    // Frames from sample a to sample b, modulo 32768.
    static int framesBetween(std::int16_t a, std::int16_t b) { return (b - a) & 0x7FFF; }

    // Whether samples [from, to) count up by one.
    static bool counts(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
        for (std::size_t i = from + 1; i < to; ++i)
            if (framesBetween(s[i - 1], s[i]) != 1) return false;
        return true;
    }

    // Checks every analysed block as Complete reports it (a silent one is a record that no
    // block has filled yet).
    void watchAnalysedBlocks() {
        sink.hook = [this](DispId id, std::vector<Variant>&) {
            if (id != ev::Complete) return;
            std::vector<std::int16_t> wave;
            get(d::WaveData, {Variant::byRef(wave), Variant(1)});
            if (wave.size() != 1024)
                ++torn;
            else if (wave[0] == 0 && wave[1023] == 0)
                return;
            else if (counts(wave, 0, wave.size()))
                ++whole;
            else
                ++torn;
        };
    }

    // The recording's samples, block by block: each one counts up without a break, and each
    // starts after the one before ended (lost blocks are allowed, repeated ones are not: a block
    // from the past would lie almost a whole count ahead).
    void expectUntornRecording(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GE(bytes.size(), 44u);
        std::vector<std::int16_t> s((bytes.size() - 44) / 2);
        std::memcpy(s.data(), bytes.data() + 44, s.size() * 2);
        ASSERT_GE(s.size(), 3u * 1024) << "too little was captured";
        for (std::size_t b = 0; b * 1024 < s.size(); ++b) {
            const std::size_t from = b * 1024, to = std::min(s.size(), from + 1024);
            EXPECT_TRUE(counts(s, from, to)) << "block " << b << " is torn";
            if (b > 0) {
                const int gap = framesBetween(s[from - 1], s[from]);
                EXPECT_TRUE(gap >= 1 && gap < 16384) << "block " << b << " comes again";
            }
        }
    }

    // Captures from the counting device with the program's settings and the given buffers and
    // loop mode (polling every millisecond), into file when one is named, watching every block
    // analysed.
    void start(std::int32_t buffers, std::int16_t loopMethod, const std::filesystem::path& file = {}) {
        addCountingDevice();
        create();
        programSettings(buffers, loopMethod);
        put(d::TimerInterval, 1);
        if (!file.empty()) {
            put(d::FileName, file.string());
            put(d::Recording, true);
        }
        call(d::Init);
        watchAnalysedBlocks();
        call(d::Start);
    }

    // Resets; no analysed block was torn, and with analysedBlocks more than a few were whole. On
    // a loaded machine the threads may have had little time: capture goes on (up to 3 s more)
    // until a few blocks were analysed.
    void stop(bool analysedBlocks) {
        for (int waited = 0; analysedBlocks && whole <= 3 && waited < 3000; waited += 50) advance(50);
        call(d::Reset);
        sink.hook = nullptr;
        if (analysedBlocks) {
            EXPECT_GT(whole, 3);
        }
        EXPECT_EQ(torn, 0);
    }

    int whole = 0;
    int torn = 0;
};

TEST_F(RealClockTest, CaptureAndTimerThreadsAtTheProgramsSettings) {
    const auto file = tempPath("real7.wav");
    start(7, 1, file);  // the 20 ms timer picks the block to analyse
    // Pausing and starting again kills and starts the timer while its thread may be posting.
    for (int i = 0; i < 3; ++i) {
        advance(120);
        call(d::Pause);
        EXPECT_EQ(platform::activeTimerCount(), 0u);
        call(d::Start);
    }
    advance(120);
    stop(true);
    EXPECT_EQ(platform::activeTimerCount(), 0u);
    EXPECT_EQ(wavorix::engine().procError, -9999);  // removed by Reset, never by an error
    EXPECT_EQ(wavorix::engine().lastError, "");
    expectUntornRecording(file);
}

TEST_F(RealClockTest, OneOrTwoBuffersNeverTearABlock) {
    for (const std::int32_t buffers : {1, 2}) {
        SCOPED_TRACE(buffers);
        platform::resetWaveDevices();
        newForm();
        whole = torn = 0;
        const auto file = tempPath("real" + std::to_string(buffers) + ".wav");
        start(buffers, 1, file);
        advance(250);
        // With two buffers the timed step looks for block 0 only (it never moves on): only one
        // buffer shows analysed blocks.
        stop(buffers == 1);
        expectUntornRecording(file);
    }
}

TEST_F(RealClockTest, PollingAnalysesOnlyWholeBlocks) {
    start(1, 0);
    advance(250);
    stop(true);
}

}  // namespace
}  // namespace wxtest
