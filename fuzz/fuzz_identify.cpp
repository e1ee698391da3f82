// Fuzz target: the whole road of one file as far as the analysis goes today
// (open, CD-image detection, identification, transport stream test, report).
// Built for libFuzzer with -DTORVO_FUZZ=ON (clang); the test suite links the
// same entry point and replays truncated and mutated samples through it.
#include <cstddef>
#include <cstdint>

#include "FuzzFile.h"
#include "analysis/Driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    // One driver for all inputs, as for the files of one run: the buffers it
    // lends each file stay mapped from input to input.
    static torvo::Display display;
    static torvo::CAnalysisDriver driver(display);
    driver.AnalyseFile(file.Path());
    return 0;
}
