// Helpers shared by the tests: sample paths, files held in memory, byte builders.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace torvo::test {

using Bytes = std::vector<uint8_t>;

inline std::string SamplePath(const std::string& name) { return std::string(TORVO_TEST_DATA_DIR) + "/" + name; }

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A file that lives in memory (memfd) and opens by path like any other.
class MemFile {
public:
    explicit MemFile(const Bytes& bytes) : MemFile(bytes.data(), bytes.size()) {}
    MemFile(const uint8_t* data, size_t size) {
        fd_ = memfd_create("torvo-test", MFD_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("memfd_create failed");
        for (size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) throw std::runtime_error("memfd write failed");
            done += static_cast<size_t>(n);
        }
    }
    // A file of the given size whose bytes are all zero (sparse), with writes at chosen places.
    static MemFile Sparse(uint64_t size) {
        MemFile file(nullptr, 0);
        if (::ftruncate(file.fd_, static_cast<off_t>(size)) != 0) throw std::runtime_error("ftruncate failed");
        return file;
    }
    void WriteAt(uint64_t offset, const Bytes& bytes) {
        if (::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("pwrite failed");
    }
    MemFile(MemFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    MemFile(const MemFile&) = delete;
    ~MemFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_ = -1;
};

// Bytes whose value depends on their position, so that any misplaced read shows.
inline uint8_t PatternByte(uint64_t pos) { return static_cast<uint8_t>((pos * 2654435761u) >> 13); }
inline Bytes PatternBytes(size_t size, uint64_t from = 0) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = PatternByte(from + i);
    return b;
}

// Appends text bytes (no terminator) or raw values to a byte vector.
inline Bytes& Append(Bytes& b, const std::string& text) {
    b.insert(b.end(), text.begin(), text.end());
    return b;
}
inline Bytes& Append(Bytes& b, std::initializer_list<uint8_t> values) {
    b.insert(b.end(), values);
    return b;
}

}  // namespace torvo::test
