#include "wavorix/xtimer.h"

#include <cmath>
#include <string>

#include "platform/windows/dialogs.h"
#include "platform/error.h"
#include "platform/loop/perfcounter.h"
#include "wavorix/state.h"

namespace wavorix {

double clsXTimer::counterValue(std::uint32_t low, std::int32_t high) {
    return static_cast<double>(static_cast<std::uint32_t>(high)) * 4294967296.0 + static_cast<double>(low);
}

double clsXTimer::readCounter() {
    platform::LARGE_INTEGER c;
    platform::QueryPerformanceCounter(&c);
    return counterValue(c.LowPart(), c.HighPart());
}

clsXTimer::clsXTimer() {
    platform::LARGE_INTEGER f;
    platform::QueryPerformanceFrequency(&f);
    frequency_ = counterValue(f.LowPart(), f.HighPart());
    cpuClock_ = 300;
}

void clsXTimer::Calibrate() {
    startCount_ = readCounter();
    stopCount_ = readCounter();
    overhead_ = frequency_ > 0 ? (stopCount_ - startCount_) / frequency_ : 0;
}

void clsXTimer::Start() { startCount_ = readCounter(); }

void clsXTimer::Stopp() { stopCount_ = readCounter(); }

double clsXTimer::TimeElapsed() const {
    if (frequency_ <= 0) return 0;
    const double t = (stopCount_ - startCount_) / frequency_ - overhead_;
    return t < 0 ? 0 : t;
}

std::int32_t clsXTimer::CPU_ticks(double mhz, double n, double t) {
    try {
        if (n <= 0) n = 1;
        const double r = std::nearbyint(mhz * 1000000.0 * t / n);
        if (!(r >= -2147483648.0 && r <= 2147483647.0)) platform::raise(6);
        return static_cast<std::int32_t>(r);
    } catch (const platform::VbError& e) {
        engine().lastError = e.description();
        platform::dialogs().msgBox(e.description() + ": " + std::to_string(e.number()), platform::MB_ICONCRITICAL,
                                   "Cpu_ticks");
        return 0;
    }
}

std::int32_t clsXTimer::nCPU_ticks(double n) { return CPU_ticks(cpuClock_, n, TimeElapsed()); }

}  // namespace wavorix
