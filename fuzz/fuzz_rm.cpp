// Fuzz target: the RealMedia chunk walk, stream properties and content description over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunRm(data, size);
    return 0;
}
