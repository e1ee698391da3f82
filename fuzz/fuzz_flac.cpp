// Fuzz target: the FLAC metadata block walk, STREAMINFO, comments and pictures over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunFlac(data, size);
    return 0;
}
