#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvella_fuzz::exerciseSoundFile(data, size);
    return 0;
}
