// Fuzz target: the Core Audio Format chunk walk over arbitrary bytes held in
// memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunCaf(data, size);
    return 0;
}
