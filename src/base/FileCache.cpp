#include "base/FileCache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/CdImage.h"

namespace torvo {

namespace {
// Headers up to this size are read into buffers of their own size (rounded
// up to the step) instead of the large-page header.
constexpr size_t kSmallHeader = 0x40000;
constexpr size_t kSmallHeaderStep = 0x10000;
}  // namespace

CFileCache::CFileCache(SpareHeader* spare) : spare_(spare) {}

void CFileCache::FreeBytes::operator()(uint8_t* bytes) const { std::free(bytes); }

// The first 2 MiB in one large page where the system grants it: filling
// them then takes one page fault instead of five hundred. The rest stays in
// small pages, so that a file of 2.1 MiB does not hold 4 MiB of memory.
// Uninitialised: only the bytes read are ever looked at.
CFileCache::OwnedBytes CFileCache::AllocateHeader() {
    constexpr size_t kLargePage = size_t(2) << 20;
    static_assert(kHeaderSize % kLargePage == 0);
    void* bytes = std::aligned_alloc(kLargePage, kHeaderSize);
    if (!bytes) throw std::bad_alloc();
    ::madvise(bytes, kLargePage, MADV_HUGEPAGE);
    return OwnedBytes(static_cast<uint8_t*>(bytes));
}

CFileCache::~CFileCache() {
    Close();
    if (spare_ && ownedHeader_ && headerCapacity_ > spare_->capacity) {
        spare_->bytes = std::move(ownedHeader_);
        spare_->capacity = headerCapacity_;
    }
}

void CFileCache::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool CFileCache::Open(const std::string& path) {
    lastError_ = 0;
    if (hasHeader_) return false;
    fileName_ = path;
    // Without O_NONBLOCK a FIFO with no writer would keep open() waiting for ever.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        lastError_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        lastError_ = errno;
        Close();
        return false;
    }
    // Only regular files and block devices have a size and can be read at any
    // offset; FIFOs, sockets and character devices (/dev/zero never ends) are refused.
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        lastError_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
        Close();
        return false;
    }
    // Reads of a regular file never block short whatever O_NONBLOCK says; a
    // block device is read in blocking mode like any other.
    if (S_ISBLK(st.st_mode)) {
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    }
    regularFile_ = S_ISREG(st.st_mode);
    off_t end = regularFile_ ? st.st_size : ::lseek(fd_, 0, SEEK_END);
    physicalSize_ = end > 0 ? static_cast<uint64_t>(end) : 0;
    baseOffset_ = 0;
    logicalLength_ = physicalSize_;
    if (!LoadHeader()) {
        Close();
        return false;
    }
    DetectCdImage();
    return true;
}

std::string CFileCache::LastErrorText() const {
    if (lastError_ == kNotRegularFile) return "Not a regular file or block device";
    return std::strerror(lastError_);
}

bool CFileCache::AttachMemory(const uint8_t* data, size_t length, bool copy) {
    if (hasHeader_) return false;
    if (!data) length = 0;
    if (copy) {
        void* bytes = std::malloc(length ? length : 1);
        if (!bytes) throw std::bad_alloc();
        ownedHeader_.reset(static_cast<uint8_t*>(bytes));
        headerCapacity_ = length;
        if (length) std::memcpy(ownedHeader_.get(), data, length);
        header_ = ownedHeader_.get();
    } else {
        header_ = data;
    }
    headerLength_ = length;
    hasHeader_ = true;
    baseOffset_ = 0;
    logicalLength_ = physicalSize_ = length;
    position_ = 0;
    return true;
}

bool CFileCache::Skip(uint64_t n) {
    if (!hasHeader_) return false;
    n = std::min(n, logicalLength_);
    const bool wholeHeaderHeld = headerLength_ == std::min<uint64_t>(logicalLength_, kHeaderSize);
    baseOffset_ += n;
    logicalLength_ -= n;
    windowValid_ = 0;
    if (fd_ < 0) {  // attached memory: the view simply starts later
        header_ += n;
        headerLength_ -= static_cast<size_t>(n);
        return true;
    }
    if (wholeHeaderHeld && !mappedHeader_ && ownedHeader_ && n < headerLength_) return ShiftHeader(static_cast<size_t>(n));
    return LoadHeader();
}

// The bytes after the skipped ones are held already: they move to the front
// and only the header's new tail is read from the file.
bool CFileCache::ShiftHeader(size_t n) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(logicalLength_, kHeaderSize));
    const size_t kept = headerLength_ - n;  // never more than want
    uint8_t* const bytes = ownedHeader_.get();
    std::memmove(bytes, bytes + n, kept);
    errno = 0;
    lastError_ = 0;
    headerLength_ = kept + ReadFile(baseOffset_ + kept, bytes + kept, want - kept);
    return headerLength_ == want || lastError_ == 0;  // a read error, not a short file, fails
}

size_t CFileCache::ReadFile(uint64_t fileOffset, uint8_t* dst, size_t length) {
    size_t done = 0;
    while (done < length) {
        ssize_t got = ::pread(fd_, dst + done, length - done, static_cast<off_t>(fileOffset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool CFileCache::MapHeader(size_t want) {
    const bool mappedBefore = mappedHeader_ != nullptr;
    mappedHeader_.reset();
    if (!regularFile_ || want == 0) return false;
    if (!mappedBefore) {
        // A buffer at hand is filled faster than pages are mapped in; the
        // mapping pays where a new buffer would have to be cleared first.
        const bool bufferAtHand = (ownedHeader_ && headerCapacity_ >= want) ||
                                  (spare_ && spare_->bytes && spare_->capacity >= want);
        if (want <= kSmallHeader || bufferAtHand || (spare_ && spare_->mappedOnce)) return false;
    }
    mappedHeader_ = MappedRegion::Map(fd_, baseOffset_, want);
    if (!mappedHeader_) return false;
    if (spare_) spare_->mappedOnce = true;
    header_ = mappedHeader_->Data();
    headerLength_ = want;
    windowValid_ = 0;
    lastError_ = 0;
    hasHeader_ = true;
    return true;
}

bool CFileCache::LoadHeader() {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(logicalLength_, kHeaderSize));
    if (MapHeader(want)) return true;
    if (!ownedHeader_ || headerCapacity_ < want) {
        if (spare_ && spare_->bytes && spare_->capacity >= want) {
            ownedHeader_ = std::move(spare_->bytes);
            headerCapacity_ = spare_->capacity;
            spare_->capacity = 0;
        } else if (want <= kSmallHeader) {
            // A small file gets a buffer of its own size on small pages: the
            // large page would be cleared whole for a few kilobytes.
            const size_t capacity = (want + kSmallHeaderStep - 1) / kSmallHeaderStep * kSmallHeaderStep;
            void* bytes = std::malloc(capacity ? capacity : kSmallHeaderStep);
            if (!bytes) throw std::bad_alloc();
            ownedHeader_.reset(static_cast<uint8_t*>(bytes));
            headerCapacity_ = capacity ? capacity : kSmallHeaderStep;
        } else {
            ownedHeader_ = AllocateHeader();
            headerCapacity_ = kHeaderSize;
        }
    }
    header_ = ownedHeader_.get();
    errno = 0;
    lastError_ = 0;
    headerLength_ = ReadFile(baseOffset_, ownedHeader_.get(), want);
    windowValid_ = 0;
    if (headerLength_ < want && lastError_ != 0) return false;  // a read error, not a short file
    hasHeader_ = true;
    return true;
}

bool CFileCache::LoadWindow(uint64_t start) {
    if (!window_) window_.reset(new uint8_t[kWindowSize]);
    windowStart_ = start;
    windowValid_ = 0;
    if (start >= logicalLength_) return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(logicalLength_ - start, kWindowSize));
    windowValid_ = static_cast<uint32_t>(ReadFile(baseOffset_ + start, window_.get(), want));
    return windowValid_ > 0;
}

const uint8_t* CFileCache::Map(uint64_t position, uint32_t length, bool reload) {
    // The first part of the file comes from the header buffer without a read.
    if ((position >> 32) == 0 && Header().Has(position, length)) return header_ + position;
    if (position >= logicalLength_ || length > kWindowSize || fd_ < 0) return nullptr;

    auto inWindow = [&] {
        return position >= windowStart_ && position - windowStart_ <= windowValid_ &&
               length <= windowValid_ - (position - windowStart_);
    };
    if (inWindow()) return window_.get() + (position - windowStart_);
    if (!reload) return nullptr;

    // Reading forward starts the window at the request; a short step back keeps
    // 128 KiB in front of it so that further backward reads stay cheap.
    uint64_t start = position;
    if (position < windowStart_ && length <= 0x1FFFF)
        start = position >= kWindowBackStep ? position - kWindowBackStep : 0;
    LoadWindow(start);
    return inWindow() ? window_.get() + (position - windowStart_) : nullptr;
}

ByteView CFileCache::MapView(uint64_t position, uint32_t length, bool reload) {
    const uint8_t* p = Map(position, length, reload);
    return p ? ByteView(p, length) : ByteView();
}

size_t CFileCache::Read(void* dst, size_t length) {
    auto* out = static_cast<uint8_t*>(dst);
    size_t total = 0;
    while (total < length && position_ < logicalLength_) {
        uint64_t chunk = std::min<uint64_t>(length - total, logicalLength_ - position_);
        const uint64_t headerLeft = position_ < headerLength_ ? headerLength_ - position_ : 0;
        chunk = headerLeft > kWindowSize ? std::min(chunk, headerLeft) : std::min<uint64_t>(chunk, kWindowSize);
        // Chunks from the header may exceed the window size; Map serves them whole.
        const uint8_t* p = chunk <= UINT32_MAX ? Map(position_, static_cast<uint32_t>(chunk)) : nullptr;
        if (!p) break;
        std::memcpy(out + total, p, static_cast<size_t>(chunk));
        position_ += chunk;
        total += static_cast<size_t>(chunk);
    }
    return total;
}

size_t CFileCache::ReadAt(uint64_t position, void* dst, size_t length) {
    SetPosition(position);
    return Read(dst, length);
}

int64_t CFileCache::Find(uint64_t position, std::string_view text, uint32_t searchLength) {
    if (position >= logicalLength_ || text.empty()) return -1;
    searchLength = static_cast<uint32_t>(std::min<uint64_t>(searchLength, logicalLength_ - position));
    ByteView range = MapView(position, searchLength);
    uint64_t hit = range.Find(text);
    return hit == ByteView::npos ? -1 : static_cast<int64_t>(position + hit);
}

uint8_t CFileCache::U8At(uint64_t position) { return MapView(position, 1).U8(0); }
uint16_t CFileCache::Be16At(uint64_t position) { return MapView(position, 2).Be16(0); }
uint32_t CFileCache::Be24At(uint64_t position) { return MapView(position, 3).Be24(0); }
uint32_t CFileCache::Be32At(uint64_t position) { return MapView(position, 4).Be32(0); }
uint64_t CFileCache::Be64At(uint64_t position) { return MapView(position, 8).Be64(0); }

namespace {
template <typename T, typename F>
T Advance(uint64_t& position, uint32_t size, F read) {
    T value = read(position);
    position += size;
    return value;
}
}  // namespace

uint16_t CFileCache::NextLe16(uint64_t& p) { return Advance<uint16_t>(p, 2, [&](uint64_t q) { return MapView(q, 2).Le16(0); }); }
uint32_t CFileCache::NextLe32(uint64_t& p) { return Advance<uint32_t>(p, 4, [&](uint64_t q) { return MapView(q, 4).Le32(0); }); }
uint64_t CFileCache::NextLe64(uint64_t& p) { return Advance<uint64_t>(p, 8, [&](uint64_t q) { return MapView(q, 8).Le64(0); }); }
uint16_t CFileCache::NextBe16(uint64_t& p) { return Advance<uint16_t>(p, 2, [&](uint64_t q) { return Be16At(q); }); }
uint32_t CFileCache::NextBe24(uint64_t& p) { return Advance<uint32_t>(p, 3, [&](uint64_t q) { return Be24At(q); }); }
uint32_t CFileCache::NextBe32(uint64_t& p) { return Advance<uint32_t>(p, 4, [&](uint64_t q) { return Be32At(q); }); }
uint64_t CFileCache::NextBe64(uint64_t& p) { return Advance<uint64_t>(p, 8, [&](uint64_t q) { return Be64At(q); }); }

const uint8_t* CFileCache::NextGuidPtr(uint64_t& position) {
    const uint8_t* p = Map(position, 16);
    position += 16;
    return p;
}

bool CFileCache::NextGuid(uint64_t& position, uint8_t out[16]) {
    const uint8_t* p = NextGuidPtr(position);
    if (p) std::memcpy(out, p, 16);
    else std::memset(out, 0, 16);
    return p != nullptr;
}

void CFileCache::DetectCdImage() {
    const CdImageScan scan = ScanCdImage(*this);
    cd_ = scan.info;
    if (!scan.hasVideoTrack) return;
    // Step into the MPEG track: it becomes the whole logical file.
    baseOffset_ = scan.trackStart;
    logicalLength_ = scan.trackStart < physicalSize_ ? std::min(scan.trackLength, physicalSize_ - scan.trackStart) : 0;
    position_ = 0;
    LoadHeader();
}

}  // namespace torvo
