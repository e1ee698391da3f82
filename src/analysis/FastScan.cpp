#include "analysis/FastScan.h"

#include <fcntl.h>
#include <linux/aio_abi.h>
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
// Below normal: one nice step under the thread that started it, as a
// background task that still keeps pace with the disk on a busy machine.
constexpr int kBelowNormalStep = 1;

struct AlignedFree {
    void operator()(uint8_t* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<uint8_t, AlignedFree>;

AlignedBuffer AllocateBuffer(size_t size) {
    return AlignedBuffer(static_cast<uint8_t*>(std::aligned_alloc(kAlignment, size)));
}

}  // namespace

// --- ScanSource ---

void ScanSource::StartRead(uint64_t offset, uint8_t* dst, size_t n) {
    pending_ = std::async(std::launch::async, [this, offset, dst, n] { return Read(offset, dst, n); });
}

int64_t ScanSource::FinishRead() { return pending_.valid() ? pending_.get() : -1; }

// --- CDirectFileSource ---

CDirectFileSource::~CDirectFileSource() {
    if (asyncPending_) FinishRead();
    if (aioContext_) ::syscall(SYS_io_destroy, aioContext_);
    if (fd_ >= 0) ::close(fd_);
}

void CDirectFileSource::StartRead(uint64_t offset, uint8_t* dst, size_t n) {
    if (direct_ && !aioContext_) {
        aio_context_t context = 0;
        if (::syscall(SYS_io_setup, 1, &context) == 0) aioContext_ = context;
    }
    if (direct_ && aioContext_) {
        iocb block{};
        block.aio_fildes = static_cast<uint32_t>(fd_);
        block.aio_lio_opcode = IOCB_CMD_PREAD;
        block.aio_buf = reinterpret_cast<uint64_t>(dst);
        block.aio_offset = static_cast<int64_t>(offset);
        block.aio_nbytes = n;
        iocb* blocks[1] = {&block};
        if (::syscall(SYS_io_submit, aioContext_, 1, blocks) == 1) {
            asyncPending_ = true;
            pendingOffset_ = offset;
            pendingDst_ = dst;
            pendingSize_ = n;
            return;
        }
    }
    ScanSource::StartRead(offset, dst, n);
}

int64_t CDirectFileSource::FinishRead() {
    if (!asyncPending_) return ScanSource::FinishRead();
    asyncPending_ = false;
    io_event event{};
    long got = 0;
    do {
        got = ::syscall(SYS_io_getevents, aioContext_, 1, 1, &event, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got != 1) return -1;
    const int64_t result = event.res;
    if (result == -EINVAL || (result >= 0 && size_t(result) < pendingSize_ && pendingOffset_ + uint64_t(result) < size_)) {
        // Refused, or short before the end: the rest the ordinary way.
        const uint64_t done = result > 0 ? uint64_t(result) : 0;
        const int64_t rest = Read(pendingOffset_ + done, pendingDst_ + done, pendingSize_ - done);
        return rest < 0 ? -1 : int64_t(done) + rest;
    }
    return result < 0 ? -1 : result;
}

bool CDirectFileSource::Open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    direct_ = fd_ >= 0;
    if (!direct_ && !Reopen()) return false;
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
    running_.store(false, std::memory_order_release);
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
    std::array<AlignedBuffer, 2> buffers = {AllocateBuffer(kBufferSize), AllocateBuffer(kBufferSize)};
    if (!buffers[0] || !buffers[1]) return false;
    for (const AlignedBuffer& b : buffers) std::memset(b.get(), 0xFF, kBufferSize);

    uint64_t dataEnd = fileSize_;
    bool readOk = true;
    // A short read is padded with 0xFF to the chunk's end.
    auto pad = [](uint8_t* area, int64_t n) {
        const size_t got = static_cast<size_t>(std::clamp<int64_t>(n, 0, int64_t(kChunk)));
        if (got < kChunk) std::memset(area + got, 0xFF, kChunk - got);
    };
    std::deque<int64_t> cycleMs;
    int64_t n = source.Read(0, buffers[0].get() + kOverlap, kChunk);
    pad(buffers[0].get() + kOverlap, n);
    int endCycles = -1;  // cycles left once the end of the file (or a read error) was met
    for (uint64_t chunk = 0;; ++chunk) {
        const auto cycleStart = std::chrono::steady_clock::now();
        const uint64_t offset = chunk * kChunk;
        if (n < 0) {
            readOk = false;
            dataEnd = std::min(dataEnd, offset);
        } else {
            bytesRead_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
            if (static_cast<uint64_t>(n) < kChunk) dataEnd = std::min(dataEnd, offset + static_cast<uint64_t>(n));
        }
        if (endCycles < 0 && offset + kChunk >= dataEnd) endCycles = 2;

        uint8_t* current = buffers[chunk & 1].get();
        uint8_t* following = buffers[(chunk + 1) & 1].get();
        // The next read runs while this chunk is scanned.
        const bool readMore = endCycles < 0;
        if (readMore) source.StartRead(offset + kChunk, following + kOverlap, kChunk);
        const bool ended = chunk == 0 ? scanner.Scan(ByteView(current + kOverlap, kChunk), 0, dataEnd)
                                      : scanner.Scan(ByteView(current, kBufferSize), offset - kOverlap, dataEnd);
        n = readMore ? source.FinishRead() : 0;
        pad(following + kOverlap, n);
        std::memcpy(following, current + kChunk, kOverlap);

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
    const size_t first = count > 64 ? count - 64 : 0;
    std::array<uint64_t, 4> packed{};
    for (size_t i = first; i < count; ++i)
        packed[(i - first) / 16] |= uint64_t(r.Frames()[i] & 0xF) << ((i - first) % 16 * 4);
    for (size_t w = 0; w < packed.size(); ++w) lastTypes_[w].store(packed[w], std::memory_order_relaxed);
    lastTypeCount_.store(static_cast<uint32_t>(count - first), std::memory_order_relaxed);
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
    const uint32_t count = std::min<uint32_t>(lastTypeCount_.load(std::memory_order_relaxed), 64);
    for (uint32_t i = 0; i < count; ++i)
        p.lastTypes.push_back(
            static_cast<uint8_t>(lastTypes_[i / 16].load(std::memory_order_relaxed) >> (i % 16 * 4) & 7));
    return p;
}

}  // namespace torvo
