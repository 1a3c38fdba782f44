// Every file of the fuzz corpus (seeds and the crashers found so far) goes through the readers
// again, so that a fixed crash stays fixed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "player/fuzz/harness.h"
#include "player_test_util.h"

namespace player::test {
namespace {

namespace fs = std::filesystem;

fs::path corpus(const char* reader) {
    const char* data = std::getenv("KORVELLA_TEST_DATA");
    return fs::path(data && *data ? data : KORVELLA_SOURCE_TEST_DATA) / "fuzz" / reader;
}

template <class F>
int replay(const fs::path& dir, F exercise) {
    int files = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        if (!e.is_regular_file()) continue;
        SCOPED_TRACE(e.path().string());
        const Bytes b = readBytes(e.path());
        exercise(b.data(), b.size());
        ++files;
    }
    return files;
}

TEST(FuzzCorpus, MovieReader) { EXPECT_GE(replay(corpus("swf"), fuzz::exerciseSwf), 5); }

TEST(FuzzCorpus, PictureReader) { EXPECT_GE(replay(corpus("picture"), fuzz::exercisePicture), 5); }

}  // namespace
}  // namespace player::test
