// CFileCache: the random-access reader every header parser uses.
//
// The first 4 MiB of the logical file are kept in memory (the header buffer,
// or a mapping of them);
// everything beyond is served through a 256 KiB window that is reloaded on
// demand. A logical start (base offset) lets callers step over an ID3 tag, a
// CD-image header or a RIFF CDXA wrapper: every position below is logical.
// The reader never hands out a pointer to bytes it has not read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/ByteView.h"
#include "base/MappedRegion.h"

namespace torvo {

struct CdImageInfo {
    bool isImage = false;
    uint32_t sectorSize = 0;     // bytes per raw sector (2048, 2352, ...)
    uint64_t sector0Offset = 0;  // file offset of the user data of sector 0
};

class CFileCache {
public:
    struct FreeBytes {
        void operator()(uint8_t* bytes) const;
    };
    using OwnedBytes = std::unique_ptr<uint8_t[], FreeBytes>;
    static OwnedBytes AllocateHeader();

    // The header buffer a reader leaves for the next one: a run over many
    // files then reads into pages that are already mapped instead of faulting
    // in fresh ones for every file. It is never cleared. Whoever opens file
    // after file (the driver) owns one and lends it to each reader.
    struct SpareHeader {
        OwnedBytes bytes;
        size_t capacity = 0;
        // A reader mapped its header instead of taking a new buffer: the
        // next one takes a buffer, which the readers after it then reuse.
        bool mappedOnce = false;
    };

    static constexpr uint64_t kHeaderSize = 0x400000;  // 4 MiB
    static constexpr uint32_t kWindowSize = 0x40000;   // 256 KiB
    static constexpr uint32_t kWindowBackStep = 0x20000;

    // With a spare header, the reader takes its buffer from there and leaves
    // it there when it goes; the spare must outlive the reader.
    explicit CFileCache(SpareHeader* spare = nullptr);
    virtual ~CFileCache();
    CFileCache(const CFileCache&) = delete;
    CFileCache& operator=(const CFileCache&) = delete;

    // Opens the file read-only, reads its first 4 MiB and detects a CD image
    // (a video CD image is repositioned to its MPEG track). False when the
    // file cannot be opened or read, or when this reader already holds data;
    // LastError() then tells why (an errno value, 0 for the latter).
    // Only regular files and block devices are opened; anything else fails
    // with LastError() == kNotRegularFile.
    bool Open(const std::string& path);
    int LastError() const { return lastError_; }
    // The reason of the last failure as a text: strerror, or ours for kNotRegularFile.
    std::string LastErrorText() const;
    static constexpr int kNotRegularFile = -1;

    // Uses a block of memory as the whole logical file. With copy set the
    // bytes are copied; otherwise the caller keeps them alive.
    bool AttachMemory(const uint8_t* data, size_t length, bool copy);

    // Moves the logical start forward by n bytes and reloads the header buffer.
    bool Skip(uint64_t n);

    // Pointer to `length` contiguous bytes at logical `position`, or nullptr.
    const uint8_t* Map(uint64_t position, uint32_t length, bool reload = true);
    ByteView MapView(uint64_t position, uint32_t length, bool reload = true);

    // Sequential reading from the current position; returns the bytes copied.
    size_t Read(void* dst, size_t length);
    // Sets the position (clamped to the logical end) and reads.
    size_t ReadAt(uint64_t position, void* dst, size_t length);

    // Logical position of the first occurrence of text within searchLength
    // bytes from position, or -1.
    int64_t Find(uint64_t position, std::string_view text, uint32_t searchLength);

    // Typed readers: 0 when the bytes cannot be mapped. The Next* forms move
    // the position past the value whether or not it could be read, so a
    // walker's cursor always advances.
    uint8_t U8At(uint64_t position);
    uint16_t Be16At(uint64_t position);
    uint32_t Be24At(uint64_t position);
    uint32_t Be32At(uint64_t position);
    uint64_t Be64At(uint64_t position);
    uint16_t NextLe16(uint64_t& position);
    uint32_t NextLe32(uint64_t& position);
    uint64_t NextLe64(uint64_t& position);
    uint16_t NextBe16(uint64_t& position);
    uint32_t NextBe24(uint64_t& position);
    uint32_t NextBe32(uint64_t& position);
    uint64_t NextBe64(uint64_t& position);
    // Copies a 16-byte GUID (zeros when unreadable); false when unreadable.
    bool NextGuid(uint64_t& position, uint8_t out[16]);
    const uint8_t* NextGuidPtr(uint64_t& position);

    CdImageInfo CDImageInfo() const { return cd_; }

    // The bytes actually read into the header buffer (logical start onwards).
    ByteView Header() const { return ByteView(header_, headerLength_); }
    // The mapping that holds the header, when it is one, for whoever goes on
    // reading those bytes after the reader (the full scan); the reader must
    // not be used afterwards.
    std::unique_ptr<MappedRegion> ReleaseHeaderMapping() { return std::move(mappedHeader_); }

    uint64_t Position() const { return position_; }
    void SetPosition(uint64_t position) { position_ = position < logicalLength_ ? position : logicalLength_; }
    uint64_t LogicalLength() const { return logicalLength_; }
    uint64_t BaseOffset() const { return baseOffset_; }
    uint64_t PhysicalSize() const { return physicalSize_; }
    const std::string& FileName() const { return fileName_; }
    bool IsFile() const { return fd_ >= 0; }

private:
    bool LoadHeader();
    bool MapHeader(size_t want);
    bool ShiftHeader(size_t n);
    bool LoadWindow(uint64_t start);
    size_t ReadFile(uint64_t fileOffset, uint8_t* dst, size_t length);
    void DetectCdImage();
    void Close();

    std::string fileName_;
    int fd_ = -1;
    int lastError_ = 0;
    uint64_t baseOffset_ = 0;
    uint64_t logicalLength_ = 0;
    uint64_t physicalSize_ = 0;

    bool regularFile_ = false;
    SpareHeader* spare_ = nullptr;
    // The header read through the page cache instead of copied: the first
    // file of a run, for which a buffer would have to be cleared and faulted
    // in, and every file read without a spare.
    std::unique_ptr<MappedRegion> mappedHeader_;
    OwnedBytes ownedHeader_;
    const uint8_t* header_ = nullptr;
    size_t headerLength_ = 0;
    size_t headerCapacity_ = 0;
    bool hasHeader_ = false;

    std::unique_ptr<uint8_t[]> window_;
    uint64_t windowStart_ = 0;
    uint32_t windowValid_ = 0;

    uint64_t position_ = 0;
    CdImageInfo cd_;
};

}  // namespace torvo
