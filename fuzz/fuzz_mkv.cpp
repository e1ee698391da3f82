// Fuzz target: the Matroska/WebM element walk, track and tag reading and the
// block collection over arbitrary bytes held in memory.
#include "ContainerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMkv(data, size);
    return 0;
}
