#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/eventloop.h"

using platform::EventLoop;
using platform::LoopTimer;
using platform::VirtualClock;

namespace {

struct LoopFixture : ::testing::Test {
    LoopFixture() : loop(std::make_unique<VirtualClock>()) { EventLoop::setCurrent(&loop); }
    ~LoopFixture() override { EventLoop::setCurrent(nullptr); }
    double now() { return loop.nowMs(); }
    EventLoop loop;
};

// The cooperative wait as the program writes it: sleep 1 ms, pump, until the time has passed.
void wait(EventLoop& loop, double ms) {
    const double t0 = loop.nowMs();
    while (loop.nowMs() - t0 < ms) {
        loop.sleepMs(1);
        loop.doEvents();
    }
}

TEST_F(LoopFixture, TimersTickAtTheirIntervalAndRestartWhenEnabledOrChanged) {
    std::vector<double> ticks;
    LoopTimer t([&] { ticks.push_back(now()); });
    t.setInterval(10);
    t.setEnabled(true);
    loop.advance(35);
    EXPECT_EQ(ticks, (std::vector<double>{10, 20, 30}));

    // Re-enabling at 35 starts a fresh full interval: next tick at 45, not 40.
    ticks.clear();
    t.setEnabled(false);
    t.setEnabled(true);
    loop.advance(12);
    EXPECT_EQ(ticks, (std::vector<double>{45}));

    // A new interval restarts the count from the moment it is written (47).
    ticks.clear();
    t.setInterval(5);
    loop.advance(11);
    EXPECT_EQ(ticks, (std::vector<double>{52, 57}));

    // Interval 0 never ticks, even enabled.
    ticks.clear();
    t.setInterval(0);
    loop.advance(50);
    EXPECT_TRUE(ticks.empty());
}

TEST_F(LoopFixture, TicksFallingDueDuringTheirOwnHandlerAreDroppedNotQueued) {
    // A 1 ms timer whose handler waits 35 ms: no tick runs inside, none is made up afterwards.
    std::vector<double> starts;
    int depth = 0, maxDepth = 0;
    LoopTimer t([&] {
        starts.push_back(now());
        maxDepth = std::max(maxDepth, ++depth);
        if (starts.size() == 1) wait(loop, 35);
        --depth;
    });
    t.setInterval(1);
    t.setEnabled(true);
    while (now() < 40) {
        loop.sleepMs(1);
        loop.doEvents();
    }
    ASSERT_GE(starts.size(), 2u);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(starts[0], 1);
    // The handler returned at 36, past its next due time: the count starts again from there.
    EXPECT_EQ(starts[1], 37);
    EXPECT_EQ(starts.size(), 5u);  // 1, 37, 38, 39, 40
}

TEST_F(LoopFixture, NestedWaitsLetOtherTimersTickAndEndInnerFirst) {
    std::vector<std::string> log;
    int otherTicks = 0;
    LoopTimer other([&] { ++otherTicks; });
    other.setInterval(5);
    other.setEnabled(true);
    LoopTimer inner([&] {
        log.push_back("inner start " + std::to_string(static_cast<int>(now())));
        wait(loop, 10);
        log.push_back("inner end " + std::to_string(static_cast<int>(now())));
    });
    inner.setInterval(3);
    LoopTimer outer([&] {
        log.push_back("outer start " + std::to_string(static_cast<int>(now())));
        inner.setEnabled(true);
        wait(loop, 5);
        log.push_back("outer end " + std::to_string(static_cast<int>(now())));
        inner.setEnabled(false);
    });
    outer.setInterval(1);
    outer.setEnabled(true);
    loop.advance(1);
    outer.setEnabled(false);
    // The outer wait of 5 ms is held up by the inner 10 ms wait that runs inside it.
    EXPECT_EQ(log, (std::vector<std::string>{"outer start 1", "inner start 4", "inner end 14", "outer end 14"}));
    EXPECT_GE(otherTicks, 2);
}

TEST_F(LoopFixture, PostsRunOnTheLoopThreadInOrderAtTheNextPump) {
    const auto loopThread = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<int> offThread{0};
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            loop.post([&, i] {
                if (std::this_thread::get_id() != loopThread) ++offThread;
                order.push_back(i);
            });
    });
    poster.join();
    EXPECT_TRUE(order.empty());  // nothing runs before a pump
    loop.doEvents();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(offThread, 0);

    // What a handler posts waits for the following pump.
    int later = 0;
    loop.post([&] { loop.post([&] { ++later; }); });
    loop.doEvents();
    EXPECT_EQ(later, 0);
    loop.doEvents();
    EXPECT_EQ(later, 1);
}

TEST_F(LoopFixture, VirtualSourcesRunWhenTimePassesThem) {
    auto* vc = loop.virtualClock();
    std::vector<double> seen;
    vc->schedule(2'500'000, [&] { seen.push_back(now()); });
    vc->schedule(1'000'000, [&] { seen.push_back(now()); });
    const auto id = vc->schedule(3'000'000, [&] { seen.push_back(-1); });
    vc->cancel(id);
    loop.advance(5);
    EXPECT_EQ(seen, (std::vector<double>{1.0, 2.5}));
}

TEST_F(LoopFixture, TimerDestroyedByItsOwnHandlerIsSafe) {
    auto t = std::make_unique<LoopTimer>(nullptr);
    int ticks = 0;
    t->setHandler([&] {
        ++ticks;
        t.reset();
    });
    t->setInterval(1);
    t->setEnabled(true);
    loop.advance(5);
    EXPECT_EQ(ticks, 1);
}

TEST_F(LoopFixture, RunOnVirtualTimeEndsOnQuitAndJumpsToTheNextTimer) {
    int ticks = 0;
    LoopTimer t([&] {
        if (++ticks == 3) loop.quit();
    });
    t.setInterval(100);
    t.setEnabled(true);
    loop.run();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(now(), 300);
}

TEST_F(LoopFixture, ATimerKeepsItsBeatWhileItsHandlerIsShorterThanItsInterval) {
    // A 100 ms timer whose handler waits 35 ms ticks at 100, 200, 300, not at 100, 235, 370.
    std::vector<double> starts;
    LoopTimer t([&] {
        starts.push_back(now());
        wait(loop, 35);
    });
    t.setInterval(100);
    t.setEnabled(true);
    while (now() < 350) {
        loop.sleepMs(1);
        loop.doEvents();
    }
    EXPECT_EQ(starts, (std::vector<double>{100, 200, 300}));
}

}  // namespace
