// Runs a wave stream at its sample rate on the loop's clock: on the virtual clock by sources
// scheduled at the virtual times its buffers fall due, on the real clock by a thread of its own
// that sleeps until then (and is woken only when its next instant comes earlier, or it has to
// start or end). Used by the file and scripted devices and the virtual output.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/loop/clock.h"

namespace platform {

class ClockedDriver {
public:
    class Client {
    public:
        virtual ~Client() = default;
        // Frames until the next buffer is due (0: due now); nothing while no buffer is queued.
        virtual std::optional<std::uint64_t> framesToEvent() = 0;
        // Moves the stream on by frames (capture or play them; they are lost with no buffer).
        virtual void run(std::uint64_t frames) = 0;
    };

    // Takes the clock of the current loop (the real clock when there is no loop).
    ClockedDriver(Client& client, std::uint32_t rate);
    ~ClockedDriver();
    ClockedDriver(const ClockedDriver&) = delete;
    ClockedDriver& operator=(const ClockedDriver&) = delete;

    // Starts the sample grid at the current time; returns that time.
    std::int64_t start();
    // Runs what is due until now, then stands still until the next start.
    void stop();
    bool running() const;
    // Runs what is due until now.
    void catchUp();
    // Catches up and, when nothing is queued, moves the grid's start to now.
    void catchUpOrRestart();
    // Plans the next wake after the queue changed (runs at once what is already due).
    void reschedule();
    bool isVirtual() const { return virtual_ != nullptr; }
    std::uint64_t position() const;

private:
    struct Shared;
    void catchUpLocked(std::int64_t now);
    void scheduleLocked();
    void threadMain();
    // The instant the thread has to run next (INT64_MAX: none while nothing is queued or stopped).
    std::int64_t threadDueLocked();
    void wakeThread();
    std::int64_t timeOfFrameLocked(std::uint64_t frame) const;
    std::uint64_t framesDueLocked(std::int64_t now) const;

    Client& client_;
    const std::uint32_t rate_;
    Clock* clock_;
    VirtualClock* virtual_;
    std::shared_ptr<Shared> shared_;  // the virtual sources hold it weakly
    mutable std::mutex mutex_;
    // The thread sleeps on this word until its next instant; a change it must see bumps it.
    std::atomic<std::uint32_t> wakeWord_{0};
    std::int64_t threadDue_ = 0;  // when the sleeping thread looks again (INT64_MAX: only when woken)
    bool running_ = false;
    bool quit_ = false;
    std::int64_t t0_ = 0;
    std::uint64_t base_ = 0;
    std::uint64_t pos_ = 0;
    std::uint64_t sourceId_ = 0;
    std::thread thread_;
};

}  // namespace platform
