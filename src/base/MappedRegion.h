// MappedRegion: a read-only view of part of a file through the page cache,
// without copying it.
//
// A mapped file that another program shortens while we read it would make
// the next touch of a page past its new end raise SIGBUS and end the whole
// process. Every region is therefore registered with a guard that answers
// such a fault inside a region by putting a page of zeros in the lost page's
// place: the reader then sees zeros there, like any damaged file, and the
// region remembers that it lost bytes. Faults elsewhere go on to whatever
// handled SIGBUS before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace torvo {

class MappedRegion {
public:
    // Maps `length` bytes of the open file `fd` from `offset` (any offset:
    // the mapping starts at the page below it). Null when the system refuses
    // or when too many regions are open at once (the caller then reads).
    static std::unique_ptr<MappedRegion> Map(int fd, uint64_t offset, size_t length);
    ~MappedRegion();
    MappedRegion(const MappedRegion&) = delete;
    MappedRegion& operator=(const MappedRegion&) = delete;

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    // The region's bytes as this process's own copy, up to the end of the
    // last page (Capacity() bytes): writes change only the copy, never the file.
    uint8_t* PrivateBytes() { return data_; }
    size_t Capacity() const;
    // Whether a page of the region vanished (the file was shortened) and reads as zeros.
    bool LostBytes() const;

private:
    MappedRegion(uint8_t* base, size_t mappedLength, size_t lead, size_t size, int slot)
        : base_(base), mappedLength_(mappedLength), data_(base + lead), size_(size), slot_(slot) {}
    uint8_t* base_;
    size_t mappedLength_;
    uint8_t* data_;
    size_t size_;
    int slot_;
};

// Guards a mapping made elsewhere (the full scan's) the same way; the guard
// must end before the mapping goes. Guarded() is false when no
// room was left: the mapping must then not be read.
class MappingGuard {
public:
    MappingGuard(const void* begin, size_t length);
    ~MappingGuard();
    MappingGuard(const MappingGuard&) = delete;
    MappingGuard& operator=(const MappingGuard&) = delete;
    bool Guarded() const { return slot_ >= 0; }
    bool LostBytes() const;

private:
    int slot_;
};

}  // namespace torvo
