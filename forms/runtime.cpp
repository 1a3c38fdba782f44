#include "forms/runtime.h"

#include "forms/application.h"

namespace forms {

Runtime::Runtime(ClockKind clock)
    : previousLoop_(platform::EventLoop::currentOrNull()) {
    std::unique_ptr<platform::Clock> c;
    if (clock == ClockKind::Virtual)
        c = std::make_unique<platform::VirtualClock>();
    else
        c = std::make_unique<platform::RealClock>();
    loop_ = std::make_unique<platform::EventLoop>(std::move(c));
    windows_ = std::make_unique<platform::WindowRegistry>();
    try {
        previousWindows_ = &platform::WindowRegistry::current();
    } catch (const std::logic_error&) {
        previousWindows_ = nullptr;
    }
    platform::EventLoop::setCurrent(loop_.get());
    platform::WindowRegistry::setCurrent(windows_.get());
    loop_->setIdleHook([] { Application::collectGarbage(); });
    Application::reset();
}

Runtime::~Runtime() {
    // Forms first: their controls give back their windows and timers.
    Application::reset();
    platform::EventLoop::setCurrent(previousLoop_);
    platform::WindowRegistry::setCurrent(previousWindows_);
}

}  // namespace forms
