// Fuzz target: the whole road of one file as far as the analysis goes today
// (open, CD-image detection, identification, transport stream test, report).
// Built for libFuzzer with -DTORVO_FUZZ=ON (clang); the test suite links the
// same entry point and replays truncated and mutated samples through it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "analysis/Driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader opens files by name: give it one that lives in memory.
    const int fd = memfd_create("torvo-fuzz", MFD_CLOEXEC);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    torvo::Display display;
    torvo::CAnalysisDriver driver(display);
    driver.AnalyseFile("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    return 0;
}
