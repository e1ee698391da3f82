#include "analysis/FastScan.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <future>
#include <numeric>

#include "formats/mpeg/SystemScanner.h"
#include "formats/riff/AviChunkScanner.h"

namespace torvo {
namespace {

constexpr size_t kAlignment = 4096;
constexpr int kSpeedCycles = 8;
constexpr int kMaxReadDepth = CDirectFileSource::kDirectDepth;
// Below normal: one nice step under the thread that started it, as a
// background task that still keeps pace with the disk on a busy machine.
constexpr int kBelowNormalStep = 1;

constexpr size_t kHugePage = 2 << 20;

struct AlignedFree {
    void operator()(uint8_t* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<uint8_t, AlignedFree>;

// A read buffer: the overlap area, then the chunk the reads fill. A whole
// 4 MiB chunk starts on a 2 MiB boundary and is offered huge pages: an
// unbuffered read then pins two large pages instead of a thousand small ones,
// and the disk gets long contiguous segments (on virtual disks twice the
// throughput). A smaller chunk (the whole of a small file) stays on small
// pages, so that only what the file fills is ever touched.
struct ReadBuffer {
    AlignedBuffer block;
    uint8_t* start = nullptr;  // the overlap area; start + kOverlap is the chunk
};

ReadBuffer AllocateBuffer(size_t overlap, size_t chunk) {
    static_assert(CFastScan::kChunk % kHugePage == 0 && CFastScan::kOverlap <= kHugePage &&
                  CFastScan::kOverlap % kAlignment == 0);
    ReadBuffer b;
    if (chunk < CFastScan::kChunk) {
        b.block = AlignedBuffer(static_cast<uint8_t*>(std::aligned_alloc(kAlignment, overlap + chunk)));
        b.start = b.block.get();
        return b;
    }
    b.block = AlignedBuffer(static_cast<uint8_t*>(std::aligned_alloc(kHugePage, kHugePage + chunk)));
    if (!b.block) return b;
    uint8_t* area = b.block.get() + kHugePage;
    ::madvise(area, chunk, MADV_HUGEPAGE);  // a hint: without it the reads only cost more
    b.start = area - overlap;
    return b;
}

uint64_t RoundUp(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

}  // namespace

// --- ScanSource ---

ScanSource::~ScanSource() {
    // A read under way writes into the caller's buffer: never leave one behind.
    while (!pending_.empty()) FinishRead();
}

void ScanSource::StartRead(uint64_t offset, uint8_t* dst, size_t n) {
    pending_.push_back(std::async(std::launch::async, [this, offset, dst, n] { return Read(offset, dst, n); }));
}

int64_t ScanSource::FinishRead() {
    if (pending_.empty()) return -1;
    std::future<int64_t> oldest = std::move(pending_.front());
    pending_.pop_front();
    return oldest.valid() ? oldest.get() : -1;
}

// --- CDirectFileSource ---

CDirectFileSource::~CDirectFileSource() {
    // A read under way on a helper thread uses the descriptor: let it land first.
    while (ReadsUnderWay() > 0) ScanSource::FinishRead();
    guard_.reset();
    if (residency_) ::munmap(residency_, size_);
    if (fd_ >= 0) ::close(fd_);
}

bool CDirectFileSource::Open(const std::string& path) {
    path_ = path;
    if (!OpenBuffered()) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    size_ = static_cast<uint64_t>(st.st_size);
    // A file of one chunk is read whole; the header read holds most of them already.
    if (size_ <= CFastScan::kChunk) return true;
    // Ask the cache which pages it holds through a mapping, which the scan
    // reads when the file is wholly there.
    void* map = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
    if (map != MAP_FAILED) residency_ = map;
    const double resident = ResidentShare();
    mapped_ = resident == 1.0;
    if (mapped_) {
        // A file cut short while the scan reads its mapping reads as zeros
        // from there instead of ending the process.
        guard_ = std::make_unique<MappingGuard>(residency_, size_);
        if (!guard_->Guarded()) {
            guard_.reset();
            mapped_ = false;
        }
    }
    if (size_ <= kBufferedUpTo && !mapped_ && residency_) {
        // Read buffered as before: the mapping served only the question.
        ::munmap(residency_, size_);
        residency_ = nullptr;
    }
    if (size_ <= kBufferedUpTo || resident >= 0.5) return true;
    const int direct = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (direct < 0) {
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
        return true;
    }
    ::close(fd_);
    fd_ = direct;
    direct_ = true;
    return true;
}

bool CDirectFileSource::MappedWhole() const {
    struct stat st {};
    return mapped_ && ::fstat(fd_, &st) == 0 && static_cast<uint64_t>(st.st_size) >= size_;
}

void CDirectFileSource::DoneWithMapped(uint64_t end) {
    end = std::min(end, size_ / kAlignment * kAlignment);
    if (!mapped_ || end <= releasedUpTo_) return;
    ::madvise(static_cast<uint8_t*>(residency_) + releasedUpTo_, end - releasedUpTo_, MADV_DONTNEED);
    releasedUpTo_ = end;
}

bool CDirectFileSource::OpenBuffered() {
    if (fd_ >= 0) ::close(fd_);
    direct_ = false;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

double CDirectFileSource::ResidentShare() const {
    if (!residency_ || size_ == 0) return 0;
    const uint64_t pages = RoundUp(size_, kAlignment) / kAlignment;
    std::vector<unsigned char> resident(pages);
    if (::mincore(residency_, size_, resident.data()) != 0) return 0;
    uint64_t count = 0;
    for (const unsigned char page : resident) count += page & 1;
    return double(count) / double(pages);
}

bool CDirectFileSource::AnyResident(uint64_t offset, size_t n) const {
    // Unknown counts as cached: a page of another program's is never dropped on a guess.
    if (!residency_ || offset >= size_) return true;
    const uint64_t first = offset / kAlignment * kAlignment;
    const uint64_t end = std::min<uint64_t>(size_, offset + n);
    std::vector<unsigned char> resident(RoundUp(end - first, kAlignment) / kAlignment);
    if (::mincore(static_cast<uint8_t*>(residency_) + first, end - first, resident.data()) != 0) return true;
    return std::any_of(resident.begin(), resident.end(), [](unsigned char page) { return (page & 1) != 0; });
}

int64_t CDirectFileSource::BufferedRead(uint64_t offset, uint8_t* dst, size_t n) {
    const bool wasCached = AnyResident(offset, n);
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd_, dst + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    // The scan never comes back: pages it brought in only crowd the cache.
    // Pages that were there before belong to whoever uses the file and stay.
    if (!wasCached && got > 0)
        ::posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(got), POSIX_FADV_DONTNEED);
    return static_cast<int64_t>(got);
}

int64_t CDirectFileSource::Read(uint64_t offset, uint8_t* dst, size_t n) {
    if (fd_ < 0) return -1;
    if (!direct_) return BufferedRead(offset, dst, n);
    size_t got = 0;
    while (got < n && offset + got < size_) {
        const ssize_t r = ::pread(fd_, dst + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == EINVAL) break;  // refused: the rest below
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
        if (got % kAlignment != 0 && got < n && offset + got < size_) break;  // the rest below
    }
    if (got < n && offset + got < size_) {
        // Refused or cut short before the end (some file systems open with
        // O_DIRECT and then refuse the reads): the rest through a buffered descriptor.
        const int buffered = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (buffered < 0) return -1;
        size_t more = 0;
        while (got + more < n) {
            const ssize_t r = ::pread(buffered, dst + got + more, n - got - more, static_cast<off_t>(offset + got + more));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            more += static_cast<size_t>(r);
        }
        ::close(buffered);
        got += more;
    }
    return static_cast<int64_t>(got);
}

void CDirectFileSource::StartRead(uint64_t offset, uint8_t* dst, size_t n) {
    if (direct_) return ScanSource::StartRead(offset, dst, n);
    // From the cache a read is a copy: no helper thread is worth starting for it.
    inlineResults_.push_back(Read(offset, dst, n));
}

int64_t CDirectFileSource::FinishRead() {
    if (direct_ || inlineResults_.empty()) return ScanSource::FinishRead();
    const int64_t result = inlineResults_.front();
    inlineResults_.pop_front();
    return result;
}

// --- CHeldFileSource ---

CHeldFileSource::~CHeldFileSource() {
    if (release_) release_(bytes_, capacity_);
}

int64_t CHeldFileSource::Read(uint64_t offset, uint8_t* dst, size_t n) {
    if (!bytes_) return -1;
    const size_t count = offset >= size_ ? 0 : static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    // A read into the held block itself (the scan in place) has nothing to move.
    if (count > 0 && dst != bytes_ + offset) std::memcpy(dst, bytes_ + offset, count);
    return static_cast<int64_t>(count);
}

int64_t CHeldFileSource::FinishRead() {
    if (results_.empty()) return -1;
    const int64_t result = results_.front();
    results_.pop_front();
    return result;
}

// --- CFastScan ---

CFastScan::CFastScan(std::unique_ptr<ScanSource> source) : source_(std::move(source)) {}

CFastScan::~CFastScan() {
    RequestStop();
    Join();
}

void CFastScan::Join() {
    if (thread_.joinable()) thread_.join();
}

bool CFastScan::Start(FastScanParams params) {
    if (thread_.joinable() || running_.load()) return false;
    params_ = std::move(params);
    if (!source_) source_ = std::make_unique<CDirectFileSource>();
    started_ = std::chrono::steady_clock::now();
    running_.store(true, std::memory_order_release);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CFastScan::End(bool failed) {
    failed_.store(failed, std::memory_order_relaxed);
    const bool stopped = stopRequested_.load(std::memory_order_relaxed);
    stopped_.store(stopped, std::memory_order_relaxed);
    // Flags last: whoever sees them sees the results.
    if (!stopped) done_.store(true, std::memory_order_release);
    finished_.store(true, std::memory_order_release);
    {
        // Under the lock, so that a waiter cannot miss the change between its test and its wait.
        const std::lock_guard<std::mutex> lock(endMutex_);
        running_.store(false, std::memory_order_release);
    }
    endSignal_.notify_all();
}

bool CFastScan::WaitUntilEnded(std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(endMutex_);
    return endSignal_.wait_for(lock, limit, [this] { return !running_.load(std::memory_order_acquire); });
}

void CFastScan::Run() {
    const auto self = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) ::setpriority(PRIO_PROCESS, self, nice + kBelowNormalStep);
    ScanSource& source = *source_;
    if (!source.Open(params_.path)) return End(true);
    fileSize_ = source.Size();
    if (const auto* direct = dynamic_cast<const CDirectFileSource*>(&source)) unbuffered_ = direct->Unbuffered();

    const bool mpeg4 = params_.mpeg4 || (params_.avi && params_.mpegVideo);
    recorder_.Reset();
    recorder_.Configure(mpeg4 ? CPictureRecorder::Mode::kMpeg4 : CPictureRecorder::Mode::kMpeg12,
                        params_.timeIncrementBits, params_.mpeg2);
    std::unique_ptr<CFrameScanner> scanner;
    if (params_.avi) scanner = std::make_unique<CAviChunkScanner>(recorder_, params_.mpegVideo);
    else if (params_.elementaryVideo) scanner = std::make_unique<CElementaryScanner>(recorder_);
    else scanner = std::make_unique<CSystemStreamScanner>(recorder_);

    const bool readOk = ReadLoop(source, *scanner);
    if (stopRequested_.load(std::memory_order_relaxed)) return End(false);
    recorder_.Flush();
    totals_ = scanner->Totals();
    gop_ = AnalyseGopPattern(recorder_.Frames(), recorder_.PictureCount(), recorder_.GopHeaderSeen());
    Publish(*scanner);
    End(!readOk);
}

bool CFastScan::ReadLoop(ScanSource& source, CFrameScanner& scanner) {
    // A file smaller than a chunk is read in one piece of its own size
    // (scanners ignore what lies beyond the end of the data, so the results
    // are those of a whole chunk), and only the pages it fills are touched.
    const size_t chunkSize = fileSize_ < kChunk ? size_t(RoundUp(std::max<uint64_t>(fileSize_, 1), kAlignment)) : kChunk;
    const uint64_t chunksInFile = std::max<uint64_t>(1, (fileSize_ + chunkSize - 1) / chunkSize);
    // A file of one chunk that the source holds in memory is scanned where
    // it lies (its block has room for the padding).
    uint8_t* const held = chunkSize < kChunk ? source.HeldBytes(chunkSize) : nullptr;
    // A mapped file's whole chunks are scanned in the mapping, each with the
    // overlap in front of it; only the last, short one and the padding after
    // it go through a buffer.
    const uint8_t* const mapped = held || chunkSize < kChunk ? nullptr : source.Mapped();
    auto inMap = [&](uint64_t chunk) { return mapped && (chunk + 1) * chunkSize <= fileSize_; };
    inPlace_ = mapped != nullptr;
    // One buffer per read that may be under way, and the one being scanned.
    std::array<ReadBuffer, kMaxReadDepth + 1> buffers;
    const size_t ring = static_cast<size_t>(
        std::min<uint64_t>(uint64_t(std::clamp(source.ReadDepth(), 1, kMaxReadDepth)) + 1, chunksInFile));
    for (size_t b = 0; b < ring && !held; ++b) {
        buffers[b] = AllocateBuffer(kOverlap, chunkSize);
        if (!buffers[b].start) return false;
    }
    auto buffer = [&](uint64_t chunk) { return buffers[chunk % ring].start; };
    // Where a chunk's new data goes: after the overlap of its buffer, or the held block.
    auto chunkArea = [&](uint64_t chunk) { return held ? held : buffer(chunk) + kOverlap; };

    uint64_t dataEnd = fileSize_;
    bool readOk = true;
    // A short read is padded with 0xFF to the chunk's end.
    auto pad = [chunkSize](uint8_t* area, int64_t n) {
        const size_t got = static_cast<size_t>(std::clamp<int64_t>(n, 0, int64_t(chunkSize)));
        if (got < chunkSize) std::memset(area + got, 0xFF, chunkSize - got);
    };
    uint64_t started = 0, finished = 0;  // chunks whose reads were started, and collected
    int endCycles = -1;  // cycles left once the end of the file (or a read error) was met
    // Reads of the chunks ahead go on while this one is scanned; a buffer is
    // read into again only once the chunk after it has its overlap.
    auto startReads = [&](uint64_t chunk) {
        const uint64_t depth = std::min<uint64_t>(uint64_t(std::clamp(source.ReadDepth(), 1, kMaxReadDepth)), ring - 1);
        while (endCycles < 0 && started <= chunk + depth && started * chunkSize < dataEnd &&
               !stopRequested_.load(std::memory_order_relaxed)) {
            if (!inMap(started)) source.StartRead(started * chunkSize, chunkArea(started), chunkSize);
            ++started;
        }
    };
    std::deque<int64_t> cycleMs;
    startReads(0);
    for (uint64_t chunk = 0;; ++chunk) {
        const auto cycleStart = std::chrono::steady_clock::now();
        const uint64_t offset = chunk * chunkSize;
        uint8_t* current = held ? nullptr : buffer(chunk);
        int64_t n = 0;
        if (inMap(chunk) && !source.MappedWhole()) {
            // Cut short under the mapping: the scan ends as a failed read.
            readOk = false;
            break;
        }
        if (inMap(chunk)) {
            n = int64_t(chunkSize);
            ++finished;
        } else if (chunk < started) {
            n = source.FinishRead();
            ++finished;
        }
        if (endCycles >= 0) n = 0;  // past the end: only the padding is scanned
        if (n < 0) {
            readOk = false;
            dataEnd = std::min(dataEnd, offset);
        } else {
            bytesRead_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
            if (static_cast<uint64_t>(n) < chunkSize) dataEnd = std::min(dataEnd, offset + static_cast<uint64_t>(n));
        }
        if (!inMap(chunk)) {
            pad(chunkArea(chunk), n);
            if (chunk > 0)
                std::memcpy(current, inMap(chunk - 1) ? mapped + offset - kOverlap : buffer(chunk - 1) + chunkSize,
                            kOverlap);
        }
        if (endCycles < 0 && offset + chunkSize >= dataEnd) endCycles = 2;
        startReads(chunk);

        const uint8_t* const view = inMap(chunk) ? mapped + offset - (chunk == 0 ? 0 : kOverlap) : current;
        const bool ended = chunk == 0 ? scanner.Scan(ByteView(inMap(0) ? view : chunkArea(0), chunkSize), 0, dataEnd)
                                      : scanner.Scan(ByteView(view, chunkSize + kOverlap), offset - kOverlap, dataEnd);

        // Only the next chunk's overlap is looked at again: the process's
        // size stays that of a chunk, not of the file.
        if (inMap(chunk)) source.DoneWithMapped(offset + chunkSize - kOverlap);
        const auto now = std::chrono::steady_clock::now();
        cycleMs.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(now - cycleStart).count());
        if (cycleMs.size() > kSpeedCycles) cycleMs.pop_front();
        if (cycleMs.size() == kSpeedCycles) {
            const int64_t sum = std::max<int64_t>(1, std::accumulate(cycleMs.begin(), cycleMs.end(), int64_t(0)));
            speed_.store(static_cast<int32_t>(std::min<int64_t>(32768000 / sum, INT32_MAX)), std::memory_order_relaxed);
        }
        elapsed_.store(std::chrono::duration_cast<std::chrono::milliseconds>(now - started_).count(),
                       std::memory_order_relaxed);
        Publish(scanner);
        if (stopRequested_.load(std::memory_order_relaxed) || ended) break;
        // A file of one short chunk has been seen whole: the cycles of
        // padding that follow a full chunk would find nothing new in it.
        if (chunkSize < kChunk) break;
        if (endCycles >= 0 && endCycles-- == 0) break;
    }
    // Reads still under way write into the buffers: let them land first.
    for (; finished < started; ++finished)
        if (!inMap(finished)) source.FinishRead();
    return readOk;
}

void CFastScan::Publish(const CFrameScanner& scanner) {
    const CPictureRecorder& r = recorder_;
    const VideoStreamCounters& v = r.Video();
    const ScanTotals& t = scanner.Totals();
    pictures_.store(v.pictures, std::memory_order_relaxed);
    for (size_t i = 0; i < byType_.size(); ++i) byType_[i].store(v.byType[i], std::memory_order_relaxed);
    videoBytes_.store(t.videoBytes, std::memory_order_relaxed);
    audioBytes_.store(t.audioBytes, std::memory_order_relaxed);
    videoChunks_.store(t.videoChunks, std::memory_order_relaxed);
    largest_.store(std::max<uint64_t>(v.largestPicture, t.largestChunk), std::memory_order_relaxed);
    longestSinceI_.store(v.longestSinceI, std::memory_order_relaxed);
    const size_t count = r.PictureCount();
    const size_t first = count > lastPictures_.size() ? count - lastPictures_.size() : 0;
    for (size_t i = first; i < count; ++i) lastPictures_[i - first].store(r.Frames()[i], std::memory_order_relaxed);
    lastPictureCount_.store(static_cast<uint32_t>(count - first), std::memory_order_relaxed);
}

ScanProgress CFastScan::Progress() const {
    ScanProgress p;
    p.bytesRead = BytesRead();
    p.speedKiBps = SpeedKiBps();
    p.elapsedMs = ElapsedMs();
    p.pictures = pictures_.load(std::memory_order_relaxed);
    for (size_t i = 0; i < byType_.size(); ++i) p.byType[i] = byType_[i].load(std::memory_order_relaxed);
    p.videoBytes = videoBytes_.load(std::memory_order_relaxed);
    p.audioBytes = audioBytes_.load(std::memory_order_relaxed);
    p.videoChunks = videoChunks_.load(std::memory_order_relaxed);
    p.largestFrame = largest_.load(std::memory_order_relaxed);
    p.longestSinceI = longestSinceI_.load(std::memory_order_relaxed);
    const uint32_t count = std::min<uint32_t>(lastPictureCount_.load(std::memory_order_relaxed), 64);
    for (uint32_t i = 0; i < count; ++i) p.lastPictures.push_back(lastPictures_[i].load(std::memory_order_relaxed));
    return p;
}

}  // namespace torvo
