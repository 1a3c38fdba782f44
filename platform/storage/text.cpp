#include "platform/storage/text.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace platform {

namespace {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// One conversion handle per direction and thread (iconv handles carry state).
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible into out; returns false at a sequence it cannot convert,
    // with in/inLeft pointing at it.
    bool run(char*& in, std::size_t& inLeft, std::string& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            char chunk[4096];
            char* o = chunk;
            std::size_t oLeft = sizeof chunk;
            std::size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
            out.append(chunk, static_cast<std::size_t>(o - chunk));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

// The five bytes Windows-1252 leaves without a character.
bool isUnassigned(unsigned char b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

// Length of the UTF-8 sequence at s if it is well formed, else 1 (one bad byte).
std::size_t sequenceLength(const unsigned char* s, std::size_t left) {
    unsigned char lead = s[0];
    std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (lead >= 0xF5 || n > left) return 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((s[i] & 0xC0) != 0x80) return 1;
    return n;
}

} // namespace

std::string utf8ToCp1252(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    thread_local Converter conv("CP1252", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    std::string buffer(utf8);
    char* in = buffer.data();
    std::size_t inLeft = buffer.size();
    while (inLeft > 0) {
        if (conv.ok() && conv.run(in, inLeft, out)) break;
        // A character Windows-1252 cannot hold, or a broken sequence: one "?" for it.
        auto* u = reinterpret_cast<const unsigned char*>(in);
        std::size_t skip = sequenceLength(u, inLeft);
        if (!conv.ok() && skip == 1 && u[0] < 0x80) {
            out += *in;
        } else if (skip == 2 && u[0] == 0xC2 && isUnassigned(u[1])) {
            out += static_cast<char>(u[1]);  // back to the byte it came from
        } else {
            out += '?';
        }
        in += skip;
        inLeft -= skip;
    }
    return out;
}

bool cp1252Holds(std::string_view utf8) { return isAscii(utf8) || cp1252ToUtf8(utf8ToCp1252(utf8)) == utf8; }

std::size_t utf8PrefixBytes(std::string_view utf8, std::size_t maxUnits, std::size_t& units) {
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t at = 0;
    units = 0;
    while (at < utf8.size()) {
        const std::size_t n = sequenceLength(s + at, utf8.size() - at);
        const std::size_t u = n == 4 ? 2 : 1;
        if (units + u > maxUnits) break;
        units += u;
        at += n;
    }
    return at;
}

std::string cp1252ToUtf8(std::string_view cp1252) {
    if (isAscii(cp1252)) return std::string(cp1252);
    thread_local Converter conv("UTF-8", "CP1252");
    std::string out;
    out.reserve(cp1252.size() * 2);
    std::string buffer(cp1252);
    char* in = buffer.data();
    std::size_t inLeft = buffer.size();
    while (inLeft > 0) {
        if (conv.ok() && conv.run(in, inLeft, out)) break;
        // An unassigned byte (or no converter at all): the code point of the same number.
        auto b = static_cast<unsigned char>(*in);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
        ++in;
        --inLeft;
    }
    return out;
}

} // namespace platform
