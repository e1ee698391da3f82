// Fuzz target: the big-endian WAVE chunk walk over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunRifx(data, size);
    return 0;
}
