#include "korvella/main/Warten.h"

#include "platform/loop/eventloop.h"

namespace korvella {

void WartenMs(double Milliseconds, std::int32_t /*Flag*/, std::int32_t SliceMs) {
    auto& loop = platform::EventLoop::current();
    // Elapsed time on the monotonic clock, so a wait across midnight lasts its own length.
    const double seconds = Milliseconds / 1000.0;
    const std::int64_t t0 = loop.nowNs();
    auto elapsed = [&] { return static_cast<double>(loop.nowNs() - t0) / 1e9; };
    if (elapsed() >= seconds) return;
    do {
        if (SliceMs > 0) loop.sleepMs(SliceMs);
        loop.doEvents();
    } while (elapsed() < seconds);
}

}  // namespace korvella
