// Fuzz input as a file: the reader opens files by name, so the bytes go into
// a memory file (memfd) that opens by path like any other.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzFile {
public:
    FuzzFile(const uint8_t* data, size_t size) : fd_(memfd_create("torvo-fuzz", MFD_CLOEXEC)) {
        for (size_t done = 0; fd_ >= 0 && done < size;) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    ~FuzzFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    bool Ok() const { return fd_ >= 0; }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};
