#include "platform/eventloop.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace platform {

struct LoopTimer::State {
    std::function<void()> onTick;
    int interval = 0;
    bool enabled = false;
    bool inTick = false;
    std::int64_t dueNs = 0;
    std::uint64_t restarts = 0;  // counts restarts, so a handler that restarts its own timer keeps that phase
};

namespace {
EventLoop* g_current = nullptr;
constexpr std::int64_t kNsPerMs = 1'000'000;
// Only the user-interface thread enters the program's code.
bool g_ended = false;
int g_entryDepth = 0;
}  // namespace

void setProgramEnded(bool ended) { g_ended = ended; }
bool programEnded() { return g_ended; }

void unwindIfEnded() {
    if (g_ended && g_entryDepth > 0) throw ProgramEnded{};
}

EntryScope::EntryScope() : outermost_(g_entryDepth == 0) { ++g_entryDepth; }

EntryScope::~EntryScope() {
    if (--g_entryDepth == 0)
        if (EventLoop* loop = EventLoop::currentOrNull()) loop->runIdleHook();
}

int entryDepth() { return g_entryDepth; }

LoopTimer::LoopTimer(std::function<void()> onTick, EventLoop* loop)
    : state_(std::make_shared<State>()), loop_(loop ? loop : EventLoop::currentOrNull()) {
    state_->onTick = std::move(onTick);
    if (loop_) loop_->addTimer(state_);
}

LoopTimer::~LoopTimer() {
    state_->enabled = false;
    state_->onTick = nullptr;
}

void LoopTimer::setInterval(int ms) {
    state_->interval = ms < 0 ? 0 : ms;
    if (loop_) {
        state_->dueNs = loop_->nowNs() + static_cast<std::int64_t>(state_->interval) * kNsPerMs;
        ++state_->restarts;
        loop_->wake();
    }
}

int LoopTimer::interval() const { return state_->interval; }

void LoopTimer::setEnabled(bool on) {
    // Enabling a stopped timer starts a fresh full interval; a running one keeps its count,
    // which the level steps and the press sequences rely on.
    const bool was = state_->enabled;
    state_->enabled = on;
    if (on && !was && loop_) {
        state_->dueNs = loop_->nowNs() + static_cast<std::int64_t>(state_->interval) * kNsPerMs;
        ++state_->restarts;
        loop_->wake();
    }
}

bool LoopTimer::enabled() const { return state_->enabled; }

void LoopTimer::setHandler(std::function<void()> onTick) { state_->onTick = std::move(onTick); }

EventLoop::EventLoop(std::unique_ptr<Clock> clock) : clock_(std::move(clock)) {}

EventLoop::~EventLoop() {
    if (g_current == this) g_current = nullptr;
}

EventLoop& EventLoop::current() {
    if (!g_current) throw std::logic_error("no event loop installed");
    return *g_current;
}

EventLoop* EventLoop::currentOrNull() { return g_current; }

void EventLoop::setCurrent(EventLoop* loop) { g_current = loop; }

VirtualClock* EventLoop::virtualClock() { return dynamic_cast<VirtualClock*>(clock_.get()); }

void EventLoop::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Posted{++postSeq_, std::move(fn)});
    }
    cv_.notify_one();
}

void EventLoop::wake() { cv_.notify_one(); }

void EventLoop::addTimer(const std::shared_ptr<LoopTimer::State>& t) {
    // Drop the entries of timers that are gone, so that forms loaded again and again leave nothing.
    std::erase_if(timers_, [](const std::weak_ptr<LoopTimer::State>& w) { return w.expired(); });
    timers_.push_back(t);
}

void EventLoop::runIdleHook() {
    if (idleHook_) idleHook_();
}

int EventLoop::doEvents() {
    int ran = 0;
    runAsEntry([&] { ran = pump(); });
    return ran;
}

int EventLoop::pump() {
    unwindIfEnded();
    ++depth_;
    struct DepthGuard {
        EventLoop* loop;
        ~DepthGuard() { --loop->depth_; }
    } guard{this};

    if (inputPump_) {
        inputPump_();
        // The view catches the end inside the toolkit's calls; the unwind goes on from here.
        unwindIfEnded();
    }

    int ran = 0;
    // Only what was posted before this pump; later posts wait for the next one.
    std::uint64_t last;
    {
        std::lock_guard lock(mutex_);
        last = postSeq_;
    }
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty() || queue_.front().seq > last) break;
            fn = std::move(queue_.front().fn);
            queue_.pop_front();
        }
        fn();
        ++ran;
    }

    // Timers due now, once each, in creation order; a running handler's own ticks are dropped.
    std::vector<std::shared_ptr<LoopTimer::State>> due;
    due.reserve(timers_.size());
    const std::int64_t now = clock_->nowNs();
    for (auto& w : timers_) {
        auto t = w.lock();
        if (t && t->enabled && t->interval > 0 && !t->inTick && t->onTick && now >= t->dueNs) due.push_back(t);
    }
    for (auto& t : due) {
        // An earlier handler of this pump may have stopped or restarted it.
        if (!t->enabled || t->interval <= 0 || t->inTick || !t->onTick || clock_->nowNs() < t->dueNs) continue;
        const std::uint64_t restarts = t->restarts;
        t->inTick = true;
        struct TickGuard {
            LoopTimer::State* s;
            ~TickGuard() { s->inTick = false; }
        } tickGuard{t.get()};
        auto fn = t->onTick;  // the handler may replace or destroy its own timer
        fn();
        ++ran;
        // The timer keeps its beat while its handler is shorter than the interval; ticks that fell
        // due while it ran are dropped, and the count starts again when it returns. A handler
        // that restarted its own timer keeps that start.
        if (t->restarts == restarts) {
            const std::int64_t step = static_cast<std::int64_t>(t->interval) * kNsPerMs;
            const std::int64_t after = clock_->nowNs();
            t->dueNs = t->dueNs + step > after ? t->dueNs + step : after + step;
        }
    }
    return ran;
}

void EventLoop::sleepMs(int ms) { clock_->sleepMs(ms); }

void EventLoop::advance(int ms) {
    for (int i = 0; i < ms; ++i) {
        clock_->sleepMs(1);
        doEvents();
    }
}

std::int64_t EventLoop::nextDueNs() {
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (auto& w : timers_) {
        auto t = w.lock();
        if (t && t->enabled && t->interval > 0 && !t->inTick && t->onTick) next = std::min(next, t->dueNs);
    }
    return next;
}

void EventLoop::run() {
    quit_ = false;
    while (!quit_ && !g_ended) {
        doEvents();
        if (quit_ || g_ended) break;
        std::int64_t wakeAt = nextDueNs();
        if (inputPump_) wakeAt = std::min(wakeAt, clock_->nowNs() + static_cast<std::int64_t>(inputPeriodMs_) * kNsPerMs);
        if (clock_->isVirtual()) {
            // Headless runs on virtual time: jump to the next thing that can happen.
            auto* vc = virtualClock();
            bool posted;
            {
                std::lock_guard lock(mutex_);
                posted = !queue_.empty();
            }
            if (posted) continue;
            if (wakeAt == std::numeric_limits<std::int64_t>::max()) {
                if (!vc->hasPending()) break;  // nothing can ever happen again
                vc->advanceNs(kNsPerMs);
            } else {
                vc->sleepUntilNs(wakeAt);
            }
            continue;
        }
        std::unique_lock lock(mutex_);
        if (!queue_.empty()) continue;
        const auto deadline = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(
            std::min<std::int64_t>(wakeAt, clock_->nowNs() + 1000 * kNsPerMs)));
        cv_.wait_until(lock, deadline, [&] { return !queue_.empty() || quit_; });
    }
}

void EventLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
}

void EventLoop::setInputPump(std::function<void()> pump) { inputPump_ = std::move(pump); }

}  // namespace platform
