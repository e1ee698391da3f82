// Fuzz target: the RIFF walker and everything that reports what it found
// (AVI summary, tag listing, video summary), on any bytes. Built for
// libFuzzer with -DTORVO_FUZZ=ON (clang); the RIFF tests replay truncated and
// mutated samples through the same entry point.
#include <cstddef>
#include <cstdint>

#include "ReusedRecords.h"
#include "base/FileCache.h"
#include "analysis/VideoSummary.h"
#include "analysis/AviSummary.h"
#include "formats/riff/SupAvi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    torvo::CFileCache reader;
    if (reader.AttachMemory(data, size, false)) {
        torvo::AnalysisRecords& records = torvo::fuzz::ReusedRecords();
        records.container.typeId = torvo::kTypeAvi;
        torvo::CSupAvi().WalkRiff(reader, records);
        for (int i = 0; i < records.container.audioCount && i < 4; ++i) records.audioList[i] = i;
        torvo::Display display;
        torvo::AviSummary(display, reader.LogicalLength(), records);
        torvo::TagListing(display, records.container);
        torvo::VideoSummary(display, records);
        torvo::VideoCodecStep(display, records, {}, true, 0);
    }
    return 0;
}
