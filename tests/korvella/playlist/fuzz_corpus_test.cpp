// The playlist's fuzz corpus replayed through what its fuzz target does.
#include "fuzz/harness.h"
#include "support/fuzz_corpus.h"

namespace {

TEST(FuzzCorpus, Playlist) {
    EXPECT_GE(korvella_test::replayCorpus(korvella_test::fuzzCorpus("playlist", KORVELLA_TEST_DATA_DIR),
                                          korvella_fuzz::exercisePlaylist),
              3);
}

}  // namespace
