// Fuzz target: the AVI chunk scanner feeding the picture recorder in
// overlapping pieces, then the GOP analysis and drawing of what it recorded.
#include "ScanFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunAviScan(data, size);
    return 0;
}
