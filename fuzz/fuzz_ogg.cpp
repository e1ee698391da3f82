// Fuzz target: the Ogg page walk, stream headers, Vorbis comments and the tail's granules over
// arbitrary bytes held in memory.
#include "NamedFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunOgg(data, size);
    return 0;
}
