// Every test program starts here: headless Qt, no system audio devices, and a fresh settings and
// program folder (and cache folder) of its own, so tests never touch the user's files or each other's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KORVELLA_NO_SYSTEM_AUDIO", "1", 0);
    setenv("KORVELLA_TEST_DATA", KORVELLA_TEST_DATA_DIR, 0);
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvella-test-XXXXXX").string();
    const char* dir = mkdtemp(tmpl.data());
    if (dir) {
        setenv("XDG_CONFIG_HOME", (std::string(dir) + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (std::string(dir) + "/cache").c_str(), 1);
        setenv("KORVELLA_HOME", (std::string(dir) + "/home").c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    if (dir) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    return rc;
}
