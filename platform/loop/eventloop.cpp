#include "platform/loop/eventloop.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace platform {

// The fields a tick reads sit in the first cache line: after the loop has slept, each line a
// tick touches is a fresh miss.
struct alignas(64) LoopTimer::State {
    std::function<void()> onTick;
    std::int64_t dueNs = 0;
    std::uint64_t restarts = 0;  // counts restarts, so a handler that restarts its own timer keeps that phase
    int interval = 0;
    std::uint32_t slot = 0;      // index in the loop's keys_ and slots_
    bool enabled = false;
    bool inTick = false;
    bool alive = true;           // false once its LoopTimer is gone
    bool replaced = false;       // a new handler waits in pendingTick until the running one returns
    // Real time: its next due time was reckoned from the pump's start; the pump checks it against
    // the clock once its handlers have run (see runDue).
    bool settle = false;
    std::int16_t pins = 0;       // pumps holding it in their list of due timers
    EventLoop* loop = nullptr;   // cleared when the loop goes first
    std::function<void()> pendingTick;

    bool armed() const { return alive && enabled && interval > 0 && !inTick && onTick; }
};

namespace {
EventLoop* g_current = nullptr;
constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
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

LoopTimer::LoopTimer(std::function<void()> onTick, EventLoop* loop) : state_(std::make_shared<State>()) {
    state_->onTick = std::move(onTick);
    if (!loop) loop = EventLoop::currentOrNull();
    if (loop) loop->addTimer(state_);
}

LoopTimer::~LoopTimer() {
    state_->enabled = false;
    state_->alive = false;
    // A handler destroying its own timer is still running: its callable goes once it returns.
    if (state_->inTick) {
        state_->pendingTick = nullptr;
        state_->replaced = true;
    } else {
        state_->onTick = nullptr;
    }
    if (state_->loop) state_->loop->dropTimer(*state_);
}

void LoopTimer::setInterval(int ms) {
    state_->interval = ms < 0 ? 0 : ms;
    if (EventLoop* loop = state_->loop) {
        state_->dueNs = loop->nowNs() + static_cast<std::int64_t>(state_->interval) * kNsPerMs;
        ++state_->restarts;
        state_->settle = false;
        loop->rearm(*state_);
        loop->wake();
    }
}

int LoopTimer::interval() const { return state_->interval; }

void LoopTimer::setEnabled(bool on) {
    // Enabling a stopped timer starts a fresh full interval; a running one keeps its count,
    // which the level steps and the press sequences rely on.
    const bool was = state_->enabled;
    state_->enabled = on;
    EventLoop* loop = state_->loop;
    if (!loop || on == was) return;
    if (on) {
        state_->dueNs = loop->nowNs() + static_cast<std::int64_t>(state_->interval) * kNsPerMs;
        ++state_->restarts;
        state_->settle = false;
    }
    loop->rearm(*state_);
    if (on) loop->wake();
}

bool LoopTimer::enabled() const { return state_->enabled; }

void LoopTimer::setHandler(std::function<void()> onTick) {
    // The running handler is not destroyed under itself: the new one takes over when it returns.
    if (state_->inTick) {
        state_->pendingTick = std::move(onTick);
        state_->replaced = true;
        return;
    }
    state_->onTick = std::move(onTick);
    if (state_->loop) state_->loop->rearm(*state_);
}

EventLoop::EventLoop(std::unique_ptr<Clock> clock)
    : clock_(std::move(clock)), virtual_(dynamic_cast<VirtualClock*>(clock_.get())) {
    real_ = dynamic_cast<RealClock*>(clock_.get()) != nullptr;
}


EventLoop::~EventLoop() {
    if (g_current == this) g_current = nullptr;
    for (auto* t : slots_) t->loop = nullptr;
}

EventLoop& EventLoop::current() {
    if (!g_current) throw std::logic_error("no event loop installed");
    return *g_current;
}

EventLoop* EventLoop::currentOrNull() { return g_current; }

void EventLoop::setCurrent(EventLoop* loop) { g_current = loop; }

VirtualClock* EventLoop::virtualClock() { return virtual_; }

namespace {
thread_local int t_deferDepth = 0;
thread_local EventLoop* t_deferredWake = nullptr;  // the loop this thread posted to since the last flush
}  // namespace

EventLoop::DeferredWakes::DeferredWakes() { ++t_deferDepth; }

EventLoop::DeferredWakes::~DeferredWakes() {
    if (--t_deferDepth == 0) flush();
}

void EventLoop::DeferredWakes::flush() {
    if (EventLoop* loop = std::exchange(t_deferredWake, nullptr)) loop->wake();
}

void EventLoop::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        const std::uint64_t seq = postSeq_.load(std::memory_order_relaxed) + 1;
        queue_.push_back(Posted{seq, std::move(fn)});
        postSeq_.store(seq, std::memory_order_release);
    }
    if (t_deferDepth > 0) {
        if (t_deferredWake != this) {
            DeferredWakes::flush();  // another loop's wake waits no longer
            t_deferredWake = this;
        }
        return;
    }
    wake();
}

bool EventLoop::nothingPosted() const { return postSeq_.load(std::memory_order_acquire) == doneSeq_; }

void EventLoop::wake() {
    // Paired with sleepUntil: either the sleeper sees what was posted before it sleeps, or the
    // changed word makes its futex wait return at once, or it is asleep and woken here.
    wakeWord_.fetch_add(1);
    if (sleeping_.load()) RealClock::wake(wakeWord_);
}

void EventLoop::sleepUntil(std::int64_t deadlineNs) {
    const std::uint32_t seen = wakeWord_.load();
    sleeping_.store(true);
    if (nothingPosted() && !quit_.load()) RealClock::waitUntilNs(wakeWord_, seen, deadlineNs);
    sleeping_.store(false);
}

void EventLoop::addTimer(const std::shared_ptr<LoopTimer::State>& t) {
    // Drop the slots of timers that are gone, so that forms loaded again and again leave nothing;
    // one still listed by a running pump stays until a later call.
    if (deadTimers_ > 0) {
        std::size_t kept = 0;
        deadTimers_ = 0;
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            LoopTimer::State* s = slots_[i];
            if (!s->alive) {
                if (s->pins == 0) continue;
                ++deadTimers_;
            }
            s->slot = static_cast<std::uint32_t>(kept);
            if (kept != i) {
                keys_[kept] = keys_[i];
                slots_[kept] = s;
                owned_[kept] = std::move(owned_[i]);
            }
            ++kept;
        }
        keys_.resize(kept);
        slots_.resize(kept);
        owned_.resize(kept);
    }
    t->loop = this;
    t->slot = static_cast<std::uint32_t>(slots_.size());
    keys_.push_back(kNever);
    slots_.push_back(t.get());
    owned_.push_back(t);
    rearm(*t);
}

void EventLoop::rearm(LoopTimer::State& t) {
    const std::int64_t key = t.armed() ? t.dueNs : kNever;
    keys_[t.slot] = key;
    if (key < nextDue_) nextDue_ = key;
}

void EventLoop::dropTimer(LoopTimer::State& t) {
    ++deadTimers_;
    rearm(t);
}

void EventLoop::runIdleHook() {
    if (hasIdleHook_) idleHook_();
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

    if (hasInputPump_) {
        inputPump_();
        // The view catches the end inside the toolkit's calls; the unwind goes on from here.
        unwindIfEnded();
    }
    const int posted = runPosted();
    return posted + runDueTimers();
}

int EventLoop::runPosted() {
    if (nothingPosted()) return 0;
    return runQueued();
}

int EventLoop::runQueued() {
    // Only what was posted before this pump; later posts wait for the next one.
    const std::uint64_t last = postSeq_.load(std::memory_order_acquire);
    int ran = 0;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty() || queue_.front().seq > last) break;
            fn = std::move(queue_.front().fn);
            doneSeq_ = queue_.front().seq;
            queue_.pop_front();
        }
        fn();
        ++ran;
    }
    return ran;
}

int EventLoop::runDueTimers() {
    // Timers due now, once each, in creation order; a running handler's own ticks are dropped.
    const std::int64_t start = clockNs();
    lastNowNs_ = start;
    if (start < nextDue_) return 0;
    return runDue(start);
}

namespace {
// The due timers of one pump, listed before any of them runs (a handler's own pump lists its
// own). A list on the stack serves the usual handful; more spill to the heap.
struct DueList {
    static constexpr std::size_t kInline = 32;
    LoopTimer::State* inlined[kInline];
    std::vector<LoopTimer::State*> spilled;
    std::size_t size = 0;
    LoopTimer::State* operator[](std::size_t i) const { return size <= kInline ? inlined[i] : spilled[i]; }
    void add(LoopTimer::State* t) {
        ++t->pins;  // not dropped from the loop's slots while listed here
        if (size < kInline) [[likely]] {
            inlined[size++] = t;
            return;
        }
        spill(t);
    }
    [[gnu::cold, gnu::noinline]] void spill(LoopTimer::State* t) {
        if (size == kInline) spilled.assign(inlined, inlined + kInline);
        spilled.push_back(t);
        ++size;
    }
};
}  // namespace

int EventLoop::runDue(std::int64_t start) {
    struct Listed {
        DueList due;
        bool finished = false;
        EventLoop* loop;
        explicit Listed(EventLoop* l) : loop(l) {}
        Listed(const Listed&) = delete;
        Listed& operator=(const Listed&) = delete;
        ~Listed() {
            for (std::size_t i = 0; i < due.size; ++i) --due[i]->pins;
            // Unwound before every due timer ran: look through them all again next time.
            if (!finished) loop->nextDue_ = std::numeric_limits<std::int64_t>::min();
        }
    } listed(this);
    DueList& due = listed.due;
    std::int64_t next = kNever;
    const std::size_t count = keys_.size();
    const std::int64_t* keys = keys_.data();
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t key = keys[i];
        if (key <= start) {
            LoopTimer::State* t = slots_[i];
            __builtin_prefetch(t, 1);
            due.add(t);
        } else if (key < next) {
            next = key;
        }
    }
    nextDue_ = next;  // the due ones come back in as their handlers return

    int ran = 0;
    std::int64_t now = start;
    for (std::size_t i = 0; i < due.size; ++i) {
        LoopTimer::State* t = due[i];
        t->settle = false;
        // An earlier handler of this pump may have stopped or restarted it.
        if (!t->armed()) continue;
        if (now < t->dueNs) {
            now = clockNs();
            if (now < t->dueNs) continue;
        }
        const std::uint64_t restarts = t->restarts;
        t->inTick = true;
        rearm(*t);
        struct TickGuard {
            EventLoop* loop;
            LoopTimer::State* s;
            ~TickGuard() {
                s->inTick = false;
                if (s->replaced) [[unlikely]] {
                    s->onTick = std::move(s->pendingTick);
                    s->pendingTick = nullptr;
                    s->replaced = false;
                }
                loop->rearm(*s);
            }
        } tickGuard{this, t};
        t->onTick();
        ++ran;
        // The timer keeps its beat while its handler is shorter than the interval; ticks that fell
        // due while it ran are dropped, and the count starts again when it returns. A handler
        // that restarted its own timer keeps that start. Virtual time is read after each handler
        // (it moves only when a handler waits). Real time is read once more after all of them:
        // until then the next tick is reckoned from the pump's start and marked to be settled.
        if (!real_) now = clockNs();
        if (t->restarts == restarts) {
            const std::int64_t step = static_cast<std::int64_t>(t->interval) * kNsPerMs;
            t->dueNs = t->dueNs + step > now ? t->dueNs + step : now + step;
            t->settle = real_;
        }
    }
    listed.finished = true;
    if (real_ && ran > 0) {
        // A next tick that has passed by now fell due while a handler of this pump ran: dropped,
        // the count starts again from here.
        now = clockNs();
        for (std::size_t i = 0; i < due.size; ++i) {
            LoopTimer::State* t = due[i];
            if (!t->settle) continue;
            t->settle = false;
            if (t->dueNs <= now && t->armed()) {
                t->dueNs = now + static_cast<std::int64_t>(t->interval) * kNsPerMs;
                rearm(*t);
            }
        }
    }
    lastNowNs_ = now;
    return ran;
}

void EventLoop::sleepMs(int ms) { clock_->sleepMs(ms); }

void EventLoop::advance(int ms) {
    for (int i = 0; i < ms; ++i) {
        clock_->sleepMs(1);
        doEvents();
    }
}

std::int64_t EventLoop::nextDueNs() const {
    std::int64_t next = kNever;
    for (const std::int64_t key : keys_) next = std::min(next, key);
    return next;
}

void EventLoop::run() {
    quit_ = false;
    while (!quit_ && !g_ended) {
        doEvents();
        if (quit_ || g_ended) break;
        if (!nothingPosted()) continue;
        std::int64_t wakeAt = nextDueNs();
        nextDue_ = wakeAt;
        // Real time: the pump's last look at the clock will do; if it is a little behind, a
        // deadline that has just passed costs one wake-up that returns at once.
        const std::int64_t now = virtual_ ? clockNs() : lastNowNs_;
        if (hasInputPump_) wakeAt = std::min(wakeAt, now + static_cast<std::int64_t>(inputPeriodMs_) * kNsPerMs);
        if (virtual_) {
            // Headless runs on virtual time: jump to the next thing that can happen.
            if (wakeAt == kNever) {
                if (!virtual_->hasPending()) break;  // nothing can ever happen again
                virtual_->advanceNs(kNsPerMs);
            } else {
                virtual_->sleepUntilNs(wakeAt);
            }
            continue;
        }
        // Real time wakes on whole milliseconds only: timers of different phases that fall due
        // within the same millisecond share one wake-up instead of one each.
        std::int64_t deadline = std::min(wakeAt, now + 1000 * kNsPerMs);
        deadline = (deadline + kNsPerMs - 1) / kNsPerMs * kNsPerMs;
        if (deadline <= now) continue;
        sleepUntil(deadline);
    }
}

void EventLoop::quit() {
    quit_ = true;
    wake();
}

void EventLoop::setInputPump(std::function<void()> pump) {
    inputPump_ = std::move(pump);
    hasInputPump_ = static_cast<bool>(inputPump_);
}

}  // namespace platform
