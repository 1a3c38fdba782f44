#include "platform/loop/cpu_meter.h"

#include <time.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace platform::cpumeter {

namespace {

std::int64_t cpuNs(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct Meter {
    std::thread::id thread;
    bool begun = false;
    std::array<std::int64_t, kParts> charged{};
    std::vector<Part> stack;
    std::int64_t mark = 0;
    // At the window's start.
    std::array<std::int64_t, kParts> charged0{};
    std::int64_t wall0 = 0, process0 = 0, main0 = 0;
};

Meter& meter() {
    static Meter m;
    return m;
}

bool onMeterThread(const Meter& m) { return m.begun && std::this_thread::get_id() == m.thread; }

}  // namespace

bool enabled() {
    static const bool on = std::getenv("KORVELLA_CPU_METER") != nullptr;
    return on;
}

bool enter(Part part) {
    Meter& m = meter();
    if (!onMeterThread(m)) return false;
    const std::int64_t now = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    if (!m.stack.empty()) m.charged[static_cast<int>(m.stack.back())] += now - m.mark;
    m.stack.push_back(part);
    m.mark = now;
    return true;
}

void leave() {
    Meter& m = meter();
    if (!onMeterThread(m) || m.stack.empty()) return;
    const std::int64_t now = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    m.charged[static_cast<int>(m.stack.back())] += now - m.mark;
    m.stack.pop_back();
    m.mark = now;
}

void begin() {
    if (!enabled()) return;
    Meter& m = meter();
    m.thread = std::this_thread::get_id();
    m.begun = true;
    m.mark = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    m.charged0 = m.charged;
    m.wall0 = cpuNs(CLOCK_MONOTONIC);
    m.process0 = cpuNs(CLOCK_PROCESS_CPUTIME_ID);
    m.main0 = m.mark;
}

std::string report() {
    Meter& m = meter();
    if (!enabled() || !onMeterThread(m)) return {};
    const std::int64_t main = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    if (!m.stack.empty()) m.charged[static_cast<int>(m.stack.back())] += main - m.mark;
    m.mark = main;
    auto s = [](std::int64_t ns) { return static_cast<double>(ns) / 1e9; };
    auto part = [&](Part p) { return s(m.charged[static_cast<int>(p)] - m.charged0[static_cast<int>(p)]); };
    char line[256];
    std::snprintf(line, sizeof line,
                  "cpu-meter wall=%.6f process=%.6f main=%.6f capture=%.6f view=%.6f render=%.6f display=%.6f",
                  s(cpuNs(CLOCK_MONOTONIC) - m.wall0), s(cpuNs(CLOCK_PROCESS_CPUTIME_ID) - m.process0), s(main - m.main0),
                  part(Part::Capture), part(Part::ViewUpdates), part(Part::ProjectorRendering),
                  part(Part::ProjectorDisplay));
    m.begun = false;
    return line;
}

}  // namespace platform::cpumeter
