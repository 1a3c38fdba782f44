#include "platform/loop/mmtimer.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/loop/eventloop.h"

namespace platform {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

struct Timer {
    UINT id = 0;
    std::int64_t delayNs = 0;
    bool periodic = true;
    std::function<void(UINT)> fn;
    std::int64_t startNs = 0;

    std::mutex mutex;
    std::condition_variable cv;  // a kill waits on it for a running callback to return
    // The thread sleeps on this word until the next tick; a kill bumps it. (A condition variable
    // costs a further system call at each tick: the mutex it takes back counts as contended.)
    std::atomic<std::uint32_t> wakeWord{0};
    bool killed = false;
    bool running = false;
    std::thread::id thread;

    VirtualClock* virtualClock = nullptr;
    VirtualClock::SourceId source = 0;

    std::int64_t dueOf(std::uint64_t k) const { return startNs + static_cast<std::int64_t>(k) * delayNs; }
    // The first tick after k that is not yet past (ticks missed while the callback ran are dropped).
    std::uint64_t nextTick(std::uint64_t k, std::int64_t now) const {
        std::uint64_t next = k + 1;
        if (dueOf(next) < now) next = static_cast<std::uint64_t>((now - startNs + delayNs - 1) / delayNs);
        return next;
    }
};

// Under the timer's mutex: no callback starts after this.
void kill(Timer& t) {
    t.killed = true;
    t.wakeWord.fetch_add(1);
    RealClock::wake(t.wakeWord);
}

struct Table {
    std::mutex mutex;
    std::map<UINT, std::shared_ptr<Timer>> timers;
    UINT next = 1;

    // At exit no timer thread may go on calling into a program that is being torn down.
    ~Table() {
        for (auto& entry : timers) {
            Timer* t = entry.second.get();
            if (t->virtualClock) continue;
            std::unique_lock lock(t->mutex);
            kill(*t);
            t->cv.wait(lock, [&] { return !t->running; });
        }
    }
};

Table& table() {
    static Table t;
    return t;
}

void forget(const std::shared_ptr<Timer>& t) {
    auto& tab = table();
    std::lock_guard lock(tab.mutex);
    auto it = tab.timers.find(t->id);
    if (it != tab.timers.end() && it->second == t) tab.timers.erase(it);
}

void runThread(std::shared_ptr<Timer> t) {
    std::unique_lock lock(t->mutex);
    t->thread = std::this_thread::get_id();
    std::uint64_t k = 1;
    for (;;) {
        const std::int64_t due = t->dueOf(k);
        while (!t->killed && RealClock::steadyNowNs() < due) {
            const std::uint32_t seen = t->wakeWord.load();
            lock.unlock();
            RealClock::waitUntilNs(t->wakeWord, seen, due);
            lock.lock();
        }
        if (t->killed) break;
        t->running = true;
        lock.unlock();
        t->fn(t->id);
        lock.lock();
        t->running = false;
        t->cv.notify_all();
        if (t->killed) break;
        if (!t->periodic) {
            lock.unlock();
            forget(t);
            return;
        }
        k = t->nextTick(k, RealClock::steadyNowNs());
    }
}

void scheduleVirtual(const std::shared_ptr<Timer>& t, std::uint64_t k) {
    std::weak_ptr<Timer> weak = t;
    t->source = t->virtualClock->schedule(t->dueOf(k), [weak, k] {
        auto t = weak.lock();
        if (!t || t->killed) return;
        t->source = 0;
        if (t->running) return;  // never entered again from inside itself
        t->running = true;
        t->fn(t->id);
        t->running = false;
        if (t->killed) return;
        if (!t->periodic) {
            forget(t);
            return;
        }
        scheduleVirtual(t, t->nextTick(k, t->virtualClock->nowNs()));
    });
}

}  // namespace

UINT timeSetEvent(UINT delayMs, UINT /*resolutionMs*/, std::function<void(UINT)> callback, UINT flags) {
    if (delayMs == 0 || delayMs > 1'000'000 || !callback) return 0;
    if (flags & ~(TIME_PERIODIC | TIME_KILL_SYNCHRONOUS)) return 0;
    auto t = std::make_shared<Timer>();
    t->delayNs = static_cast<std::int64_t>(delayMs) * kNsPerMs;
    t->periodic = (flags & TIME_PERIODIC) != 0;
    t->fn = std::move(callback);
    EventLoop* loop = EventLoop::currentOrNull();
    if (loop && loop->isVirtual()) t->virtualClock = loop->virtualClock();
    {
        auto& tab = table();
        std::lock_guard lock(tab.mutex);
        while (tab.next == 0 || tab.timers.count(tab.next)) ++tab.next;
        t->id = tab.next++;
        tab.timers[t->id] = t;
    }
    if (t->virtualClock) {
        t->startNs = t->virtualClock->nowNs();
        scheduleVirtual(t, 1);
    } else {
        t->startNs = RealClock::steadyNowNs();
        std::thread(runThread, t).detach();
    }
    return t->id;
}

UINT timeSetEvent(UINT delayMs, UINT resolutionMs, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
    if (!callback) return 0;
    return timeSetEvent(
        delayMs, resolutionMs, std::function<void(UINT)>([callback, user](UINT id) { callback(id, 0, user, 0, 0); }),
        flags);
}

MMRESULT timeKillEvent(UINT id) {
    std::shared_ptr<Timer> t;
    {
        auto& tab = table();
        std::lock_guard lock(tab.mutex);
        auto it = tab.timers.find(id);
        if (it == tab.timers.end()) return MMSYSERR_INVALPARAM;
        t = it->second;
        tab.timers.erase(it);
    }
    if (t->virtualClock) {
        t->killed = true;
        // A loop that is already gone took its sources with it.
        EventLoop* loop = EventLoop::currentOrNull();
        if (t->source && loop && loop->virtualClock() == t->virtualClock) t->virtualClock->cancel(t->source);
        t->source = 0;
        return TIMERR_NOERROR;
    }
    std::unique_lock lock(t->mutex);
    kill(*t);
    if (t->thread != std::this_thread::get_id()) t->cv.wait(lock, [&] { return !t->running; });
    return TIMERR_NOERROR;
}

std::size_t activeTimerCount() {
    auto& tab = table();
    std::lock_guard lock(tab.mutex);
    return tab.timers.size();
}

}  // namespace platform
