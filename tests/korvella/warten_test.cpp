#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "korvella/main/Warten.h"
#include "support/fixture.h"

using korvella::WartenMs;

namespace {

class WartenTest : public testsupport::VirtualTest {};

TEST_F(WartenTest, ZeroOrNegativeReturnsAtOnceWithoutPumping) {
    int posted = 0;
    loop().post([&] { ++posted; });
    WartenMs(0, -1, 1);
    WartenMs(-5, -1, 1);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(now(), 0);
}

TEST_F(WartenTest, OneMillisecondIsOneSleepAndOnePump) {
    int posted = 0;
    loop().post([&] { ++posted; });
    WartenMs(1, -1, 1);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(now(), 1);
}

TEST_F(WartenTest, WaitsItsLengthWhileTimersTick) {
    std::vector<double> ticks;
    platform::LoopTimer t([&] { ticks.push_back(now()); });
    t.setInterval(10);
    t.setEnabled(true);
    WartenMs(35, -1, 1);
    EXPECT_EQ(now(), 35);
    EXPECT_EQ(ticks, (std::vector<double>{10, 20, 30}));
    WartenMs(0.5, -1, 1);  // a fraction of a slice still takes one slice
    EXPECT_EQ(now(), 36);
}

TEST_F(WartenTest, SliceZeroOnlyPumpsUntilTheTimeHasPassed) {
    // Virtual time moves only through what the pumped handlers do: each posted step takes 1 ms.
    int pumps = 0;
    std::function<void()> step = [&] {
        ++pumps;
        loop().sleepMs(1);
        loop().post(step);
    };
    loop().post(step);
    WartenMs(5, -1, 0);
    EXPECT_EQ(now(), 5);
    EXPECT_EQ(pumps, 5);
}

TEST_F(WartenTest, NestedWaitsEndInnerFirst) {
    std::vector<std::string> log;
    platform::LoopTimer inner([&] {
        log.push_back("inner " + std::to_string(static_cast<int>(now())));
        WartenMs(20, -1, 1);
        log.push_back("inner done " + std::to_string(static_cast<int>(now())));
    });
    inner.setInterval(2);
    inner.setEnabled(true);
    WartenMs(5, -1, 1);
    inner.setEnabled(false);
    log.push_back("outer done " + std::to_string(static_cast<int>(now())));
    EXPECT_EQ(log, (std::vector<std::string>{"inner 2", "inner done 22", "outer done 22"}));
}

}  // namespace
