// The full scan's scanners, recorder and drawing over the same bytes: the
// entry point the scan robustness tests replay samples through. The fuzz
// build runs each scanner as a target of its own (fuzz_scan_*.cpp).
#include "ScanFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunSystemScan(data, size);
    torvo::fuzz::RunElementaryScan(data, size);
    torvo::fuzz::RunAviScan(data, size);
    return 0;
}
