// The stopwatch on the high-resolution performance counter. The engine starts it once per Start;
// every reading moves the stop mark, never the start mark.
#pragma once
#include <cstdint>

namespace wavorix {

class clsXTimer {
public:
    clsXTimer();  // reads the counter's frequency; CPU clock 300 MHz

    void Calibrate();
    void Start();
    void StartTimer() { Start(); }
    void Stopp();
    void StopTimer() { Stopp(); }
    // Seconds from start to stop minus the calibrated overhead; never negative.
    double TimeElapsed() const;
    // MHz x 1e6 x t / n rounded half to even; n <= 0 counts as 1. On an error (a result beyond
    // 32 bits) a critical box titled "Cpu_ticks" shows the description, ": " and the number,
    // and the result is 0.
    std::int32_t CPU_ticks(double mhz, double n, double t);
    std::int32_t nCPU_ticks(double n);

    // A counter value as the two unsigned 32-bit halves make it.
    static double counterValue(std::uint32_t low, std::int32_t high);

    double frequency() const { return frequency_; }
    double overhead() const { return overhead_; }
    std::int32_t cpuClock() const { return cpuClock_; }

private:
    static double readCounter();
    double startCount_ = 0;
    double stopCount_ = 0;
    double frequency_ = 0;
    double overhead_ = 0;
    std::int32_t cpuClock_ = 300;
};

}  // namespace wavorix
