// Replaying a fuzz corpus as an ordinary test: every file of tests/data/fuzz/NAME (seeds and
// whatever a fuzz run found) goes through what the fuzz target does, so that a fixed fault stays
// fixed. KORVELLA_TEST_DATA points at another data folder.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace korvella_test {

inline std::filesystem::path fuzzCorpus(const char* name, const char* defaultDataDir) {
    const char* data = std::getenv("KORVELLA_TEST_DATA");
    return std::filesystem::path(data && *data ? data : defaultDataDir) / "fuzz" / name;
}

// How many files went through exercise(data, size).
template <class F>
int replayCorpus(const std::filesystem::path& dir, F exercise) {
    int files = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        if (!e.is_regular_file()) continue;
        SCOPED_TRACE(e.path().string());
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        exercise(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++files;
    }
    return files;
}

}  // namespace korvella_test
