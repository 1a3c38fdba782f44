// Walking an observer list while the observers may change it.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace platform {

// Calls f for each observer in the list as it stood at the start, so an observer that adds or
// removes observers while it is called changes neither who is called nor the walk. A short list
// is copied on the stack: this runs for every change of every control, and allocates nothing.
template <typename T, typename F>
void forEachObserver(const std::vector<T*>& list, F&& f) {
    constexpr std::size_t kOnStack = 8;
    const std::size_t n = list.size();
    if (n == 0) return;
    if (n == 1) {
        T* const only = list.front();
        f(only);
        return;
    }
    if (n <= kOnStack) {
        std::array<T*, kOnStack> copy;  // only the first n are read
        std::copy(list.begin(), list.end(), copy.begin());
        for (std::size_t i = 0; i < n; ++i) f(copy[i]);
        return;
    }
    for (T* o : std::vector<T*>(list)) f(o);
}

}  // namespace platform
