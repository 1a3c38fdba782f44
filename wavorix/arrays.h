// Checked array access as the library's arrays behave: an index outside the bounds, or any use
// of an array that has no bounds yet, raises 9 (subscript out of range). Zero-based arrays are
// plain vectors (an empty one has no bounds); the one-based ones (per-buffer records, headers,
// the sequence history) are OneBased.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/error.h"

namespace wavorix {

template <class T>
T& at(std::vector<T>& v, std::int64_t i) {
    if (i < 0 || i >= static_cast<std::int64_t>(v.size())) platform::raise(9);
    return v[static_cast<std::size_t>(i)];
}

template <class T>
const T& at(const std::vector<T>& v, std::int64_t i) {
    if (i < 0 || i >= static_cast<std::int64_t>(v.size())) platform::raise(9);
    return v[static_cast<std::size_t>(i)];
}

template <class T>
std::int32_t ubound(const std::vector<T>& v) {
    if (v.empty()) platform::raise(9);
    return static_cast<std::int32_t>(v.size()) - 1;
}

// ReDim v(0 To ub): contents lost.
template <class T>
void redim(std::vector<T>& v, std::int64_t ub) {
    if (ub < 0) platform::raise(9);
    v.assign(static_cast<std::size_t>(ub) + 1, T{});
}

// ReDim Preserve v(0 To ub).
template <class T>
void redimPreserve(std::vector<T>& v, std::int64_t ub) {
    if (ub < 0) platform::raise(9);
    v.resize(static_cast<std::size_t>(ub) + 1);
}

// Address of element i, checked that count elements from it lie inside the array (what a
// memory move from or to that element may touch).
template <class T>
T* span(std::vector<T>& v, std::int64_t i, std::int64_t count) {
    if (i < 0 || count < 0 || i + count > static_cast<std::int64_t>(v.size())) platform::raise(9);
    return v.data() + i;
}

template <class T>
class OneBased {
public:
    bool dimensioned() const { return dim_; }
    // ReDim a(1 To ub).
    void redim(std::int64_t ub) {
        if (ub < 1) platform::raise(9);
        v_.assign(static_cast<std::size_t>(ub), T{});
        dim_ = true;
    }
    void erase() {
        v_.clear();
        dim_ = false;
    }
    std::int32_t ubound() const {
        if (!dim_) platform::raise(9);
        return static_cast<std::int32_t>(v_.size());
    }
    T& operator()(std::int64_t i) {
        if (!dim_ || i < 1 || i > static_cast<std::int64_t>(v_.size())) platform::raise(9);
        return v_[static_cast<std::size_t>(i - 1)];
    }
    const T& operator()(std::int64_t i) const {
        if (!dim_ || i < 1 || i > static_cast<std::int64_t>(v_.size())) platform::raise(9);
        return v_[static_cast<std::size_t>(i - 1)];
    }
    std::vector<T>& items() { return v_; }
    const std::vector<T>& items() const { return v_; }

private:
    std::vector<T> v_;
    bool dim_ = false;
};

}  // namespace wavorix
