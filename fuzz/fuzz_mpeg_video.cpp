// Fuzz target: the video elementary parsers (DV, H.264, H.265, MPEG-2, MPEG-4 Part 2).
#include "MpegFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMpegVideo(data, size);
    return 0;
}
