// Monotonic clocks: the machine's own, or a virtual one that only moves when told to.
#pragma once
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <ctime>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time in nanoseconds since an arbitrary start.
    virtual std::int64_t nowNs() const = 0;
    // Sleeps for real, or moves the virtual time on by ms.
    virtual void sleepMs(int ms) = 0;
    // Sleeps until the given time (real), or moves the virtual time there.
    virtual void sleepUntilNs(std::int64_t ns) = 0;
    virtual bool isVirtual() const = 0;
    double nowMs() const { return static_cast<double>(nowNs()) / 1e6; }
};

class RealClock final : public Clock {
public:
    std::int64_t nowNs() const override { return steadyNowNs(); }
    // The monotonic clock that std::chrono::steady_clock reads, read directly.
    static std::int64_t steadyNowNs() {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }
    void sleepMs(int ms) override;
    void sleepUntilNs(std::int64_t ns) override;
    bool isVirtual() const override { return false; }

    // Sleeps until the monotonic clock reaches deadlineNs, or until another thread has changed
    // word from seen and calls wake on it; may also return early on a signal. One system call and
    // no lock, which is why the loop sleeps this way. A futex wait with an absolute deadline, so a
    // late wake-up never pushes the next one later; inline, so the loop's wake-up path makes no
    // call through the library's tables.
    // INT64_MAX: no deadline, only the wake.
    static void waitUntilNs(std::atomic<std::uint32_t>& word, std::uint32_t seen, std::int64_t deadlineNs) {
        timespec at{};
        at.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000);
        at.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000);
        syscall(SYS_futex, futexWord(word), FUTEX_WAIT_BITSET_PRIVATE, seen, deadlineNs == INT64_MAX ? nullptr : &at,
                nullptr, FUTEX_BITSET_MATCH_ANY);
    }
    static void wake(std::atomic<std::uint32_t>& word) {
        syscall(SYS_futex, futexWord(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
    }

private:
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free);
    static std::uint32_t* futexWord(std::atomic<std::uint32_t>& word) {
        return reinterpret_cast<std::uint32_t*>(&word);
    }
};

// Virtual time for tests and the headless runner. Sources scheduled on it (the virtual audio
// devices, the virtual multimedia timer) run on the calling thread when time passes their due
// time, in due order; they stand in for the threads of the real devices and only post messages.
class VirtualClock final : public Clock {
public:
    using SourceId = std::uint64_t;
    std::int64_t nowNs() const override { return now_.load(); }
    void sleepMs(int ms) override;
    void sleepUntilNs(std::int64_t ns) override;
    bool isVirtual() const override { return true; }

    void advanceNs(std::int64_t ns);
    // Runs fn when the time reaches dueNs (at once on the next move if it already has).
    SourceId schedule(std::int64_t dueNs, std::function<void()> fn);
    void cancel(SourceId id);
    bool hasPending() const;

private:
    void noteFirst();  // under mutex_

    std::atomic<std::int64_t> now_{0};
    // The due time of the first source (max when none), for a look without the lock.
    std::atomic<std::int64_t> firstDue_{INT64_MAX};
    mutable std::recursive_mutex mutex_;
    struct Entry {
        SourceId id;
        std::function<void()> fn;
    };
    std::multimap<std::int64_t, Entry> sources_;
    SourceId nextId_ = 1;
};

} // namespace platform
