// Fuzz target: the ASF header reader over arbitrary bytes held in memory.
#include "ContainerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunAsf(data, size);
    return 0;
}
