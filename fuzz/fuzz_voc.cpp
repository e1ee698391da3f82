// Fuzz target: the Creative Voice block walk over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunVoc(data, size);
    return 0;
}
