// korvella-sim on a 44.1 kHz track twice: the second run reads the conversion the first one kept
// and prints the same lines, beat for beat.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "fixture.h"
#include "korvella/sim/ScenarioRunner.h"
#include "platform/audio/wave_file.h"
#include "platform/audio/wave_file_cache.h"
#include "track.h"

namespace korvella_test {
namespace {

namespace fs = std::filesystem;

std::set<fs::path> entries() {
    std::set<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(platform::wave_file_cache::folder(), ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".k16") found.insert(it->path());
    return found;
}

class SimCacheTest : public KorvellaTest {};

TEST_F(SimCacheTest, ASecondRunOfTheSameTrackReadsTheKeptConversionAndCountsTheSame) {
    TrackSpec spec;
    spec.seconds = 8;
    spec.rate = 44100;
    spec.seed = 5;
    const Track track = makeTrack(spec);
    const std::string file = tempPath("track44.wav").string();
    std::string error;
    ASSERT_TRUE(platform::writeSoundFile(file, track.samples, 1, track.rate, &error)) << error;

    korvella::sim::Options o;
    o.input = file;
    o.library = WAVORIX_LIBRARY;
    o.actions.push_back({0, korvella::sim::Action::Kind::Click, "frmBeats", "cmdStart", ""});
    o.seconds = spec.seconds;
    auto play = [&] {
        std::ostringstream out, err;
        EXPECT_EQ(korvella::sim::run(o, out, err), 0) << err.str();
        return out.str();
    };

    const std::set<fs::path> before = entries();
    const std::string first = play();
    std::set<fs::path> kept = entries();
    for (const fs::path& p : before) kept.erase(p);
    ASSERT_EQ(kept.size(), 1u) << "one entry for the track's conversion";
    const fs::path entry = *kept.begin();
    // Its last use put back, so that the next run's use shows.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(6);
    fs::last_write_time(entry, old);

    const std::string second = play();
    EXPECT_GT(fs::last_write_time(entry), old) << "the second run read the entry";
    EXPECT_EQ(entries().size(), before.size() + 1);
    EXPECT_NE(first.find(" beat "), std::string::npos) << first;
    EXPECT_EQ(second, first);
}

// A pipe where the track's cache entry belongs: the run neither hangs on it nor waits for ever
// for the samples; it converts the track and counts its kicks. Run in a child process with an
// alarm, so that a hang fails the test instead of holding the suite.
TEST_F(SimCacheTest, APipeAtTheEntrysNameNeitherHangsTheRunNorLosesTheSound) {
    TrackSpec spec;
    spec.seconds = 4;
    spec.rate = 44100;
    spec.seed = 6;
    const Track track = makeTrack(spec);
    const std::string file = tempPath("piped44.wav").string();
    std::string error;
    ASSERT_TRUE(platform::writeSoundFile(file, track.samples, 1, track.rate, &error)) << error;
    fs::create_directories(platform::wave_file_cache::folder());
    for (int channels : {1, 2}) {
        const auto key = platform::wave_file_cache::keyFor(file, 50000, channels);
        ASSERT_TRUE(key);
        ASSERT_EQ(::mkfifo((platform::wave_file_cache::folder() / key->name).c_str(), 0600), 0);
    }
    auto child = [&] {
        ::alarm(60);
        korvella::sim::Options o;
        o.input = file;
        o.library = WAVORIX_LIBRARY;
        o.actions.push_back({0, korvella::sim::Action::Kind::Click, "frmBeats", "cmdStart", ""});
        o.seconds = spec.seconds;
        std::ostringstream out, err;
        const int rc = korvella::sim::run(o, out, err);
        const bool beats = out.str().find(" beat ") != std::string::npos;
        std::fprintf(stderr, "rc %d beats %d\n", rc, beats);
        std::exit(rc == 0 && beats ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "rc 0 beats 1");
}

}  // namespace
}  // namespace korvella_test
