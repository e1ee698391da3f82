// Fuzz target: the MP4/QuickTime box reader over arbitrary bytes held in memory.
#include "ContainerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMp4QT(data, size);
    return 0;
}
