// Every file of the playlist's fuzz corpus (seeds and whatever a fuzz run found) goes through
// what the fuzz target does, so that a fixed fault stays fixed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/harness.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzCorpus, Playlist) {
    const char* data = std::getenv("KORVELLA_TEST_DATA");
    const fs::path dir = fs::path(data && *data ? data : KORVELLA_TEST_DATA_DIR) / "fuzz" / "playlist";
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        SCOPED_TRACE(e.path().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        korvella_fuzz::exercisePlaylist(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    EXPECT_GE(files, 3);
}

}  // namespace
