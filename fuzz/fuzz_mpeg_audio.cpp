// Fuzz target: the elementary audio scans (MPEG audio, AC-3, DTS, AAC).
#include "MpegFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMpegAudio(data, size);
    return 0;
}
