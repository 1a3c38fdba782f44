#include "platform/loop/clock.h"

#include <chrono>
#include <limits>
#include <thread>

namespace platform {

void RealClock::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void RealClock::sleepUntilNs(std::int64_t ns) {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns)));
}

void VirtualClock::sleepMs(int ms) {
    if (ms > 0) advanceNs(static_cast<std::int64_t>(ms) * 1'000'000);
}

void VirtualClock::sleepUntilNs(std::int64_t ns) {
    if (ns > now_.load()) advanceNs(ns - now_.load());
}

void VirtualClock::noteFirst() {
    firstDue_.store(sources_.empty() ? std::numeric_limits<std::int64_t>::max() : sources_.begin()->first);
}

void VirtualClock::advanceNs(std::int64_t ns) {
    const std::int64_t target = now_.load() + (ns > 0 ? ns : 0);
    // Most moves pass no source: no lock then.
    while (firstDue_.load() <= target) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            auto it = sources_.begin();
            if (it == sources_.end() || it->first > target) break;
            if (it->first > now_.load()) now_.store(it->first);
            fn = std::move(it->second.fn);
            sources_.erase(it);
            noteFirst();
        }
        fn();
    }
    if (target > now_.load()) now_.store(target);
}

VirtualClock::SourceId VirtualClock::schedule(std::int64_t dueNs, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    const SourceId id = nextId_++;
    sources_.emplace(dueNs, Entry{id, std::move(fn)});
    noteFirst();
    return id;
}

void VirtualClock::cancel(SourceId id) {
    std::lock_guard lock(mutex_);
    for (auto it = sources_.begin(); it != sources_.end(); ++it) {
        if (it->second.id == id) {
            sources_.erase(it);
            noteFirst();
            return;
        }
    }
}

bool VirtualClock::hasPending() const {
    std::lock_guard lock(mutex_);
    return !sources_.empty();
}

} // namespace platform
