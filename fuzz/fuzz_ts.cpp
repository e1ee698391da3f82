// Fuzz target: the transport stream analysis (tables, PES reassembly, clock
// references, the elementary parsers) over arbitrary bytes held in memory.
#include "ContainerFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::fuzz::RunTs(data, size);
    return 0;
}
