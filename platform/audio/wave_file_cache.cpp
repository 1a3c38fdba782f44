#include "platform/audio/wave_file_cache.h"

#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/error.h"
#include "platform/storage/files.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform::wave_file_cache {

namespace fs = std::filesystem;

namespace {

// Bumped whenever what the device makes of a file changes (mixing, 16-bit rounding, layout).
constexpr std::uint32_t kFormatVersion = 2;
constexpr char kMagic[8] = {'K', 'V', 'C', 'O', 'N', 'V', '1', '6'};
constexpr const char* kExtension = ".k16";
// A temporary file this old was left by a run that ended while writing it.
constexpr auto kStaleTemp = std::chrono::hours(1);

std::atomic<std::uintmax_t> gLimit{std::uintmax_t{1} << 30};

// Once per run: the first reason the cache cannot be written.
void noteOnce(const std::string& why) {
    static std::atomic_flag said = ATOMIC_FLAG_INIT;
    if (!said.test_and_set()) std::fprintf(stderr, "korvella: converted sound files are not kept: %s\n", why.c_str());
}

std::uint32_t crc(std::uint32_t c, const void* data, std::size_t n) {
    return static_cast<std::uint32_t>(crc32_z(c, static_cast<const Bytef*>(data), n));
}

void put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void put64(std::string& s, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::uint64_t get(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// The header: magic, format version, key length, key, channels, frames, the crc32 of the block
// table, and the crc32 of everything before it. The samples follow it, then the table: the crc32
// of each block of kBlockFrames frames (the last one shorter), so that a block is checked before
// any of it is delivered and the first one without reading the whole entry.
std::string header(const std::string& keyText, int channels, std::uint64_t frames, std::uint32_t tableCrc) {
    std::string h(kMagic, sizeof kMagic);
    put32(h, kFormatVersion);
    put32(h, static_cast<std::uint32_t>(keyText.size()));
    h += keyText;
    put32(h, static_cast<std::uint32_t>(channels));
    put64(h, frames);
    put32(h, tableCrc);
    put32(h, crc(0, h.data(), h.size()));
    return h;
}

std::uint64_t blocksOf(std::uint64_t frames) { return (frames + kBlockFrames - 1) / kBlockFrames; }

bool isEntryName(const std::string& n) {
    return n.size() == 16 + std::strlen(kExtension) && n.compare(16, std::string::npos, kExtension) == 0 &&
           std::all_of(n.begin(), n.begin() + 16, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}
bool isTempName(const std::string& n) {
    const std::size_t dot = 16 + std::strlen(kExtension);
    return n.size() == dot + 7 && n[dot] == '.' && isEntryName(n.substr(0, dot));
}

}  // namespace

fs::path folder() {
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x == '/') return fs::path(x) / "korvella";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".cache" / "korvella";
    return {};
}

std::uintmax_t limitBytes() { return gLimit.load(); }
void setLimitBytes(std::uintmax_t bytes) { gLimit.store(bytes); }

namespace {

std::int64_t timeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Up to n bytes at offset through the descriptor (its position untouched); false on a failure.
bool readAt(int fd, unsigned char* buf, std::size_t n, std::uintmax_t offset, std::size_t& got) {
    got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buf + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

// The crc32 of `bytes` bytes from offset; false on a read failure or a short file.
bool crcOfRange(int fd, std::uintmax_t offset, std::uintmax_t bytes, std::vector<unsigned char>& buf,
                std::uint32_t& sum) {
    while (bytes > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uintmax_t>(bytes, buf.size()));
        std::size_t got = 0;
        if (!readAt(fd, buf.data(), n, offset, got) || got != n) return false;
        sum = crc(sum, buf.data(), n);
        offset += n;
        bytes -= n;
    }
    return true;
}

}  // namespace

std::optional<Key> keyFor(int fd, std::uint32_t rate, int channels) {
    struct stat before {};
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) return std::nullopt;
    const auto size = static_cast<std::uintmax_t>(before.st_size);
    std::vector<unsigned char> buf(std::size_t{1} << 20);
    std::uint32_t sum = 0;
    char what[64];
    if (size <= kWholeSourceBytes) {
        if (!crcOfRange(fd, 0, size, buf, sum)) return std::nullopt;
        // Nothing after the measured end: the file did not grow meanwhile.
        std::size_t extra = 0;
        if (!readAt(fd, buf.data(), 1, size, extra) || extra != 0) return std::nullopt;
        std::snprintf(what, sizeof what, "crc32=%08x", sum);
    } else {
        // Pieces spread from its first byte to its last: the first sample need not wait for a
        // pass over gigabytes; an edit shows in the modification time, the size or the pieces.
        const std::uintmax_t step = (size - kSourcePieceBytes) / (kSourcePieces - 1);
        for (std::uintmax_t i = 0; i < kSourcePieces; ++i)
            if (!crcOfRange(fd, i * step, kSourcePieceBytes, buf, sum)) return std::nullopt;
        std::snprintf(what, sizeof what, "crc32 of %ju pieces=%08x", kSourcePieces, sum);
    }
    Key k;
    k.sourceSize = size;
    k.sourceTimeNs = timeNs(before);
    if (!sourceUnchanged(fd, k)) return std::nullopt;
    char line[200];
    std::snprintf(line, sizeof line, "source %s size=%ju mtime=%lld\nrate=%u channels=%d\n", what, size,
                  static_cast<long long>(k.sourceTimeNs), rate, channels);
    k.text = line;
    k.text += "converter=SINC_FASTEST ";
    k.text += src_get_version();
    k.text += "\nreader=";
    k.text += sf_version_string();
    k.text += std::endian::native == std::endian::little ? "\nsamples=s16le" : "\nsamples=s16be";
    k.text += " mixed by average, rounded as src_float_to_short_array\n";
    std::snprintf(line, sizeof line, "%08x%08x", crc(0, k.text.data(), k.text.size()),
                  static_cast<std::uint32_t>(adler32(1, reinterpret_cast<const Bytef*>(k.text.data()),
                                                     static_cast<uInt>(k.text.size()))));
    k.name = std::string(line) + kExtension;
    return k;
}

std::optional<Key> keyFor(const std::string& source, std::uint32_t rate, int channels) {
    int fd = -1;
    try {
        fd = openFileForReading(source);
    } catch (const VbError&) {
        return std::nullopt;
    }
    std::optional<Key> k = keyFor(fd, rate, channels);
    ::close(fd);
    return k;
}

bool sourceUnchanged(int fd, const Key& key) {
    struct stat now {};
    return ::fstat(fd, &now) == 0 && static_cast<std::uintmax_t>(now.st_size) == key.sourceSize &&
           timeNs(now) == key.sourceTimeNs;
}

// ---- Reader ---------------------------------------------------------------------------------

std::optional<Reader> Reader::open(const Key& key, int channels) {
    const fs::path dir = folder();
    if (dir.empty()) return std::nullopt;
    // Only a regular file, opened without waiting: a pipe at the entry's name must not hold the
    // sound (and the program waiting for it) for ever.
    int fd = -1;
    try {
        fd = openFileForReading((dir / key.name).string());
    } catch (const VbError&) {
        return std::nullopt;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return std::nullopt;
    }
    auto reject = [&] {
        std::fclose(f);
        return std::nullopt;
    };
    // Everything up to the key, then the key, then the rest of the header.
    unsigned char head[16];
    if (std::fread(head, 1, sizeof head, f) != sizeof head || std::memcmp(head, kMagic, sizeof kMagic) != 0 ||
        get(head + 8, 4) != kFormatVersion || get(head + 12, 4) != key.text.size())
        return reject();
    std::string text(key.text.size(), '\0');
    unsigned char tail[20];
    if (std::fread(text.data(), 1, text.size(), f) != text.size() || text != key.text ||
        std::fread(tail, 1, sizeof tail, f) != sizeof tail)
        return reject();
    const auto fileChannels = static_cast<int>(get(tail, 4));
    const std::uint64_t frames = get(tail + 4, 8);
    const auto tableCrc = static_cast<std::uint32_t>(get(tail + 12, 4));
    // The header as it would be written with these values: its checksum is the stored one.
    const std::string expected = header(key.text, fileChannels, frames, tableCrc);
    struct stat st {};
    if (fileChannels != channels || std::memcmp(tail + 16, expected.data() + expected.size() - 4, 4) != 0 ||
        frames > (std::uint64_t{1} << 40) || ::fstat(::fileno(f), &st) != 0 ||
        static_cast<std::uint64_t>(st.st_size) !=
            expected.size() + frames * static_cast<std::uint64_t>(channels) * 2 + blocksOf(frames) * 4)
        return reject();
    // The block table before any sample.
    std::vector<unsigned char> raw(static_cast<std::size_t>(blocksOf(frames)) * 4);
    if (std::fseek(f, static_cast<long>(st.st_size - static_cast<off_t>(raw.size())), SEEK_SET) != 0 ||
        std::fread(raw.data(), 1, raw.size(), f) != raw.size() || crc(0, raw.data(), raw.size()) != tableCrc ||
        std::fseek(f, static_cast<long>(expected.size()), SEEK_SET) != 0)
        return reject();
    std::vector<std::uint32_t> table(raw.size() / 4);
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint32_t>(get(raw.data() + 4 * i, 4));
    ::futimens(::fileno(f), nullptr);  // its last use, for trimming
    return Reader(f, channels, frames, std::move(table));
}

Reader::Reader(Reader&& other) noexcept
    : file_(other.file_), channels_(other.channels_), left_(other.left_), table_(std::move(other.table_)),
      nextBlock_(other.nextBlock_), block_(std::move(other.block_)), pos_(other.pos_) {
    other.file_ = nullptr;
}

Reader::~Reader() {
    if (file_) std::fclose(file_);
}

bool Reader::read(std::int16_t* out, std::size_t frames, std::size_t& got) {
    got = 0;
    const auto ch = static_cast<std::size_t>(channels_);
    while (got < frames) {
        if (pos_ == block_.size()) {
            // The next block, whole and checked.
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockFrames, left_));
            if (n == 0) return true;
            block_.resize(n * ch);
            pos_ = 0;
            if (std::fread(block_.data(), sizeof(std::int16_t) * ch, n, file_) != n ||
                crc(0, block_.data(), block_.size() * sizeof(std::int16_t)) != table_[nextBlock_]) {
                block_.clear();
                return false;
            }
            ++nextBlock_;
            left_ -= n;
        }
        const std::size_t take = std::min(frames - got, (block_.size() - pos_) / ch);
        std::memcpy(out + got * ch, block_.data() + pos_, take * ch * sizeof(std::int16_t));
        pos_ += take * ch;
        got += take;
    }
    return true;
}

// ---- Writer ---------------------------------------------------------------------------------

std::optional<Writer> Writer::begin(const Key& key, int channels) {
    const fs::path dir = folder();
    if (dir.empty()) return std::nullopt;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        noteOnce(dir.string() + ": " + ec.message());
        return std::nullopt;
    }
    std::string tmpl = (dir / (key.name + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        noteOnce(dir.string() + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        return std::nullopt;
    }
    Writer w(f, tmpl, dir / key.name, key.text, channels);
    // The header's place, filled in by commit.
    const std::string h = header(key.text, channels, 0, 0);
    if (std::fwrite(h.data(), 1, h.size(), f) != h.size()) w.drop("write failed");
    return w;
}

Writer::Writer(Writer&& other) noexcept
    : file_(other.file_), temp_(std::move(other.temp_)), target_(std::move(other.target_)),
      keyText_(std::move(other.keyText_)), channels_(other.channels_), frames_(other.frames_),
      blockFrames_(other.blockFrames_), blockCrc_(other.blockCrc_), table_(std::move(other.table_)),
      failed_(other.failed_) {
    other.file_ = nullptr;
    other.failed_ = true;
}

Writer::~Writer() { drop(nullptr); }

void Writer::drop(const char* why) {
    if (why && !failed_) noteOnce(temp_.parent_path().string() + ": " + why);
    failed_ = true;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void Writer::append(const std::int16_t* samples, std::size_t frames) {
    if (failed_ || frames == 0) return;
    const std::size_t bytes = frames * static_cast<std::size_t>(channels_) * sizeof(std::int16_t);
    if (std::fwrite(samples, 1, bytes, file_) != bytes) return drop(std::strerror(errno));
    frames_ += frames;
    const auto ch = static_cast<std::size_t>(channels_);
    while (frames > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(frames, kBlockFrames - blockFrames_));
        blockCrc_ = crc(blockCrc_, samples, n * ch * sizeof(std::int16_t));
        samples += n * ch;
        frames -= n;
        blockFrames_ += n;
        if (blockFrames_ == kBlockFrames) {
            table_.push_back(blockCrc_);
            blockCrc_ = 0;
            blockFrames_ = 0;
        }
    }
}

bool Writer::commit() {
    if (failed_) return false;
    if (blockFrames_ > 0) table_.push_back(blockCrc_);
    std::string table;
    for (std::uint32_t c : table_) put32(table, c);
    const std::string h = header(keyText_, channels_, frames_, crc(0, table.data(), table.size()));
    if (std::fwrite(table.data(), 1, table.size(), file_) != table.size() || std::fflush(file_) != 0 ||
        std::fseek(file_, 0, SEEK_SET) != 0 ||
        std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
        drop(std::strerror(errno));
        return false;
    }
    std::FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0) {
        failed_ = true;
        noteOnce(temp_.parent_path().string() + ": " + std::strerror(errno));
        std::error_code ec;
        fs::remove(temp_, ec);
        return false;
    }
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) {
        failed_ = true;
        noteOnce(target_.string() + ": " + ec.message());
        fs::remove(temp_, ec);
        return false;
    }
    failed_ = true;  // done: nothing more to remove
    trim(target_.parent_path());
    return true;
}

void trim(const fs::path& dir) {
    struct Entry {
        fs::path path;
        std::uintmax_t size;
        fs::file_time_type used;
    };
    std::vector<Entry> entries;
    std::uintmax_t total = 0;
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code e;
        if (!it->is_regular_file(e)) continue;
        const auto time = it->last_write_time(e);
        if (e) continue;
        if (isTempName(name)) {
            if (now - time > kStaleTemp) fs::remove(it->path(), e);
        } else if (isEntryName(name)) {
            const std::uintmax_t size = it->file_size(e);
            if (e) continue;
            entries.push_back({it->path(), size, time});
            total += size;
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.used < b.used; });
    for (const Entry& e : entries) {
        if (total <= limitBytes()) break;
        std::error_code r;
        if (fs::remove(e.path, r)) total -= e.size;
    }
}

}  // namespace platform::wave_file_cache
