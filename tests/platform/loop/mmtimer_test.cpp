// The multimedia timer and the performance counter on the virtual clock.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/loop/eventloop.h"
#include "platform/loop/mmtimer.h"
#include "platform/loop/perfcounter.h"
#include "platform/windows/windows.h"

using namespace platform;

namespace {

class MmTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EventLoop::setCurrent(&loop);
        WindowRegistry::setCurrent(&reg);
    }
    void TearDown() override {
        for (UINT id : ids) timeKillEvent(id);
        WindowRegistry::setCurrent(nullptr);
        EventLoop::setCurrent(nullptr);
    }
    UINT start(UINT delay, std::function<void(UINT)> fn, UINT flags = TIME_PERIODIC) {
        const UINT id = timeSetEvent(delay, 1000, std::move(fn), flags);
        if (id) ids.push_back(id);
        return id;
    }
    std::int64_t nowMs() const { return loop.nowNs() / 1'000'000; }

    EventLoop loop{std::make_unique<VirtualClock>()};
    WindowRegistry reg;
    std::vector<UINT> ids;
};

std::vector<std::pair<UINT, DWORD_PTR>> g_calls;
void recordCall(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2) {
    EXPECT_EQ(msg, 0u);
    EXPECT_EQ(dw1, 0u);
    EXPECT_EQ(dw2, 0u);
    g_calls.emplace_back(id, user);
}

}  // namespace

TEST_F(MmTimerTest, PeriodicTicksFallAtExactVirtualTimesUntilKilled) {
    loop.advance(3);
    std::vector<std::int64_t> ticks;
    const UINT id = start(20, [&](UINT got) {
        EXPECT_EQ(got, ids.front());
        ticks.push_back(loop.nowNs());
    });
    ASSERT_NE(id, 0u);
    EXPECT_EQ(activeTimerCount(), 1u);
    loop.advance(19);
    EXPECT_TRUE(ticks.empty());
    loop.advance(1);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0], 23'000'000);
    loop.sleepMs(57);  // one long jump runs every tick on the way, each at its own time
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{23'000'000, 43'000'000, 63'000'000}));
    loop.advance(20);

    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    EXPECT_EQ(activeTimerCount(), 0u);
    loop.advance(200);
    EXPECT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks.back(), 83'000'000);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
}

TEST_F(MmTimerTest, CallbackOnlyPostsAndTheMessageArrivesAtThePump) {
    std::vector<std::int64_t> arrivals;
    const HWND txtTim = reg.create("ThunderRT6TextBox", "", 0, [&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_PRIVATE_TIMER && w == 0x41) arrivals.push_back(nowMs());
        return 0;
    });
    start(20, [&](UINT) { PostMessage(txtTim, WM_PRIVATE_TIMER, 0x41, 0); });
    loop.sleepMs(20);
    EXPECT_TRUE(arrivals.empty());
    loop.doEvents();
    loop.advance(40);
    EXPECT_EQ(arrivals, (std::vector<std::int64_t>{20, 40, 60}));
}

TEST_F(MmTimerTest, WinShapedCallbackGetsItsIdAndUserValue) {
    g_calls.clear();
    const UINT a = timeSetEvent(10, 1000, &recordCall, 7, TIME_PERIODIC);
    const UINT b = timeSetEvent(15, 1000, &recordCall, 8, TIME_PERIODIC);
    ids = {a, b};
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    loop.advance(30);
    using Call = std::pair<UINT, DWORD_PTR>;
    EXPECT_EQ(g_calls, (std::vector<Call>{{a, 7}, {b, 8}, {a, 7}, {b, 8}, {a, 7}}));
}

TEST_F(MmTimerTest, BadArgumentsGiveNoTimer) {
    EXPECT_EQ(timeSetEvent(0, 1000, [](UINT) {}, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(1'000'001, 1000, [](UINT) {}, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(20, 1000, std::function<void(UINT)>{}, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(20, 1000, LPTIMECALLBACK{nullptr}, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(20, 1000, [](UINT) {}, 0x10 /* event set: not offered */), 0u);
    EXPECT_EQ(activeTimerCount(), 0u);
}

TEST_F(MmTimerTest, OneShotFiresOnceAndIsGone) {
    int count = 0;
    const UINT id = start(5, [&](UINT) { ++count; }, TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    loop.advance(50);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(activeTimerCount(), 0u);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST_F(MmTimerTest, KillFromInsideItsCallbackStopsIt) {
    int count = 0;
    UINT id = 0;
    id = start(10, [&](UINT) {
        if (++count == 2) {
            EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
        }
    });
    loop.advance(100);
    EXPECT_EQ(count, 2);
}

TEST_F(MmTimerTest, PerformanceCounterReadsTheVirtualClock) {
    LARGE_INTEGER f, c;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1'000'000'000);
    ASSERT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.QuadPart, 0);
    loop.advance(1234);
    ASSERT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.QuadPart, 1'234'000'000);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));

    // Halves as the stopwatch reads them.
    setPerformanceCounterSource([] { return std::int64_t{0x1'FFFF'FFFF}; });
    ASSERT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.LowPart(), 0xFFFFFFFFu);
    EXPECT_EQ(c.HighPart(), 1);
    setPerformanceCounterSource({});
    ASSERT_TRUE(QueryPerformanceCounter(&c));
    EXPECT_EQ(c.QuadPart, 1'234'000'000);
}
