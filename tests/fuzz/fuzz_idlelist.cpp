#include "fuzz/harness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    korvella_fuzz::useOwnFolders();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    korvella_fuzz::exerciseIdleList(data, size);
    return 0;
}
