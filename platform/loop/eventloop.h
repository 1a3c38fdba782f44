// The one loop of the user-interface thread: posted messages, form timers and the pump.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/loop/clock.h"

namespace platform {

class EventLoop;

// The end of the program. Once it is marked, no further statement of any handler runs: the end
// throws ProgramEnded, which passes through every handler, wait and pump still on the stack and is
// caught only by the outermost entry into the program's code (EntryScope). It is no
// std::exception, so no error handling of the program takes it for a run-time error.
struct ProgramEnded {};
void setProgramEnded(bool ended);
bool programEnded();
// Throws ProgramEnded when the program has ended and an entry is on the stack to catch it. Code
// that called out to another library (the view's toolkit) calls it once that returns.
void unwindIfEnded();

// One entry into the program's code: a pump, a handler run by the runtime or the view, an
// unload. Entries nest; when the outermost one ends, the loop's idle hook runs (nothing of a
// handler is on the stack then, so what handlers left behind can be freed).
class EntryScope {
public:
    EntryScope();
    ~EntryScope();
    EntryScope(const EntryScope&) = delete;
    EntryScope& operator=(const EntryScope&) = delete;
    bool outermost() const { return outermost_; }

private:
    bool outermost_;
};
int entryDepth();

// Runs fn as an entry. The outermost entry catches the end of the program; returns false when
// the program ended inside fn.
template <class F>
bool runAsEntry(F&& fn) {
    EntryScope entry;
    if (!entry.outermost()) {
        fn();
        return true;
    }
    try {
        fn();
        return true;
    } catch (const ProgramEnded&) {
        return false;
    }
}

// A timer of the loop. Enabling it when stopped or changing its interval starts a fresh full
// interval (enabling it while it runs changes nothing); interval 0 never ticks; a tick falling due
// while its own handler runs (real clock: or a later one of the same pump) is dropped.
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
};

class alignas(64) EventLoop {
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

    // While one is alive on a thread, that thread's posts wake the loop only at flush() or when
    // the last one ends: a device thread that posts while holding locks the loop's thread takes
    // next lets go of them first, so the loop does not wake only to wait for them.
    class DeferredWakes {
    public:
        DeferredWakes();
        ~DeferredWakes();
        DeferredWakes(const DeferredWakes&) = delete;
        DeferredWakes& operator=(const DeferredWakes&) = delete;
        // Wakes the loop now if this thread posted since the last flush.
        static void flush();
    };

    // The pump: lets the view deliver input, runs what was posted before the call, then each
    // enabled timer that is due, once. Returns the number of posted items and ticks run. After the
    // program's end it runs nothing (and unwinds the handler that called it).
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
    // Called when the outermost entry ends (EntryScope): a place to free what handlers left behind.
    void setIdleHook(std::function<void()> hook) {
        idleHook_ = std::move(hook);
        hasIdleHook_ = static_cast<bool>(idleHook_);
    }
    void runIdleHook();

private:
    friend class LoopTimer;
    void addTimer(const std::shared_ptr<LoopTimer::State>& t);
    // Brings a timer's slot up to date after anything that decides whether or when it ticks.
    void rearm(LoopTimer::State& t);
    void dropTimer(LoopTimer::State& t);
    void wake();
    std::int64_t nextDueNs() const;
    bool nothingPosted() const;
    void sleepUntil(std::int64_t deadlineNs);
    int pump();
    int runPosted();
    int runQueued();
    int runDueTimers();
    int runDue(std::int64_t start);

    // The clock, without a virtual call for the real one.
    std::int64_t clockNs() const { return real_ ? RealClock::steadyNowNs() : clock_->nowNs(); }

    // What a real-time wake-up reads comes first, in one cache line: after the sleep each line it
    // touches is a fresh miss.
    // No timer is due before this (a lower bound; the pump skips the search until then).
    std::int64_t nextDue_ = INT64_MAX;
    std::int64_t lastNowNs_ = 0;  // the clock as the last pump last read it
    // One slot per timer in creation order: its due time while it can tick, else never. Finding
    // what is due reads this one small array and touches only the timers that are.
    std::vector<std::int64_t> keys_;
    std::vector<LoopTimer::State*> slots_;  // the timer of each slot
    bool real_ = false;
    bool hasInputPump_ = false;
    bool hasIdleHook_ = false;
    std::atomic<bool> quit_{false};
    std::atomic<bool> sleeping_{false};
    int depth_ = 0;
    // The real loop sleeps on this word; a post bumps it and wakes the sleeper.
    std::atomic<std::uint32_t> wakeWord_{0};
    // Written under mutex_; read without it to see at a glance that nothing waits.
    std::atomic<std::uint64_t> postSeq_{0};
    std::uint64_t doneSeq_ = 0;  // the last posted item run (loop thread only)

    std::unique_ptr<Clock> clock_;
    VirtualClock* virtual_ = nullptr;
    std::mutex mutex_;
    struct Posted {
        std::uint64_t seq;
        std::function<void()> fn;
    };
    std::deque<Posted> queue_;
    std::vector<std::shared_ptr<LoopTimer::State>> owned_;  // keeps each slot's timer state alive
    std::size_t deadTimers_ = 0;

    std::function<void()> inputPump_;
    std::function<void()> idleHook_;
    int inputPeriodMs_ = 16;
};

} // namespace platform
