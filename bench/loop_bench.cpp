// The real-clock loop idling with the program's typical timer load: six 1 ms timers and eight
// 5 ms timers whose handlers do nothing. Prints the process CPU time as a share of wall time,
// beside the share of a plain 1 ms sleep loop measured in the same run as the baseline.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "platform/eventloop.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

template <class F>
double cpuShare(double seconds, F&& run) {
    const double c0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    run(seconds);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return (cpuSeconds() - c0) / wall;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    const double baseline = cpuShare(seconds, [](double s) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(s);
        while (std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });

    platform::EventLoop loop(std::make_unique<platform::RealClock>());
    platform::EventLoop::setCurrent(&loop);
    std::vector<std::unique_ptr<platform::LoopTimer>> timers;
    long ticks = 0;
    for (int i = 0; i < 14; ++i) {
        auto t = std::make_unique<platform::LoopTimer>([&ticks] { ++ticks; });
        t->setInterval(i < 6 ? 1 : 5);
        t->setEnabled(true);
        timers.push_back(std::move(t));
    }
    platform::LoopTimer stop([&] { loop.quit(); });
    stop.setInterval(static_cast<int>(seconds * 1000));
    stop.setEnabled(true);
    const double share = cpuShare(seconds, [&](double) { loop.run(); });

    std::printf("loop with 6 x 1 ms and 8 x 5 ms timers for %.1f s: %ld ticks\n", seconds, ticks);
    std::printf("CPU share of one core: loop %.2f %%, plain 1 ms sleep loop %.2f %% "
                "(ratio %.2f, target: at most 1.15)\n",
                share * 100,
                baseline * 100, baseline > 0 ? share / baseline : 0.0);
    return 0;
}
