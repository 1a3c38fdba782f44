// The stopwatch on the performance counter.
#include <gtest/gtest.h>

#include "platform/loop/perfcounter.h"
#include "wavorix/xtimer.h"
#include "fixture.h"

namespace wxtest {
namespace {

using wavorix::clsXTimer;

class XTimerTest : public WavorixTest {
protected:
    XTimerTest() {
        platform::setPerformanceCounterSource([this] { return counter; });
    }
    ~XTimerTest() override { platform::setPerformanceCounterSource(nullptr); }
    std::int64_t counter = 1'000'000'000;
};

TEST_F(XTimerTest, ElapsedTimeIsStopMinusStartNeverNegative) {
    clsXTimer t;
    EXPECT_EQ(t.frequency(), 1e9);
    EXPECT_EQ(t.cpuClock(), 300);
    t.Calibrate();
    EXPECT_EQ(t.overhead(), 0.0);
    t.Start();
    counter += 250'000'000;
    // Not stopped since the start: the stop mark is older.
    EXPECT_EQ(t.TimeElapsed(), 0.0);
    t.Stopp();
    EXPECT_DOUBLE_EQ(t.TimeElapsed(), 0.25);
    counter += 250'000'000;
    t.StopTimer();  // each reading moves the stop mark only
    EXPECT_DOUBLE_EQ(t.TimeElapsed(), 0.5);
    t.StartTimer();
    EXPECT_EQ(t.TimeElapsed(), 0.0);
}

TEST_F(XTimerTest, CounterHalvesAreUnsigned) {
    EXPECT_EQ(clsXTimer::counterValue(0xFFFFFFFFu, 0), 4294967295.0);
    EXPECT_EQ(clsXTimer::counterValue(0x80000000u, 1), 4294967296.0 + 2147483648.0);
}

TEST_F(XTimerTest, CpuTicks) {
    clsXTimer t;
    EXPECT_EQ(t.CPU_ticks(300, 0, 0.5), 150'000'000);
    EXPECT_EQ(t.CPU_ticks(300, -3, 0.5), 150'000'000);
    EXPECT_EQ(t.CPU_ticks(300, 2, 0.5), 75'000'000);
    EXPECT_EQ(t.CPU_ticks(1, 1, 2.5e-6), 2);  // 2.5 rounds to even
    t.Start();
    counter += 1'000'000;
    t.Stopp();
    EXPECT_EQ(t.nCPU_ticks(1), 300'000);  // 300 MHz whatever the processor is
    EXPECT_TRUE(dialogs.shown().empty());
    // Beyond 32 bits: a critical box, and 0.
    EXPECT_EQ(t.CPU_ticks(3000, 1, 10), 0);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].title, "Cpu_ticks");
    EXPECT_EQ(dialogs.messages()[0].text, "Overflow: 6");
    EXPECT_EQ(dialogs.messages()[0].style, platform::MB_ICONCRITICAL);
    EXPECT_EQ(wavorix::engine().lastError, "Overflow");
}

}  // namespace
}  // namespace wxtest
