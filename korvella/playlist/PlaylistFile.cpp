#include "korvella/playlist/PlaylistFile.h"

#include <cctype>

#include "forms/conv.h"
#include "korvella/playlist/Form2.h"

namespace korvella::playlist {

namespace {

// A stored value that is already absolute (a path outside the program folder) stays as it is.
bool isAbsolute(const std::string& value) {
    if (!value.empty() && value[0] == '/') return true;
    return value.size() >= 3 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == ':' &&
           (value[2] == '\\' || value[2] == '/');
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
        const auto parts = vb::Split(line, "_");
        const std::string& text = parts[0];
        const std::string stored = parts.size() > 1 ? parts[1] : std::string();
        if (stored.empty() || vb::InStr(text, kDmxc) > 0 || isAbsolute(stored))
            rows.emplace_back(text, stored);
        else
            rows.emplace_back(text, folder + stored);
    }
    return rows;
}

}  // namespace korvella::playlist
