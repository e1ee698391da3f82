// Fuzz target: the FLV tag walker over arbitrary bytes held in memory.
#include "ContainerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunFlv(data, size);
    return 0;
}
