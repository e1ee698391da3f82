// Every MPEG-family stage over the same bytes: the entry point the MPEG
// robustness tests replay truncated and mutated samples through. The fuzz
// build runs the stages as separate targets (fuzz_mpeg_*.cpp).
#include "MpegFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMpegAudio(data, size);
    torvo::fuzz::RunMpegVideo(data, size);
    torvo::fuzz::RunMpegSystem(data, size);
    torvo::fuzz::RunMpegContent(data, size);
    return 0;
}
