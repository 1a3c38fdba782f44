// The program's files and its folder.
//
// Paths are taken as the program writes them ("\" between folders); only the disk access maps
// them. Text files are 8-bit Windows-1252 with CR LF line ends; the program's strings are UTF-8.
// Failures throw VbError: 53 file not found, 61 disk full, 70 permission denied,
// 75 path/file access error, 76 path not found. A file is never left half-written in place of
// a good one: whole-file writes go to a temporary file beside it that then replaces it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The program's folder, without a trailing "/": $KORVELLA_HOME when set, else
// ~/.local/share/korvella. Created when missing (76 when that fails).
std::string appPath();

// The path as the disk knows it: every "\" becomes "/".
std::string diskPath(std::string_view path);

// A path that names its place without the program folder: "/..." or a drive ("C:\...", "C:/...").
bool isAbsolutePath(std::string_view path);

bool fileExists(std::string_view path);   // a file (not a folder) is there
bool dirExists(std::string_view path);

// 75 when something of that name exists, 76 when the parent folder is missing.
void mkDir(std::string_view path);

// No limit on what readTextLines and readFileBytes read.
inline constexpr std::size_t kAnySize = static_cast<std::size_t>(-1);

// The lines of a text file, converted to UTF-8. CR LF, a lone CR and a lone LF each end a
// line; a last line without an end still counts, an end at the very end adds no empty line.
// Missing file: 53; missing folder: 76; a folder, a pipe or a device: 75 (the reason in
// lastSystemReason()); a file of more than maxBytes: 7 ("File too large: ..."), nothing read.
std::vector<std::string> readTextLines(std::string_view path, std::size_t maxBytes = kAnySize);

// Opens a file to read by the rules of readTextLines, without ever waiting on the name: only a
// regular file of at most maxBytes, with the same errors and reasons ("is a pipe (FIFO), not a
// file"). Returns the descriptor (close-on-exec, reads as usual), which the caller closes. Every
// file the program reads is opened here.
int openFileForReading(std::string_view path, std::size_t maxBytes = kAnySize);

// Creates or replaces the file with each line + CR LF, in Windows-1252. Something there that is
// not a regular file (a folder, a pipe, a device) is left alone: 75, the reason in
// lastSystemReason (the same for writeFileBytes and appendTextLine).
void writeTextLines(std::string_view path, const std::vector<std::string>& lines);

// Adds one line + CR LF at the end, creating the file when missing. A failed write leaves
// the file as it was.
void appendTextLine(std::string_view path, std::string_view line);

std::vector<std::uint8_t> readFileBytes(std::string_view path, std::size_t maxBytes = kAnySize);
void writeFileBytes(std::string_view path, const std::vector<std::uint8_t>& bytes);

// The file list box's rows: names (without folder) of the files in folder matching any of the
// ";"-separated patterns ("*.swf;*.jpg"), "*" any run and "?" exactly one character,
// case-insensitive, "*.*" every file, "name.*" also "name". Hidden files (leading ".") and
// folders are left out; sorted case-insensitively. No 8.3 short names: "*.swf" does not match
// "x.swfx" ("*.swf*" does). An empty pattern list means "*.*". Missing folder: 76.
std::vector<std::string> listFiles(std::string_view folder, std::string_view patterns = "*.*");

// The folder list's rows: names of the visible subfolders, sorted case-insensitively.
std::vector<std::string> listDirs(std::string_view folder);

// Whether name matches one wildcard pattern by the rules of listFiles.
bool matchesPattern(std::string_view name, std::string_view pattern);

// The system's words for the last failure this thread's file calls raised ("No space left on
// device"), empty when the failure had none.
std::string lastSystemReason();

} // namespace platform
