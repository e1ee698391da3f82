// Fuzz target: the system stream scanner feeding the picture recorder, whole and in
// overlapping pieces, then the GOP analysis and drawing of what it recorded.
#include "ScanFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunSystemScan(data, size);
    return 0;
}
