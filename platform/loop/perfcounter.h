// The high-resolution performance counter: nanoseconds of the loop's clock (the steady clock, or
// the virtual time in tests), at a fixed frequency of 1e9 counts per second.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

struct LARGE_INTEGER {
    std::int64_t QuadPart = 0;
    std::uint32_t LowPart() const { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(QuadPart)); }
    std::int32_t HighPart() const { return static_cast<std::int32_t>(static_cast<std::uint64_t>(QuadPart) >> 32); }
};

inline constexpr std::int64_t PERFORMANCE_FREQUENCY = 1'000'000'000;

// False only for a null pointer.
bool QueryPerformanceFrequency(LARGE_INTEGER* frequency);
bool QueryPerformanceCounter(LARGE_INTEGER* count);

// Tests: the counter reads this instead (empty: back to the clock).
void setPerformanceCounterSource(std::function<std::int64_t()> source);

}  // namespace platform
