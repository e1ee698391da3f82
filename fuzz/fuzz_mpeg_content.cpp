// Fuzz target: the content stage of identification (raw DV, system and video streams, elementary audio).
#include "MpegFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunMpegContent(data, size);
    return 0;
}
