// The one loop of the user-interface thread: posted messages, form timers and the pump.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace platform {

class EventLoop;

// A timer of the loop. Enabling it when stopped or changing its interval starts a fresh full
// interval (enabling it while it runs changes nothing);
// interval 0 never ticks; a tick that falls due while its own handler runs is dropped.
class LoopTimer {
public:
    explicit LoopTimer(std::function<void()> onTick, EventLoop* loop = nullptr);
    ~LoopTimer();
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    void setInterval(int ms);
    int interval() const;
    void setEnabled(bool on);
    bool enabled() const;
    void setHandler(std::function<void()> onTick);

    struct State;

private:
    std::shared_ptr<State> state_;
    EventLoop* loop_;
};

class EventLoop {
public:
    explicit EventLoop(std::unique_ptr<Clock> clock);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // The loop of this program (one at a time; tests install their own).
    static EventLoop& current();
    static EventLoop* currentOrNull();
    static void setCurrent(EventLoop* loop);

    Clock& clock() { return *clock_; }
    std::int64_t nowNs() const { return clock_->nowNs(); }
    double nowMs() const { return clock_->nowMs(); }
    bool isVirtual() const { return clock_->isVirtual(); }
    VirtualClock* virtualClock();

    // Queues work for the loop thread; safe from any thread. Runs at the next pump, in order.
    void post(std::function<void()> fn);

    // The pump: lets the view deliver input, runs what was posted before the call, then each
    // enabled timer that is due, once. Returns the number of posted items and ticks run.
    int doEvents();
    // Real sleep, or virtual time moved on (virtual sources run as their time passes).
    void sleepMs(int ms);
    // Tests: ms slices of 1 ms, a pump after each.
    void advance(int ms);
    // Runs until quit(): pumps whenever something is posted or a timer falls due.
    void run();
    void quit();
    bool quitting() const { return quit_; }

    // The view's hook, called at the start of every pump (Qt delivers its input there).
    void setInputPump(std::function<void()> pump);
    // The longest the real loop sleeps between pumps while an input pump is set.
    void setInputPeriodMs(int ms) { inputPeriodMs_ = ms; }

    // Depth of nested pumps (0 outside any handler run by the loop).
    int depth() const { return depth_; }
    // Called after every outermost pump: a place to free what handlers left behind.
    void setIdleHook(std::function<void()> hook) { idleHook_ = std::move(hook); }

private:
    friend class LoopTimer;
    void addTimer(const std::shared_ptr<LoopTimer::State>& t);
    void wake();
    std::int64_t nextDueNs();

    std::unique_ptr<Clock> clock_;
    std::mutex mutex_;
    std::condition_variable cv_;
    struct Posted {
        std::uint64_t seq;
        std::function<void()> fn;
    };
    std::deque<Posted> queue_;
    std::uint64_t postSeq_ = 0;
    std::vector<std::weak_ptr<LoopTimer::State>> timers_;
    std::function<void()> inputPump_;
    std::function<void()> idleHook_;
    int inputPeriodMs_ = 16;
    int depth_ = 0;
    std::atomic<bool> quit_{false};
};

} // namespace platform
