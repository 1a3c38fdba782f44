#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/loop/eventloop.h"

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

namespace {

TEST_F(LoopFixture, AHandlerReplacedOrClearedWhileItRunsFinishesAndTheNewOneTakesTheNextTick) {
    std::vector<std::string> log;
    LoopTimer t(nullptr);
    t.setHandler([&] {
        log.push_back("old " + std::to_string(static_cast<int>(now())));
        t.setHandler([&] { log.push_back("new " + std::to_string(static_cast<int>(now()))); });
        log.push_back("old still running");
    });
    t.setInterval(2);
    t.setEnabled(true);
    loop.advance(4);
    EXPECT_EQ(log, (std::vector<std::string>{"old 2", "old still running", "new 4"}));

    // No handler: it does not tick. A handler given later ticks on the count it already had.
    log.clear();
    t.setHandler(nullptr);
    loop.advance(3);  // 5..7: the tick due at 6 finds no handler
    EXPECT_TRUE(log.empty());
    t.setHandler([&] { log.push_back("back " + std::to_string(static_cast<int>(now()))); });
    loop.advance(3);  // 8..10
    EXPECT_EQ(log, (std::vector<std::string>{"back 8", "back 10"}));
}

TEST_F(LoopFixture, TimersStoppedCreatedOrDestroyedByAnEarlierHandlerOfTheSamePump) {
    // a, b and c fall due together; a's handler destroys b, creates d and stops c. Only a runs in
    // that pump; d starts its own count; forms loaded again and again leave the loop working.
    std::vector<std::string> log;
    std::unique_ptr<LoopTimer> b, c;
    std::vector<std::unique_ptr<LoopTimer>> made;
    LoopTimer a([&] {
        log.push_back("a " + std::to_string(static_cast<int>(now())));
        b.reset();
        c->setEnabled(false);
        for (int i = 0; i < 20; ++i) made.push_back(std::make_unique<LoopTimer>([] {}));
        made.erase(made.begin(), made.end() - 1);
        made.back()->setHandler([&] { log.push_back("d " + std::to_string(static_cast<int>(now()))); });
        made.back()->setInterval(3);
        made.back()->setEnabled(true);
    });
    b = std::make_unique<LoopTimer>([&] { log.push_back("b"); });
    c = std::make_unique<LoopTimer>([&] { log.push_back("c"); });
    for (LoopTimer* t : {&a, b.get(), c.get()}) {
        t->setInterval(5);
        t->setEnabled(true);
    }
    loop.advance(5);
    EXPECT_EQ(log, (std::vector<std::string>{"a 5"}));
    a.setEnabled(false);
    loop.advance(3);
    EXPECT_EQ(log, (std::vector<std::string>{"a 5", "d 8"}));
}

TEST_F(LoopFixture, ManyTimersDueTogetherRunOnceEachInCreationOrder) {
    std::vector<int> order;
    std::vector<std::unique_ptr<LoopTimer>> timers;
    for (int i = 0; i < 70; ++i) {
        timers.push_back(std::make_unique<LoopTimer>([&order, i] { order.push_back(i); }));
        timers.back()->setInterval(4);
        timers.back()->setEnabled(true);
    }
    loop.advance(4);
    ASSERT_EQ(order.size(), 70u);
    for (int i = 0; i < 70; ++i) EXPECT_EQ(order[i], i);
}

TEST_F(LoopFixture, AHandlerThatThrowsLeavesTheOtherDueTimersForTheNextPump) {
    std::vector<std::string> log;
    LoopTimer bad([&] {
        log.push_back("bad");
        throw std::runtime_error("handler failed");
    });
    LoopTimer good([&] { log.push_back("good " + std::to_string(static_cast<int>(now()))); });
    bad.setInterval(5);
    good.setInterval(5);
    bad.setEnabled(true);
    good.setEnabled(true);
    loop.sleepMs(5);
    EXPECT_THROW(loop.doEvents(), std::runtime_error);
    EXPECT_EQ(log, (std::vector<std::string>{"bad"}));
    bad.setEnabled(false);
    loop.doEvents();  // same time: good was due and never ran
    EXPECT_EQ(log, (std::vector<std::string>{"bad", "good 5"}));
}

// Real threads and the real clock: short, with generous bounds.

// Runs a real loop asleep between the ticks of a 60 s timer while another thread does what it
// likes (it ends the loop); returns how long the loop ran and counts the timer's ticks.
template <class F>
std::chrono::steady_clock::duration runAsleepBeside(F&& body, int& ticks) {
    EventLoop loop(std::make_unique<platform::RealClock>());
    EventLoop::setCurrent(&loop);
    LoopTimer slow([&] { ++ticks; });
    slow.setInterval(60'000);
    slow.setEnabled(true);
    std::thread other([&] { body(loop); });
    const auto t0 = std::chrono::steady_clock::now();
    loop.run();
    const auto took = std::chrono::steady_clock::now() - t0;
    other.join();
    EventLoop::setCurrent(nullptr);
    return took;
}

TEST(RealLoopTest, PostsAndQuitFromOtherThreadsWakeTheSleepingLoop) {
    std::atomic<int> ran{0};
    int ticks = 0;
    const auto took = runAsleepBeside(
        [&](EventLoop& loop) {
            for (int i = 0; i < 50; ++i) {
                loop.post([&] { ++ran; });
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
            while (ran.load() < 50) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            loop.quit();
        },
        ticks);
    EXPECT_EQ(ran.load(), 50);
    EXPECT_EQ(ticks, 0);
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST(RealLoopTest, PostsWhoseWakeWasDeferredRunOnceTheThreadLetsGo) {
    // A device thread posts while holding its locks and wakes the loop only after: by a flush, or
    // when its last deferring scope ends. Either way the sleeping loop runs what was posted.
    std::atomic<int> ran{0};
    int ticks = 0;
    const auto took = runAsleepBeside(
        [&](EventLoop& loop) {
            auto waitFor = [&](int n) {
                while (ran.load() < n) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
            {
                EventLoop::DeferredWakes outer;
                {
                    EventLoop::DeferredWakes inner;
                    loop.post([&] { ++ran; });
                }  // not the last scope: still deferred
                loop.post([&] { ++ran; });
                EventLoop::DeferredWakes::flush();
                waitFor(2);
                loop.post([&] { ++ran; });
            }
            waitFor(3);
            loop.quit();
        },
        ticks);
    EXPECT_EQ(ran.load(), 3);
    EXPECT_EQ(ticks, 0);
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST(RealLoopTest, TimersOfDifferentPhasesKeepTheirCount) {
    // Two 2 ms timers started half a millisecond apart and a 5 ms one, for about 100 ms: each
    // ticks about as often as its interval says (the machine may be busy: wide bounds).
    EventLoop loop(std::make_unique<platform::RealClock>());
    EventLoop::setCurrent(&loop);
    int a = 0, b = 0, c = 0;
    LoopTimer ta([&] { ++a; }), tb([&] { ++b; }), tc([&] { ++c; });
    // The end is set first, so that a busy machine's late start of the others cannot give them
    // more than 100 ms.
    LoopTimer stop([&] { loop.quit(); });
    stop.setInterval(100);
    stop.setEnabled(true);
    ta.setInterval(2);
    ta.setEnabled(true);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    tb.setInterval(2);
    tb.setEnabled(true);
    tc.setInterval(5);
    tc.setEnabled(true);
    loop.run();
    EventLoop::setCurrent(nullptr);
    EXPECT_GE(a, 10);
    EXPECT_LE(a, 50);
    EXPECT_GE(b, 10);
    EXPECT_LE(b, 50);
    EXPECT_GE(c, 4);
    EXPECT_LE(c, 20);
}

TEST(RealLoopTest, TicksFallingDueWhileAnyHandlerOfThePumpRunsAreDropped) {
    // A 2 ms timer beside one whose handler takes 6 ms: the short one's ticks that fall due while
    // the long handler runs are dropped, not fired late right after it, so both keep in step.
    EventLoop loop(std::make_unique<platform::RealClock>());
    EventLoop::setCurrent(&loop);
    int quick = 0, slow = 0;
    LoopTimer tq([&] { ++quick; });
    LoopTimer ts([&] {
        ++slow;
        std::this_thread::sleep_for(std::chrono::milliseconds(6));
    });
    tq.setInterval(2);
    ts.setInterval(2);
    tq.setEnabled(true);
    ts.setEnabled(true);
    LoopTimer stop([&] { loop.quit(); });
    stop.setInterval(80);
    stop.setEnabled(true);
    loop.run();
    EventLoop::setCurrent(nullptr);
    EXPECT_GE(slow, 3);
    EXPECT_LE(quick, slow + 1);
}

}  // namespace
