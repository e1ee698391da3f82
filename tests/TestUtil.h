// Helpers shared by the tests: sample paths, files held in memory, byte builders.
#pragma once

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>
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

// The sample files of a folder below tests/data ("" for the folder itself),
// sorted, without sub-folders and scripts.
inline std::vector<std::string> SampleNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    const std::string prefix = folder.empty() ? "" : folder + "/";
    if (DIR* dir = opendir(SamplePath(folder).c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (e->d_type != DT_DIR && !name.ends_with(".sh")) names.push_back(prefix + name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Feeds every prefix of the first `head` lengths and `parts` evenly spread
// cuts of the bytes: truncated files must never crash or read past the end.
inline void ForEachTruncation(const Bytes& whole, size_t head, size_t parts, const std::function<void(const Bytes&)>& feed) {
    for (size_t n = 0; n < head && n < whole.size(); ++n) feed(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
    for (size_t k = 1; k < parts; ++k)
        feed(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * k / parts)));
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
    // Shortens (or lengthens) the file, as another program might while it is read.
    void Resize(uint64_t size) {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw std::runtime_error("ftruncate failed");
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
