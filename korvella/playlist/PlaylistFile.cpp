#include "korvella/playlist/PlaylistFile.h"

#include <algorithm>

#include "forms/conv.h"
#include "korvella/playlist/Form2.h"
#include "platform/storage/files.h"

namespace korvella::playlist {

bool isDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool startsStoredValue(const std::string& rest) {
    return rest.empty() || rest[0] == '\\' || platform::isAbsolutePath(rest);
}

namespace {

// The first split: the text before the first "_", the value up to a second one.
PlaylistRow firstSplit(const std::string& line) {
    const auto parts = vb::Split(line, "_");
    return {parts[0], parts[1]};
}

// A playlist line as command text and stored value. The "_" between them is not escaped, so the
// split goes where the value begins: a DMXControl row's index is the digits after the last "_";
// another row's value begins after the first "_" that a stored path or the line's end follows.
// A line that fits neither (edited by hand) splits at its first "_", up to a second one. So does
// a line that the first rule would leave without a value where the first split gives one ("x_7_"
// ends in "_" after a text that no entry has): such a line was not written by the editor.
PlaylistRow splitPlaylistLine(const std::string& line) {
    const std::size_t last = line.rfind('_');
    if (last == std::string::npos) return {line, ""};
    const std::string text = line.substr(0, last), index = line.substr(last + 1);
    if (vb::InStr(text, kDmxc) > 0 && !index.empty() && isDigits(index)) return {text, index};
    const PlaylistRow first = firstSplit(line);
    for (std::size_t at = line.find('_'); at != std::string::npos; at = line.find('_', at + 1))
        if (startsStoredValue(line.substr(at + 1))) {
            if (at + 1 == line.size() && !first.second.empty()) return first;
            return {line.substr(0, at), line.substr(at + 1)};
        }
    return first;
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
        if (stored.empty() || vb::InStr(text, kDmxc) > 0 || platform::isAbsolutePath(stored))
            rows.emplace_back(text, stored);
        else
            rows.emplace_back(text, folder + stored);
    }
    return rows;
}

}  // namespace korvella::playlist
