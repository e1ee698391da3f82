// Fuzz target: the MPEG-1/2 system stream analysis.
#include "MpegFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMpegSystem(data, size);
    return 0;
}
