#include "analysis/FastScan.h"

#include <fcntl.h>
#include <linux/aio_abi.h>
#include <sys/mman.h>
#include <sys/syscall.h>
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
constexpr int kMaxReadDepth = CDirectFileSource::kAsyncDepth;
// Below normal: one nice step under the thread that started it, as a
// background task that still keeps pace with the disk on a busy machine.
constexpr int kBelowNormalStep = 1;

constexpr size_t kHugePage = 2 << 20;

struct AlignedFree {
    void operator()(uint8_t* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<uint8_t, AlignedFree>;

// A read buffer: the overlap area, then the chunk the reads fill. The chunk
// starts on a 2 MiB boundary and is offered huge pages: an unbuffered read
// then pins two large pages instead of a thousand small ones, and the disk
// gets long contiguous segments (on virtual disks twice the throughput).
// The overlap area stays on small pages, so only what is used is resident.
struct ReadBuffer {
    AlignedBuffer block;
    uint8_t* start = nullptr;  // the overlap area; start + kOverlap is the chunk
};

ReadBuffer AllocateBuffer(size_t overlap, size_t chunk) {
    static_assert(CFastScan::kChunk % kHugePage == 0 && CFastScan::kOverlap <= kHugePage);
    ReadBuffer b;
    b.block = AlignedBuffer(static_cast<uint8_t*>(std::aligned_alloc(kHugePage, kHugePage + chunk)));
    if (!b.block) return b;
    uint8_t* area = b.block.get() + kHugePage;
    ::madvise(area, chunk, MADV_HUGEPAGE);  // a hint: without it the reads only cost more
    b.start = area - overlap;
    return b;
}

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
    while (!pending_.empty()) FinishRead();
    if (aioContext_) ::syscall(SYS_io_destroy, aioContext_);
    if (fd_ >= 0) ::close(fd_);
}

void CDirectFileSource::StartRead(uint64_t offset, uint8_t* dst, size_t n) {
    Pending read;
    read.id = ++nextId_;
    read.offset = offset;
    read.dst = dst;
    read.size = n;
    if (direct_ && aioContext_) {
        iocb block{};
        block.aio_data = read.id;
        block.aio_fildes = static_cast<uint32_t>(fd_);
        block.aio_lio_opcode = IOCB_CMD_PREAD;
        block.aio_buf = reinterpret_cast<uint64_t>(dst);
        block.aio_offset = static_cast<int64_t>(offset);
        block.aio_nbytes = n;
        iocb* blocks[1] = {&block};
        read.async = ::syscall(SYS_io_submit, aioContext_, 1, blocks) == 1;
        if (!read.async) {
            // The kernel would not queue it: read it now, on this thread, as
            // a helper thread might race the switch to buffered reads.
            read.async = read.done = true;
            read.result = Read(offset, dst, n);
            // The count is final (no fallback in FinishRead): mark it so.
            if (read.result >= 0 && size_t(read.result) < n) read.size = size_t(read.result);
        }
    } else {
        ScanSource::StartRead(offset, dst, n);
    }
    pending_.push_back(read);
}

bool CDirectFileSource::Reap() {
    std::array<io_event, kAsyncDepth> events{};
    long got = 0;
    do {
        got = ::syscall(SYS_io_getevents, aioContext_, 1, long(events.size()), events.data(), nullptr);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    for (long e = 0; e < got; ++e)
        for (Pending& read : pending_)
            if (read.async && read.id == events[size_t(e)].data) {
                read.done = true;
                read.result = events[size_t(e)].res;
            }
    return true;
}

int64_t CDirectFileSource::FinishRead() {
    if (pending_.empty()) return -1;
    if (!pending_.front().async) {
        pending_.pop_front();
        return ScanSource::FinishRead();
    }
    while (!pending_.front().done)
        if (!Reap()) {
            // The kernel lost track of the reads: nothing of them can be trusted.
            for (const Pending& read : pending_)
                if (!read.async) ScanSource::FinishRead();
            pending_.clear();
            return -1;
        }
    const Pending read = pending_.front();
    pending_.pop_front();
    const int64_t result = read.result;
    if (result == -EINVAL || (result >= 0 && size_t(result) < read.size && read.offset + uint64_t(result) < size_)) {
        // Refused, or short before the end: the rest the ordinary way.
        const uint64_t done = result > 0 ? uint64_t(result) : 0;
        const int64_t rest = Read(read.offset + done, read.dst + done, read.size - done);
        return rest < 0 ? -1 : int64_t(done) + rest;
    }
    return result < 0 ? -1 : result;
}

bool CDirectFileSource::Open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    direct_ = fd_ >= 0;
    if (!direct_ && !Reopen()) return false;
    if (direct_) {
        aio_context_t context = 0;
        if (::syscall(SYS_io_setup, kAsyncDepth, &context) == 0) aioContext_ = context;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

bool CDirectFileSource::Reopen() {
    if (fd_ >= 0) ::close(fd_);
    direct_ = false;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

int64_t CDirectFileSource::BufferedRead(uint64_t offset, uint8_t* dst, size_t n) {
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd_, dst + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    // The scan never comes back: the pages behind it only crowd the cache.
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
        if (r < 0 && errno == EINVAL) {
            // Some file systems open with O_DIRECT and refuse the read.
            if (!Reopen()) return -1;
            const int64_t rest = BufferedRead(offset + got, dst + got, n - got);
            return rest < 0 ? -1 : static_cast<int64_t>(got) + rest;
        }
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
        if (got % kAlignment != 0 && got < n && offset + got < size_) {
            // A short unaligned read before the end: finish it buffered.
            if (!Reopen()) return -1;
            const int64_t rest = BufferedRead(offset + got, dst + got, n - got);
            return rest < 0 ? -1 : static_cast<int64_t>(got) + rest;
        }
    }
    return static_cast<int64_t>(got);
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
        const std::lock_guard lock(endMutex_);
        running_.store(false, std::memory_order_release);
    }
    ended_.notify_all();
}

bool CFastScan::WaitForEnd(std::chrono::milliseconds limit) {
    std::unique_lock lock(endMutex_);
    return ended_.wait_for(lock, limit, [this] { return !running_.load(std::memory_order_acquire); });
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
    // One buffer per read that may be under way, and the one being scanned.
    std::array<ReadBuffer, kMaxReadDepth + 1> buffers;
    const size_t ring = static_cast<size_t>(std::clamp(source.ReadDepth(), 1, kMaxReadDepth)) + 1;
    for (size_t b = 0; b < ring; ++b) {
        buffers[b] = AllocateBuffer(kOverlap, kChunk);
        if (!buffers[b].start) return false;
        std::memset(buffers[b].start, 0xFF, kBufferSize);
    }
    auto buffer = [&](uint64_t chunk) { return buffers[chunk % ring].start; };

    uint64_t dataEnd = fileSize_;
    bool readOk = true;
    // A short read is padded with 0xFF to the chunk's end.
    auto pad = [](uint8_t* area, int64_t n) {
        const size_t got = static_cast<size_t>(std::clamp<int64_t>(n, 0, int64_t(kChunk)));
        if (got < kChunk) std::memset(area + got, 0xFF, kChunk - got);
    };
    uint64_t started = 0, finished = 0;  // chunks whose reads were started, and collected
    int endCycles = -1;  // cycles left once the end of the file (or a read error) was met
    // Reads of the chunks ahead go on while this one is scanned; a buffer is
    // read into again only once the chunk after it has its overlap.
    auto startReads = [&](uint64_t chunk) {
        const uint64_t depth = static_cast<uint64_t>(std::clamp(source.ReadDepth(), 1, int(ring) - 1));
        while (endCycles < 0 && started <= chunk + depth && started * kChunk < dataEnd &&
               !stopRequested_.load(std::memory_order_relaxed)) {
            source.StartRead(started * kChunk, buffer(started) + kOverlap, kChunk);
            ++started;
        }
    };
    std::deque<int64_t> cycleMs;
    startReads(0);
    for (uint64_t chunk = 0;; ++chunk) {
        const auto cycleStart = std::chrono::steady_clock::now();
        const uint64_t offset = chunk * kChunk;
        uint8_t* current = buffer(chunk);
        int64_t n = 0;
        if (chunk < started) {
            n = source.FinishRead();
            ++finished;
        }
        if (endCycles >= 0) n = 0;  // past the end: only the padding is scanned
        if (n < 0) {
            readOk = false;
            dataEnd = std::min(dataEnd, offset);
        } else {
            bytesRead_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
            if (static_cast<uint64_t>(n) < kChunk) dataEnd = std::min(dataEnd, offset + static_cast<uint64_t>(n));
        }
        pad(current + kOverlap, n);
        if (chunk > 0) std::memcpy(current, buffer(chunk - 1) + kChunk, kOverlap);
        if (endCycles < 0 && offset + kChunk >= dataEnd) endCycles = 2;
        startReads(chunk);

        const bool ended = chunk == 0 ? scanner.Scan(ByteView(current + kOverlap, kChunk), 0, dataEnd)
                                      : scanner.Scan(ByteView(current, kBufferSize), offset - kOverlap, dataEnd);

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
        if (endCycles >= 0 && endCycles-- == 0) break;
    }
    // Reads still under way write into the buffers: let them land first.
    for (; finished < started; ++finished) source.FinishRead();
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
