#include "platform/wave_clocked.h"

#include <chrono>

#include "platform/eventloop.h"

namespace platform {

namespace {
constexpr std::int64_t kNsPerSecond = 1'000'000'000;

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
    cv_.notify_all();
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

void ClockedDriver::scheduleLocked() {
    if (!virtual_) {
        cv_.notify_all();
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
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!running_) {
            cv_.wait(lock);
            continue;
        }
        const auto ev = client_.framesToEvent();
        if (!ev) {
            cv_.wait(lock);
            continue;
        }
        const std::int64_t due = timeOfFrameLocked(pos_ + *ev);
        if (clock_->nowNs() < due) {
            // The real clock is the steady clock, so its nanoseconds are a steady time point.
            cv_.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(due)));
            continue;
        }
        catchUpLocked(clock_->nowNs());
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
