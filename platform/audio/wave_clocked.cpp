#include "platform/audio/wave_clocked.h"

#include <climits>

#include "platform/loop/eventloop.h"

namespace platform {

namespace {
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
constexpr std::int64_t kNever = INT64_MAX;

Clock& fallbackClock() {
    static RealClock clock;
    return clock;
}
}  // namespace

struct ClockedDriver::Shared {
    ClockedDriver* driver;
};

ClockedDriver::ClockedDriver(Client& client, std::uint32_t rate)
    : client_(client), rate_(rate > 0 ? rate : 1), shared_(std::make_shared<Shared>(Shared{this})) {
    EventLoop* loop = EventLoop::currentOrNull();
    clock_ = loop ? &loop->clock() : &fallbackClock();
    virtual_ = loop && loop->isVirtual() ? loop->virtualClock() : nullptr;
    if (!virtual_) thread_ = std::thread([this] { threadMain(); });
}

ClockedDriver::~ClockedDriver() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        running_ = false;
        // A loop that is already gone took its sources with it.
        EventLoop* loop = EventLoop::currentOrNull();
        if (virtual_ && sourceId_ && loop && loop->virtualClock() == virtual_) virtual_->cancel(sourceId_);
        sourceId_ = 0;
    }
    wakeThread();
    if (thread_.joinable()) thread_.join();
    shared_->driver = nullptr;
}

std::uint64_t ClockedDriver::framesDueLocked(std::int64_t now) const {
    if (now <= t0_) return base_;
    const auto d = static_cast<std::uint64_t>(now - t0_);
    const std::uint64_t sec = d / kNsPerSecond;
    const std::uint64_t rem = d % kNsPerSecond;
    return base_ + sec * rate_ + rem * rate_ / kNsPerSecond;
}

std::int64_t ClockedDriver::timeOfFrameLocked(std::uint64_t frame) const {
    if (frame <= base_) return t0_;
    const std::uint64_t k = frame - base_;
    const std::uint64_t sec = k / rate_;
    const std::uint64_t rem = k % rate_;
    // The first instant at which the frame has been fully taken.
    const std::uint64_t remNs = (rem * kNsPerSecond + rate_ - 1) / rate_;
    return t0_ + static_cast<std::int64_t>(sec * kNsPerSecond + remNs);
}

void ClockedDriver::catchUpLocked(std::int64_t now) {
    if (!running_) return;
    const std::uint64_t target = framesDueLocked(now);
    if (target > pos_) {
        const std::uint64_t n = target - pos_;
        pos_ = target;
        client_.run(n);
    }
    // Buffers that end at this very frame (those shorter than a frame) come back now; bounded
    // so that a client that makes no progress cannot hang the loop.
    for (int i = 0; i < 1024; ++i) {
        const auto ev = client_.framesToEvent();
        if (!ev || *ev != 0) break;
        client_.run(0);
    }
}

std::int64_t ClockedDriver::threadDueLocked() {
    if (quit_) return 0;
    if (!running_) return kNever;
    const auto ev = client_.framesToEvent();
    return ev ? timeOfFrameLocked(pos_ + *ev) : kNever;
}

void ClockedDriver::wakeThread() {
    wakeWord_.fetch_add(1);
    RealClock::wake(wakeWord_);
}

void ClockedDriver::scheduleLocked() {
    if (!virtual_) {
        // A buffer queued behind the one filling changes nothing: the thread wakes only when
        // its next instant came earlier (or it has to stop or end).
        if (threadDueLocked() < threadDue_) wakeThread();
        return;
    }
    if (sourceId_) virtual_->cancel(sourceId_);
    sourceId_ = 0;
    if (!running_ || quit_) return;
    const auto ev = client_.framesToEvent();
    if (!ev) return;
    const std::int64_t due = timeOfFrameLocked(pos_ + *ev);
    std::weak_ptr<Shared> weak = shared_;
    sourceId_ = virtual_->schedule(due, [weak] {
        auto s = weak.lock();
        if (!s || !s->driver) return;
        ClockedDriver& d = *s->driver;
        std::lock_guard lock(d.mutex_);
        d.sourceId_ = 0;
        d.catchUpLocked(d.clock_->nowNs());
        d.scheduleLocked();
    });
}

void ClockedDriver::threadMain() {
    // The buffers it returns wake the loop once the lock is let go: the loop's thread, answering
    // them at once, queues the next buffer and would otherwise wait here for the lock.
    EventLoop::DeferredWakes deferred;
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const std::int64_t due = threadDueLocked();
        if (due != kNever) {
            const std::int64_t now = clock_->nowNs();
            if (now >= due) {
                catchUpLocked(now);
                continue;
            }
        }
        // Sleeps without the lock until the instant (or for good while nothing can fall due); a
        // change that brings it earlier bumps the word, before or during the wait.
        threadDue_ = due;
        const std::uint32_t seen = wakeWord_.load();
        lock.unlock();
        EventLoop::DeferredWakes::flush();
        // The real clock is the steady clock that the futex deadline is measured on.
        RealClock::waitUntilNs(wakeWord_, seen, due);
        lock.lock();
        threadDue_ = 0;
    }
}

std::int64_t ClockedDriver::start() {
    std::lock_guard lock(mutex_);
    if (!running_) {
        t0_ = clock_->nowNs();
        base_ = pos_;
        running_ = true;
    }
    scheduleLocked();
    return t0_;
}

void ClockedDriver::stop() {
    std::lock_guard lock(mutex_);
    catchUpLocked(clock_->nowNs());
    running_ = false;
    scheduleLocked();
}

bool ClockedDriver::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void ClockedDriver::catchUp() {
    std::lock_guard lock(mutex_);
    catchUpLocked(clock_->nowNs());
}

void ClockedDriver::catchUpOrRestart() {
    std::lock_guard lock(mutex_);
    const std::int64_t now = clock_->nowNs();
    catchUpLocked(now);
    if (!client_.framesToEvent()) {
        t0_ = now;
        base_ = pos_;
        running_ = true;
    }
}

void ClockedDriver::reschedule() {
    std::lock_guard lock(mutex_);
    catchUpLocked(clock_->nowNs());
    scheduleLocked();
}

std::uint64_t ClockedDriver::position() const {
    std::lock_guard lock(mutex_);
    return pos_;
}

}  // namespace platform
