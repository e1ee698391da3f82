// Fuzz target: the NeXT/Sun AU header and annotation over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunAu(data, size);
    return 0;
}
