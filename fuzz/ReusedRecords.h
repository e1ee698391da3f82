// The records the harnesses analyse into: one set for all inputs, reset
// before each one as the driver resets its records before each file. The
// blocks the collected bytes go into then stay mapped from input to input; a
// fresh 4 MiB block per input costs the sanitizer build most of its time.
#pragma once

#include "records/Records.h"

namespace torvo::fuzz {

inline AnalysisRecords& ReusedRecords() {
    static AnalysisRecords records;
    records.Reset();
    return records;
}

}  // namespace torvo::fuzz
