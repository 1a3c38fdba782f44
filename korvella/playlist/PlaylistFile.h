// The rows of a ".bpl" playlist file: one line per row, the row's text, "_", and its value with
// the program folder taken out (a path inside it becomes relative). The editor's "Speichere
// Playlist" and "Lade Playlist" read and write the file; these are its lines and rows.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace korvella::playlist {

// (text, value) of one row, as List1 and List2 hold them.
using PlaylistRow = std::pair<std::string, std::string>;

bool isDigits(const std::string& text);
// Whether a stored value can begin at rest: a path relative to the program folder ("\..."), an
// absolute one, or the end of the line.
bool startsStoredValue(const std::string& rest);

// The lines of a file for these rows, every occurrence of folder taken out of each value.
std::vector<std::string> playlistLines(const std::vector<PlaylistRow>& rows, const std::string& folder);

// The rows of a file's lines. A line is split where its stored value begins (see the .cpp), with
// folder put back in front of a stored relative path (not of a DMXControl index, an empty value or
// an absolute path).
// Blank lines are left out; a line without "_" is a row without a value.
std::vector<PlaylistRow> playlistRows(const std::vector<std::string>& lines, const std::string& folder);

}  // namespace korvella::playlist
