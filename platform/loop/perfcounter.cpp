#include "platform/loop/perfcounter.h"

#include <chrono>
#include <mutex>

#include "platform/loop/eventloop.h"

namespace platform {

namespace {
std::mutex g_mutex;
std::function<std::int64_t()> g_source;
}  // namespace

bool QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return false;
    frequency->QuadPart = PERFORMANCE_FREQUENCY;
    return true;
}

bool QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return false;
    {
        std::lock_guard lock(g_mutex);
        if (g_source) {
            count->QuadPart = g_source();
            return true;
        }
    }
    if (EventLoop* loop = EventLoop::currentOrNull()) {
        count->QuadPart = loop->nowNs();
    } else {
        count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    }
    return true;
}

void setPerformanceCounterSource(std::function<std::int64_t()> source) {
    std::lock_guard lock(g_mutex);
    g_source = std::move(source);
}

}  // namespace platform
