// The line protocol between the program and korvella-relay.exe, which runs under Wine: both
// sides include this header (the relay is built by the cross compiler), so they cannot drift.
// Header only, standard library only.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace relay {

// Texts travel as "=" and the UTF-8 bytes, all but letters, digits and ".-_~" as %XX.
inline std::string encode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "=";
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
            c == '-' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The text of a token that encode made; nothing for anything else.
inline std::optional<std::string> decode(const std::string& token) {
    if (token.empty() || token[0] != '=') return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i < token.size(); ++i) {
        if (token[i] != '%') {
            out += token[i];
            continue;
        }
        if (i + 2 >= token.size() || hexDigit(token[i + 1]) < 0 || hexDigit(token[i + 2]) < 0) return std::nullopt;
        out += static_cast<char>(hexDigit(token[i + 1]) * 16 + hexDigit(token[i + 2]));
        i += 2;
    }
    return out;
}

// The messages whose parameters are numbers (or window handles), so that they mean the same in
// the other program; a message carrying an address of ours never travels. (The numbers are
// the window system's own.)
inline bool plainMessage(std::uint32_t msg) {
    switch (msg) {
    case 0x0201:  // WM_LBUTTONDOWN
    case 0x0202:  // WM_LBUTTONUP
    case 0x0111:  // WM_COMMAND
    case 0x00F0:  // BM_GETCHECK
    case 0x0100:  // WM_KEYDOWN
    case 0x0101:  // WM_KEYUP
    case 0x0010:  // WM_CLOSE
    case 0x000E:  // WM_GETTEXTLENGTH
        return true;
    default:
        return false;
    }
}

}  // namespace relay
