#include "korvella/playlist/PlaylistFile.h"

#include <algorithm>
#include <cctype>

#include "forms/conv.h"
#include "korvella/playlist/Form2.h"

namespace korvella::playlist {

bool isAbsolute(const std::string& value) {
    if (!value.empty() && value[0] == '/') return true;
    return value.size() >= 3 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == ':' &&
           (value[2] == '\\' || value[2] == '/');
}

bool isDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool startsStoredValue(const std::string& rest) { return rest.empty() || rest[0] == '\\' || isAbsolute(rest); }

namespace {

// A playlist line as command text and stored value. The "_" between them is not escaped, so the
// split goes where the value begins: a DMXControl row's index is the digits after the last "_";
// another row's value begins after the first "_" that a stored path or the line's end follows.
// A line that fits neither (edited by hand) splits at its first "_", up to a second one.
PlaylistRow splitPlaylistLine(const std::string& line) {
    const std::size_t last = line.rfind('_');
    if (last == std::string::npos) return {line, ""};
    const std::string text = line.substr(0, last), index = line.substr(last + 1);
    if (vb::InStr(text, kDmxc) > 0 && isDigits(index)) return {text, index};
    for (std::size_t at = line.find('_'); at != std::string::npos; at = line.find('_', at + 1))
        if (startsStoredValue(line.substr(at + 1))) return {line.substr(0, at), line.substr(at + 1)};
    const auto parts = vb::Split(line, "_");
    return {parts[0], parts[1]};
}

}  // namespace

std::vector<std::string> playlistLines(const std::vector<PlaylistRow>& rows, const std::string& folder) {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const auto& [text, value] : rows) lines.push_back(text + "_" + vb::Replace(value, folder, ""));
    return lines;
}

std::vector<PlaylistRow> playlistRows(const std::vector<std::string>& lines, const std::string& folder) {
    std::vector<PlaylistRow> rows;
    for (const std::string& line : lines) {
        // A line without "_" (edited by hand): blank lines are dropped, text is kept without a value.
        if (line.empty()) continue;
        const auto [text, stored] = splitPlaylistLine(line);
        if (stored.empty() || vb::InStr(text, kDmxc) > 0 || isAbsolute(stored))
            rows.emplace_back(text, stored);
        else
            rows.emplace_back(text, folder + stored);
    }
    return rows;
}

}  // namespace korvella::playlist
