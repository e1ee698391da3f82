// Fuzz target: the RIFF walker and everything that reports what it found
// (AVI summary, tag listing, video summary), on any bytes. Built for
// libFuzzer with -DTORVO_FUZZ=ON (clang); the RIFF tests replay truncated and
// mutated samples through the same entry point.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/FileCache.h"
#include "analysis/VideoSummary.h"
#include "formats/riff/AviSummary.h"
#include "formats/riff/SupAvi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader opens files by name: give it one that lives in memory.
    const int fd = memfd_create("torvo-fuzz-riff", MFD_CLOEXEC);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    torvo::CFileCache reader;
    if (reader.Open("/proc/self/fd/" + std::to_string(fd))) {
        torvo::AnalysisRecords records;
        records.container.typeId = torvo::kTypeAvi;
        torvo::CSupAvi().WalkRiff(reader, records);
        for (int i = 0; i < records.container.audioCount && i < 4; ++i) records.audioList[i] = i;
        torvo::Display display;
        torvo::AviSummary(display, reader.LogicalLength(), records);
        torvo::TagListing(display, records.container);
        torvo::VideoSummary(display, records);
        torvo::VideoCodecStep(display, records, {}, true, 0);
    }
    ::close(fd);
    return 0;
}
