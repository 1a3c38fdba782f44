// Every file of the fuzz corpus (seeds and the crashers found so far) goes through the readers
// again, so that a fixed crash stays fixed.
#include "player/fuzz/harness.h"
#include "support/fuzz_corpus.h"

namespace player::test {
namespace {

using korvella_test::replayCorpus;

std::filesystem::path corpus(const char* reader) { return korvella_test::fuzzCorpus(reader, KORVELLA_SOURCE_TEST_DATA); }

TEST(FuzzCorpus, MovieReader) { EXPECT_GE(replayCorpus(corpus("swf"), fuzz::exerciseSwf), 5); }

TEST(FuzzCorpus, PictureReader) { EXPECT_GE(replayCorpus(corpus("picture"), fuzz::exercisePicture), 5); }

}  // namespace
}  // namespace player::test
