// Sets up what every window stands on: one event loop with its clock and one window registry,
// made current for the program (real clock) or for a test or headless run (virtual clock).
#pragma once
#include <memory>

#include "platform/loop/eventloop.h"
#include "platform/windows/windows.h"

namespace forms {

class Runtime {
public:
    enum class ClockKind { Real, Virtual };
    explicit Runtime(ClockKind clock);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    platform::EventLoop& loop() { return *loop_; }
    platform::WindowRegistry& windows() { return *windows_; }
    platform::VirtualClock* virtualClock() { return loop_->virtualClock(); }
    // Virtual milliseconds since the runtime started (tests assert times with it).
    double nowMs() const { return loop_->nowMs(); }

private:
    std::unique_ptr<platform::EventLoop> loop_;
    std::unique_ptr<platform::WindowRegistry> windows_;
    platform::EventLoop* previousLoop_;
    platform::WindowRegistry* previousWindows_;
};

}  // namespace forms
