// Sound files converted once: the 16-bit samples a file gives at a rate and channel count it
// does not have are kept in a cache folder, and the next open of the same file at the same rate
// and channel count reads them instead of converting again (libsamplerate's converter runs at
// not much more than a hundred times real time).
//
// - Folder: $XDG_CACHE_HOME/korvella, or ~/.cache/korvella; kept under limitBytes() by removing
//   the entries used least recently (an entry's modification time is its last use).
// - Key: the source's content (crc32 and size; of a large source, pieces spread over it) and
//   modification time, all taken from the open file the samples come from, the rate, the
//   channel count, the converter and the versions of libsamplerate and libsndfile. A changed
//   source never gets the old samples.
// - Only a regular file is read as an entry, and it is opened without waiting (a pipe of the
//   name is no entry). Its samples are checked block by block (kBlockFrames frames), each block
//   before any of it is delivered: the first sample never waits for a pass over the whole entry.
// - An entry is written to a temporary file and renamed when complete. Its header (magic, format
//   version, the full key, the frame count, checksums), its size and its table of block checksums
//   are checked before one sample is delivered: a short, corrupt or foreign file is ignored and
//   replaced by a new conversion, and so is one whose block turns out damaged when it is read.
// - A folder that cannot be written or a full disk only means no entry: the sound plays all the
//   same, and one line on standard error says so once per run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform::wave_file_cache {

// Empty when neither XDG_CACHE_HOME (absolute) nor HOME is set.
std::filesystem::path folder();

// Frames per checked block of an entry.
inline constexpr std::uint64_t kBlockFrames = 65536;

// 1 GiB unless set (tests set it small).
std::uintmax_t limitBytes();
void setLimitBytes(std::uintmax_t bytes);

// What identifies one conversion exactly.
struct Key {
    std::string text;  // stored in the entry and compared in full
    std::string name;  // the entry's file name in the folder
    std::uintmax_t sourceSize = 0;
    std::int64_t sourceTimeNs = 0;
};

// The key of the open source: its status and bytes are taken through the descriptor (position
// untouched), so that a file renamed over the name meanwhile cannot lend its key to these
// samples. A source up to kWholeSourceBytes is checksummed whole, a larger one by kSourcePieces
// pieces spread over it. Nothing when it cannot be read or changes while it is read.
inline constexpr std::uintmax_t kWholeSourceBytes = std::uintmax_t{64} << 20;
inline constexpr std::uintmax_t kSourcePieces = 16;
inline constexpr std::uintmax_t kSourcePieceBytes = std::uintmax_t{1} << 20;
std::optional<Key> keyFor(int fd, std::uint32_t rate, int channels);
// The same for the file at the path (opened as every file the program reads).
std::optional<Key> keyFor(const std::string& source, std::uint32_t rate, int channels);

// Whether the open source still has the size and time it had when the key was made.
bool sourceUnchanged(int fd, const Key& key);

// A complete, checked entry, read in order.
class Reader {
public:
    // Nothing when there is no entry for the key or it does not pass every check.
    static std::optional<Reader> open(const Key& key, int channels);
    Reader(Reader&& other) noexcept;
    Reader& operator=(Reader&&) = delete;
    ~Reader();

    // Up to `frames` frames; 0 at the end. False on a read failure.
    bool read(std::int16_t* out, std::size_t frames, std::size_t& got);

private:
    Reader(std::FILE* file, int channels, std::uint64_t frames, std::vector<std::uint32_t> table)
        : file_(file), channels_(channels), left_(frames), table_(std::move(table)) {}
    std::FILE* file_;
    int channels_;
    std::uint64_t left_;  // frames not yet read from the file
    std::vector<std::uint32_t> table_;
    std::size_t nextBlock_ = 0;
    std::vector<std::int16_t> block_;  // the checked block being delivered
    std::size_t pos_ = 0;
};

// A new entry, written to a temporary file next to its place and renamed into it by commit().
class Writer {
public:
    // Nothing when the folder cannot be made or written (noted once).
    static std::optional<Writer> begin(const Key& key, int channels);
    Writer(Writer&& other) noexcept;
    Writer& operator=(Writer&&) = delete;
    ~Writer();  // an entry not committed is removed

    // A failed write (a full disk) drops the entry; the caller goes on without it.
    void append(const std::int16_t* samples, std::size_t frames);
    bool failed() const { return failed_; }
    // Completes the entry and keeps the folder under its limit. False when it could not be kept.
    bool commit();

private:
    Writer(std::FILE* file, std::filesystem::path temp, std::filesystem::path target, std::string keyText,
           int channels)
        : file_(file), temp_(std::move(temp)), target_(std::move(target)), keyText_(std::move(keyText)),
          channels_(channels) {}
    void drop(const char* why);
    std::FILE* file_;
    std::filesystem::path temp_, target_;
    std::string keyText_;
    int channels_;
    std::uint64_t frames_ = 0;
    std::uint64_t blockFrames_ = 0;  // in the block being written
    std::uint32_t blockCrc_ = 0;
    std::vector<std::uint32_t> table_;
    bool failed_ = false;
};

// Removes the entries used least recently until the folder holds at most limitBytes(), and
// temporary files left by a run that ended while writing one.
void trim(const std::filesystem::path& dir);

}  // namespace platform::wave_file_cache
