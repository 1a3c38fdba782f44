// Every file of the fuzz corpora of the settings store, the idle list and the sound-file input
// (seeds and whatever a fuzz run found) goes through what the fuzz targets do, so that a fixed
// fault stays fixed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/harness.h"

namespace {

namespace fs = std::filesystem;

fs::path corpus(const char* input) {
    const char* data = std::getenv("KORVELLA_TEST_DATA");
    return fs::path(data && *data ? data : KORVELLA_TEST_DATA_DIR) / "fuzz" / input;
}

template <class F>
int replay(const fs::path& dir, F exercise) {
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        SCOPED_TRACE(e.path().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        exercise(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    return files;
}

TEST(FuzzCorpus, SettingsStoreText) { EXPECT_GE(replay(corpus("inifile"), korvella_fuzz::exerciseIniFile), 3); }

TEST(FuzzCorpus, IdleList) { EXPECT_GE(replay(corpus("idlelist"), korvella_fuzz::exerciseIdleList), 3); }

TEST(FuzzCorpus, SoundFileInput) {
    platform::EventLoop* previous = platform::EventLoop::currentOrNull();
    EXPECT_GE(replay(corpus("soundfile"), korvella_fuzz::exerciseSoundFile), 3);
    EXPECT_EQ(platform::EventLoop::currentOrNull(), previous);
}

}  // namespace
