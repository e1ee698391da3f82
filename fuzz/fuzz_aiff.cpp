// Fuzz target: the AIFF/AIFF-C chunk walk, COMM with its extended rate, and the text chunks over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunAiff(data, size);
    return 0;
}
