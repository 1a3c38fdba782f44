// Converted sound files kept in the cache folder: a second open delivers the kept samples, equal
// to the conversion bit for bit; a changed source, a damaged entry or one left half-written is
// never taken; a folder that cannot be written or a full disk still plays; the folder stays
// under its limit by dropping what was used least recently.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <utility>

#include "platform/audio/wave_file_cache.h"
#include "wave_file_fixture.h"

using namespace wave_file_test;
namespace cache = platform::wave_file_cache;

namespace {

std::string bytesOf(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class WaveFileCacheTest : public WaveFileFixture {
protected:
    void TearDown() override {
        cache::setLimitBytes(std::uintmax_t{1} << 30);
        WaveFileFixture::TearDown();
    }

    fs::path cacheDir() const { return dir / "cache" / "korvella"; }

    // The names in the cache folder, entries and anything else.
    std::set<std::string> cached() const {
        std::set<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(cacheDir(), ec), end; !ec && it != end; it.increment(ec))
            names.insert(it->path().filename().string());
        return names;
    }

    fs::path entryFor(const std::string& path, int channels) const {
        const auto key = cache::keyFor(path, kRate, channels);
        EXPECT_TRUE(key.has_value()) << path;
        return key ? cacheDir() / key->name : fs::path();
    }

    // The file's samples, and the silence after them, through the capture calls.
    void expectConversion(const std::string& path, int channels) {
        SCOPED_TRACE(path + " in " + std::to_string(channels) + " channel(s)");
        expectReference(path, channels);
    }

    std::string mono44(const std::string& name, std::size_t frames, std::uint32_t seed) {
        return write(name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, content(frames, 1, seed));
    }
};

}  // namespace

// Rate conversion and channel mixing alike: the first open converts and keeps, the second reads
// what was kept, and both are the one-shot conversion exactly. The kept samples are what the
// second open delivers: an entry written in their place with other samples comes out as such.
TEST_F(WaveFileCacheTest, ASecondOpenDeliversTheKeptSamplesEqualToTheConversion) {
    struct Case {
        const char* name;
        int format, fileChannels, rate, channels;
    };
    const Case cases[] = {
        {"m44.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 1},
        {"s48.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 1},
        {"s48b.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 2},
        {"m22.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 22050, 2},
        {"s50.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 50000, 1},  // mixed only
    };
    std::uint32_t seed = 3;
    for (const Case& c : cases) {
        const std::string path = write(c.name, c.format, c.fileChannels, c.rate, content(40000 + seed, c.fileChannels, seed));
        ++seed;
        const fs::path entry = entryFor(path, c.channels);
        EXPECT_FALSE(fs::exists(entry)) << c.name;
        expectConversion(path, c.channels);
        ASSERT_TRUE(fs::exists(entry)) << c.name;
        const std::string kept = bytesOf(entry);
        expectConversion(path, c.channels);
        EXPECT_TRUE(bytesOf(entry) == kept) << c.name << ": a hit leaves the entry as it was";
    }
    EXPECT_EQ(cached().size(), std::size(cases)) << "one entry per conversion, no temporary files left";

    // In place of the kept samples, others with the same key: the device delivers those.
    const std::string path = mono44("marked.wav", 5000, 77);
    expectConversion(path, 1);
    const auto key = cache::keyFor(path, kRate, 1);
    ASSERT_TRUE(key);
    const std::vector<std::int16_t> marked(reference(path, 1).size(), 1234);
    auto w = cache::Writer::begin(*key, 1);
    ASSERT_TRUE(w);
    w->append(marked.data(), marked.size());
    ASSERT_TRUE(w->commit());
    const std::vector<std::int16_t> got = capture(path, 1, marked.size() + 100);
    EXPECT_TRUE(std::equal(marked.begin(), marked.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.end() - 100, got.end(), [](std::int16_t s) { return s == 0; }));
}

// Files that need no conversion are read as they are, and a looping file is converted as it plays
// (its conversion runs on over the end into the start): neither leaves an entry.
TEST_F(WaveFileCacheTest, NothingIsKeptForAFileAtTheAskedFormatOrAFileThatLoops) {
    expectConversion(write("m50.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 50000, content(9000, 1, 2)), 1);
    const std::string looped = mono44("loop.wav", 3000, 5);
    const std::vector<std::int16_t> once = reference(looped, 1);
    const std::vector<std::int16_t> got = capture(looped, 1, once.size() * 3, true);
    EXPECT_EQ(std::vector<std::int16_t>(got.begin(), got.begin() + 1000),
              std::vector<std::int16_t>(once.begin(), once.begin() + 1000));
    EXPECT_NE(got[once.size() + 500], 0) << "the file plays again";
    EXPECT_TRUE(cached().empty());
}

// The same path with new content gets new samples: the same length with the old modification
// time put back, another length, and the same content touched.
TEST_F(WaveFileCacheTest, AChangedSourceNeverGetsTheOldSamples) {
    const std::string path = mono44("track.wav", 20000, 1);
    expectConversion(path, 1);
    const auto oldTime = fs::last_write_time(path);

    mono44("track.wav", 20000, 2);
    fs::last_write_time(path, oldTime);
    expectConversion(path, 1);

    mono44("track.wav", 20011, 2);
    expectConversion(path, 1);

    fs::last_write_time(path, oldTime - std::chrono::hours(5));
    expectConversion(path, 1);
    // A hit on the last of them.
    const std::string kept = bytesOf(entryFor(path, 1));
    expectConversion(path, 1);
    EXPECT_TRUE(bytesOf(entryFor(path, 1)) == kept);
}

// A file renamed over the track's name after the device opened it and before its key was taken
// (an editor's atomic save): the samples and the key both come from the file that was opened, so
// the new file is converted afresh and never plays the old track.
TEST_F(WaveFileCacheTest, AFileRenamedOverTheNameBeforeTheKeyNeverGetsTheOldSamples) {
    const std::string path = mono44("track.wav", 20000, 21);
    const std::string newer = mono44("newer.wav", 20000, 22);
    const std::vector<std::int16_t> oldSamples = reference(path, 1), newSamples = reference(newer, 1);
    ASSERT_NE(oldSamples, newSamples);
    bool renamed = false;
    platform::setSoundFileKeyHook([&] {
        if (!std::exchange(renamed, true)) {
            ASSERT_EQ(std::rename(newer.c_str(), path.c_str()), 0);
        }
    });
    const std::vector<std::int16_t> got = capture(path, 1, oldSamples.size() + 100);
    platform::setSoundFileKeyHook(nullptr);
    ASSERT_TRUE(renamed);
    EXPECT_TRUE(std::equal(oldSamples.begin(), oldSamples.end(), got.begin())) << "the opened file plays";
    EXPECT_EQ(reference(path, 1), newSamples);
    expectConversion(path, 1);  // twice: converted, then from its own entry
    expectConversion(path, 1);
}

// A converter that gives nothing (a disk that hangs under it): the capture is held at most a few
// seconds once, gets silence meanwhile and says so, and never waits for ever.
TEST_F(WaveFileCacheTest, ACaptureNeverWaitsForEverOnTheConverter) {
    const std::string path = mono44("track.wav", 20000, 23);
    platform::setSoundFileKeyHook([] { std::this_thread::sleep_for(std::chrono::seconds(4)); });
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::int16_t> got = capture(path, 1, 20 * kFrames);
    const auto waited = std::chrono::steady_clock::now() - start;
    const std::string said = testing::internal::GetCapturedStderr();
    platform::setSoundFileKeyHook(nullptr);
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_NE(said.find("samples late, silence meanwhile"), std::string::npos) << said;
    EXPECT_LT(waited, std::chrono::seconds(10));
}

// A source of gigabytes is keyed by pieces spread over it, not read whole before its first
// sample (the bytes this process read, as the kernel counts them).
TEST_F(WaveFileCacheTest, ALargeSourceIsKeyedWithoutReadingItWhole) {
    const fs::path big = dir / "big.wav";
    putBytes(big, "RIFF");
    fs::resize_file(big, std::uintmax_t{3} << 30);  // sparse
    auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        std::string name;
        std::uintmax_t value = 0;
        while (io >> name >> value)
            if (name == "rchar:") return value;
        return std::uintmax_t{0};
    };
    const std::uintmax_t before = bytesRead();
    const auto key = cache::keyFor(big.string(), kRate, 1);
    const std::uintmax_t read = bytesRead() - before;
    ASSERT_TRUE(key);
    EXPECT_LE(read, cache::kSourcePieces * cache::kSourcePieceBytes + (std::uintmax_t{1} << 20));
    EXPECT_NE(key->text.find("size=3221225472"), std::string::npos) << key->text;
}

// Damaged entries of every kind are ignored: the file is converted again and the entry replaced
// by a good one, which the next open takes. A damaged second block shows only when it is reached:
// the conversion takes over from there, not one damaged sample delivered.
TEST_F(WaveFileCacheTest, ACorruptShortOrForeignEntryIsIgnoredAndReplaced) {
    const std::string path = mono44("track.wav", 70000, 8);
    expectConversion(path, 1);
    const fs::path entry = entryFor(path, 1);
    const std::string good = bytesOf(entry);
    ASSERT_GT(good.size(), 1000u);
    const std::size_t frames = reference(path, 1).size();
    const std::size_t table = 4 * ((frames + cache::kBlockFrames - 1) / cache::kBlockFrames);
    const std::size_t header = good.size() - frames * 2 - table;
    ASSERT_EQ(table, 8u) << "two blocks";

    auto flipped = [&](std::size_t at) {
        std::string b = good;
        b[at] = static_cast<char>(b[at] ^ 0x40);
        return b;
    };
    const std::pair<const char*, std::string> damaged[] = {
        {"a sample of the second block changed", flipped(good.size() - table - 7)},
        {"a block checksum changed", flipped(good.size() - 1)},
        {"the first sample changed", flipped(header)},
        {"the magic changed", flipped(0)},
        {"the format version changed", flipped(8)},
        {"the key changed", flipped(30)},
        {"the frame count changed", flipped(header - 12)},
        {"the header checksum changed", flipped(header - 1)},
        {"cut short", good.substr(0, good.size() - 2)},
        {"cut inside the header", good.substr(0, header / 2)},
        {"longer", good + std::string(2, '\0')},
        {"empty", std::string()},
        {"a sound file", bytesOf(path)},
        {"text", std::string(good.size(), 'x')},
    };
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        putBytes(entry, bytes);
        expectConversion(path, 1);
        EXPECT_TRUE(bytesOf(entry) == good) << "replaced by a good entry";
    }
    // A folder in the entry's place cannot be replaced: the file still plays.
    fs::remove(entry);
    fs::create_directories(entry / "x");
    expectConversion(path, 1);
    EXPECT_TRUE(fs::is_directory(entry));
}

// A run that ends while writing leaves only a temporary file: never taken for an entry, and
// removed once it is old; one that another run may still be writing is left alone.
TEST_F(WaveFileCacheTest, AHalfWrittenEntryIsNeverTakenAndIsRemovedWhenStale) {
    const std::string path = mono44("track.wav", 12000, 9);
    const fs::path entry = entryFor(path, 1);
    expectConversion(path, 1);
    const std::string good = bytesOf(entry);
    fs::remove(entry);
    const fs::path stale = entry.string() + ".Ab12Cd", fresh = entry.string() + ".Zz98Yy";
    putBytes(stale, good.substr(0, good.size() / 2));
    putBytes(fresh, good.substr(0, good.size() / 3));
    fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(2));
    expectConversion(path, 1);
    EXPECT_TRUE(bytesOf(entry) == good);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh));
}

// The cache folder cannot be made (a file has its name) or the disk fills while an entry is
// written: the file plays all the same, no entry or temporary file is left, and at most one line
// says so.
TEST_F(WaveFileCacheTest, AnUnwritableFolderOrAFullDiskStillPlays) {
    const std::string path = mono44("track.wav", 30000, 10);
    testing::internal::CaptureStderr();
    fs::create_directories(dir / "cache");
    putBytes(cacheDir(), "not a folder");
    expectConversion(path, 1);
    expectConversion(path, 2);
    EXPECT_TRUE(fs::is_regular_file(cacheDir()));
    fs::remove(cacheDir());

    // Files may grow only to a few kilobytes: the entry's writes fail partway (SIGXFSZ is the
    // library's own to ignore; nothing here sets it).
    rlimit was{};
    getrlimit(RLIMIT_FSIZE, &was);
    rlimit small = was;
    small.rlim_cur = 6000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    expectConversion(path, 1);
    expectConversion(path, 2);
    setrlimit(RLIMIT_FSIZE, &was);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::is_directory(cacheDir()));
    EXPECT_TRUE(cached().empty()) << *cached().begin();
    EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // Room again: the next open keeps its entry.
    expectConversion(path, 1);
    EXPECT_TRUE(fs::exists(entryFor(path, 1)));
}

// Over the limit, the entries used least recently go (a hit counts as a use); files that are not
// entries stay.
TEST_F(WaveFileCacheTest, TheFolderStaysUnderItsLimitDroppingWhatWasUsedLeastRecently) {
    const std::string a = mono44("a.wav", 8000, 11), b = mono44("b.wav", 8000, 12), c = mono44("c.wav", 8000, 13);
    expectConversion(a, 1);
    expectConversion(b, 1);
    const fs::path ea = entryFor(a, 1), eb = entryFor(b, 1), ec = entryFor(c, 1);
    putBytes(cacheDir() / "notes.txt", std::string(100000, 'n'));
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(ea, now - std::chrono::hours(3));
    fs::last_write_time(eb, now - std::chrono::hours(2));
    // Room for two entries.
    cache::setLimitBytes(fs::file_size(ea) * 5 / 2);
    expectConversion(a, 1);  // a hit: a is now the most recent
    expectConversion(c, 1);
    EXPECT_TRUE(fs::exists(ea));
    EXPECT_FALSE(fs::exists(eb));
    EXPECT_TRUE(fs::exists(ec));
    EXPECT_TRUE(fs::exists(cacheDir() / "notes.txt"));

    // An entry larger than the whole limit is not kept.
    cache::setLimitBytes(1000);
    expectConversion(b, 1);
    EXPECT_FALSE(fs::exists(eb));
}

// $XDG_CACHE_HOME/korvella, else ~/.cache/korvella; a relative XDG_CACHE_HOME is not used.
TEST_F(WaveFileCacheTest, TheFolderFollowsXdgCacheHomeThenHome) {
    const char* home = std::getenv("HOME");
    const std::optional<std::string> savedHome = home ? std::optional<std::string>(home) : std::nullopt;
    ::setenv("HOME", (dir / "home").c_str(), 1);
    EXPECT_EQ(cache::folder(), dir / "cache" / "korvella");
    ::setenv("XDG_CACHE_HOME", "relative/cache", 1);
    EXPECT_EQ(cache::folder(), dir / "home" / ".cache" / "korvella");
    ::unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(cache::folder(), dir / "home" / ".cache" / "korvella");
    const std::string path = mono44("track.wav", 3000, 14);
    expectConversion(path, 1);
    EXPECT_TRUE(fs::exists(dir / "home" / ".cache" / "korvella" / cache::keyFor(path, kRate, 1)->name));
    if (savedHome) ::setenv("HOME", savedHome->c_str(), 1);
    else ::unsetenv("HOME");
}
