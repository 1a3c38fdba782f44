// Little-endian byte and bit fields of a movie file. Reading past the end yields zeros and marks
// the reader as overrun, so a truncated record never reads outside its buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace player {

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool overrun() const { return overrun_; }
    std::size_t pos() const { return pos_; }
    std::size_t size() const { return size_; }
    std::size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }
    bool atEnd() const { return pos_ >= size_; }
    const std::uint8_t* here() const { return data_ + (pos_ < size_ ? pos_ : size_); }

    // Moves to the start of the next byte unless already there.
    void align() {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }

    std::uint8_t u8() {
        align();
        if (pos_ >= size_) {
            overrun_ = true;
            return 0;
        }
        return data_[pos_++];
    }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | (u8() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    void skip(std::size_t n) {
        align();
        if (n > remaining()) {
            overrun_ = true;
            pos_ = size_;
        } else {
            pos_ += n;
        }
    }
    // A zero-terminated string; a missing terminator ends it at the end of the data.
    std::string str() {
        align();
        std::string s;
        while (pos_ < size_ && data_[pos_] != 0) s.push_back(static_cast<char>(data_[pos_++]));
        if (pos_ < size_) ++pos_;
        return s;
    }

    // Unsigned bit field of n bits (0 to 32), most significant bit first.
    std::uint32_t ub(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (pos_ >= size_) {
                overrun_ = true;
                return 0;
            }
            v = (v << 1) | ((data_[pos_] >> (7 - bit_)) & 1u);
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return v;
    }
    // Signed (two's complement) bit field of n bits.
    std::int32_t sb(int n) {
        if (n <= 0) return 0;
        const std::uint32_t v = ub(n);
        if (n >= 32) return static_cast<std::int32_t>(v);
        const std::uint32_t sign = 1u << (n - 1);
        return static_cast<std::int32_t>((v ^ sign)) - static_cast<std::int32_t>(sign);
    }
    // 16.16 fixed-point bit field.
    double fb(int n) { return sb(n) / 65536.0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    int bit_ = 0;
    bool overrun_ = false;
};

}  // namespace player
