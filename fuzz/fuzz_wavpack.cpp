// Fuzz target: the WavPack block header and its sub-blocks over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunWavPack(data, size);
    return 0;
}
