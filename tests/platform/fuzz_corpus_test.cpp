// Every file of the fuzz corpora of the settings store, the idle list and the sound-file input
// (seeds and whatever a fuzz run found) goes through what the fuzz targets do, so that a fixed
// fault stays fixed.
#include "fuzz/harness.h"
#include "support/fuzz_corpus.h"

namespace {

using korvella_test::replayCorpus;

std::filesystem::path corpus(const char* input) { return korvella_test::fuzzCorpus(input, KORVELLA_TEST_DATA_DIR); }

TEST(FuzzCorpus, SettingsStoreText) { EXPECT_GE(replayCorpus(corpus("inifile"), korvella_fuzz::exerciseIniFile), 3); }

TEST(FuzzCorpus, IdleList) { EXPECT_GE(replayCorpus(corpus("idlelist"), korvella_fuzz::exerciseIdleList), 3); }

TEST(FuzzCorpus, SoundFileInput) {
    platform::EventLoop* previous = platform::EventLoop::currentOrNull();
    EXPECT_GE(replayCorpus(corpus("soundfile"), korvella_fuzz::exerciseSoundFile), 3);
    EXPECT_EQ(platform::EventLoop::currentOrNull(), previous);
}

}  // namespace
