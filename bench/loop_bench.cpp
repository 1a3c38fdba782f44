// The real-clock loop idling with the program's typical timer load: six 1 ms timers and eight
// 5 ms timers whose handlers do nothing, against a plain 1 ms sleep loop as the baseline.
//
// Like with like: the plain loop sleeps the way the loop does (a futex wait to an absolute
// deadline on the monotonic clock) and to the same instants (each next whole millisecond), so
// both make one system call per wake-up and wake equally often; what is left between them is what
// the loop does per wake-up. The machine is shared, so one long run of each after the other is at
// the mercy of whatever else runs meanwhile. The two run side by side instead, each on its own
// thread, in rounds; the median of the rounds' ratios is the figure, with the lowest and highest
// beside it. Each share is its thread's CPU time over wall time; wake-ups are its context
// switches.
//
// Usage: loop_bench [seconds per side, default 10] [rounds, default 5]
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "platform/loop/eventloop.h"

namespace {

struct Sample {
    double cpu = 0;   // s
    double wall = 0;  // s
    long wakes = 0;   // context switches of this thread
    double share() const { return wall > 0 ? cpu / wall : 0; }
    double wakesPerSecond() const { return wall > 0 ? static_cast<double>(wakes) / wall : 0; }
};

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long threadSwitches() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw + u.ru_nivcsw;
}

template <class F>
Sample measure(F&& run) {
    const long w0 = threadSwitches();
    const double c0 = threadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    Sample s;
    s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    s.cpu = threadCpuSeconds() - c0;
    s.wakes = threadSwitches() - w0;
    return s;
}

Sample total(const std::vector<Sample>& v) {
    Sample t;
    for (const auto& s : v) {
        t.cpu += s.cpu;
        t.wall += s.wall;
        t.wakes += s.wakes;
    }
    return t;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (!(seconds > 0) || rounds < 1) {
        std::fprintf(stderr, "usage: loop_bench [seconds per side > 0] [rounds >= 1]\n");
        return 2;
    }
    const double slice = seconds / rounds;

    auto plainLoop = [slice] {
        constexpr std::int64_t kMs = 1'000'000;
        std::atomic<std::uint32_t> word{0};  // nobody wakes it: each wait runs to its deadline
        const std::int64_t end = platform::RealClock::steadyNowNs() + static_cast<std::int64_t>(slice * 1e9);
        for (;;) {
            const std::int64_t now = platform::RealClock::steadyNowNs();
            if (now >= end) break;
            platform::RealClock::waitUntilNs(word, 0, (now / kMs + 1) * kMs);
        }
    };

    platform::EventLoop loop(std::make_unique<platform::RealClock>());
    platform::EventLoop::setCurrent(&loop);
    std::vector<std::unique_ptr<platform::LoopTimer>> timers;
    long ticks = 0;
    for (int i = 0; i < 14; ++i) {
        auto t = std::make_unique<platform::LoopTimer>([&ticks] { ++ticks; });
        t->setInterval(i < 6 ? 1 : 5);
        timers.push_back(std::move(t));
    }
    platform::LoopTimer stop([&] { loop.quit(); });
    stop.setInterval(static_cast<int>(slice * 1000));
    auto timerLoop = [&] {
        for (auto& t : timers) t->setEnabled(true);
        stop.setEnabled(true);
        loop.run();
        for (auto& t : timers) t->setEnabled(false);
        stop.setEnabled(false);
    };

    std::vector<Sample> base, withTimers;
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r) {
        Sample plain;
        std::thread other([&] { plain = measure(plainLoop); });
        withTimers.push_back(measure(timerLoop));
        other.join();
        base.push_back(plain);
        const double b = plain.share();
        ratios.push_back(b > 0 ? withTimers.back().share() / b : 0.0);
        std::printf("round %d: loop %.2f %% (%.0f wake-ups/s), plain 1 ms sleep loop %.2f %% (%.0f wake-ups/s), "
                    "ratio %.2f\n",
                    r + 1, withTimers.back().share() * 100, withTimers.back().wakesPerSecond(), b * 100,
                    plain.wakesPerSecond(), ratios.back());
    }

    const Sample tl = total(withTimers), tb = total(base);
    std::printf("loop with 6 x 1 ms and 8 x 5 ms timers for %.1f s: %ld ticks (%.0f a second, 7600 due)\n",
                tl.wall, ticks, static_cast<double>(ticks) / tl.wall);
    std::printf("wake-ups a second: loop %.0f, plain 1 ms sleep loop %.0f; CPU per wake-up: loop %.2f us, "
                "plain %.2f us\n",
                tl.wakesPerSecond(), tb.wakesPerSecond(), tl.wakes ? tl.cpu / tl.wakes * 1e6 : 0.0,
                tb.wakes ? tb.cpu / tb.wakes * 1e6 : 0.0);
    std::printf("CPU share of one core: loop %.2f %%, plain 1 ms sleep loop %.2f %% "
                "(ratio %.2f, median of %d rounds, spread %.2f to %.2f; target: at most 1.15)\n",
                tl.share() * 100, tb.share() * 100, median(ratios), rounds,
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    return 0;
}
