// CFastScan: the background full scan. A thread at lowered priority reads
// the whole file in chunks of up to 4 MiB (cached files buffered, large
// uncached ones unbuffered with the next reads overlapping the scan of the
// current chunk) and feeds every
// byte to the frame scanner for the file kind. The thread that started it
// only reads its flags and figures (atomics) and, once it is done, its
// results; nothing else is shared.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/MappedRegion.h"
#include "formats/mpeg/FrameScanner.h"
#include "formats/mpeg/PictureRecorder.h"

namespace torvo {

// Where the scan reads from: the file, or in tests a source that fails.
class ScanSource {
public:
    virtual ~ScanSource();
    virtual bool Open(const std::string& path) = 0;
    virtual uint64_t Size() const = 0;
    // Reads up to n bytes at offset (a multiple of 4096) into dst (aligned
    // to 4096); the count read, short only at the end of the file, or -1.
    virtual int64_t Read(uint64_t offset, uint8_t* dst, size_t n) = 0;
    // The same as reads that run while the caller works: StartRead, then
    // FinishRead for the count of the oldest read started. Here on helper
    // threads.
    virtual void StartRead(uint64_t offset, uint8_t* dst, size_t n);
    virtual int64_t FinishRead();
    // How many reads may be under way at once.
    virtual int ReadDepth() const { return 1; }
    // The whole file mapped and wholly in the page cache, or null: its
    // chunks are scanned where they lie, without a copy.
    virtual const uint8_t* Mapped() const { return nullptr; }
    // Whether the mapped file still has the size it was opened with (a file
    // cut short under a mapping would fault on its lost pages).
    virtual bool MappedWhole() const { return false; }
    // The mapped bytes before `end` (a multiple of 4096) are not looked at
    // again: their pages leave this process (the page cache keeps them).
    virtual void DoneWithMapped(uint64_t end) { (void)end; }
    // The whole file already in memory, in a writable block of at least
    // `capacity` bytes that the scan may pad, or null: a source that holds
    // the file is scanned where the bytes lie, without a read.
    virtual uint8_t* HeldBytes(size_t capacity) {
        (void)capacity;
        return nullptr;
    }

protected:
    size_t ReadsUnderWay() const { return pending_.size(); }

private:
    std::deque<std::future<int64_t>> pending_;
};

// Reads the file from where its bytes already are. A file larger than a
// chunk whose every page the page cache holds is scanned in place through a
// mapping. Pages the page cache holds (a small file the header read has just
// brought in, or one another program uses) are read buffered and left in the cache. A large file that is
// not cached is read unbuffered (O_DIRECT), two reads under way on helper
// threads, so that the disk never waits for the scan to be scheduled. Where
// the file system refuses O_DIRECT, buffered reads serve and drop behind the
// scan only the pages that were not cached before it. Nothing is set up or
// torn down in the kernel per file beyond the descriptors.
class CDirectFileSource : public ScanSource {
public:
    static constexpr int kDirectDepth = 2;
    // Files up to this size are read buffered: the header read has just put
    // them in the cache, or their pages cost less than setting up unbuffered reads.
    static constexpr uint64_t kBufferedUpTo = 16u << 20;

    ~CDirectFileSource() override;
    bool Open(const std::string& path) override;
    uint64_t Size() const override { return size_; }
    int64_t Read(uint64_t offset, uint8_t* dst, size_t n) override;
    void StartRead(uint64_t offset, uint8_t* dst, size_t n) override;
    int64_t FinishRead() override;
    int ReadDepth() const override { return direct_ ? kDirectDepth : 1; }
    const uint8_t* Mapped() const override { return mapped_ ? static_cast<const uint8_t*>(residency_) : nullptr; }
    bool MappedWhole() const override;
    void DoneWithMapped(uint64_t end) override;
    bool Unbuffered() const { return direct_; }

private:
    bool OpenBuffered();
    // Whether any page of [offset, offset + n) is in the page cache.
    bool AnyResident(uint64_t offset, size_t n) const;
    // The share of the file's pages in the page cache, 0 to 1.
    double ResidentShare() const;
    int64_t BufferedRead(uint64_t offset, uint8_t* dst, size_t n);

    std::string path_;
    int fd_ = -1;
    bool direct_ = false;
    uint64_t size_ = 0;
    // A mapping of the file that is never touched, only asked which pages
    // are resident (mincore); null where the file is small or cannot be mapped.
    void* residency_ = nullptr;
    // Every page of the file was in the cache when it was opened: the scan
    // reads it through that mapping.
    bool mapped_ = false;
    std::unique_ptr<MappingGuard> guard_;  // while the scan reads the mapping
    uint64_t releasedUpTo_ = 0;  // of the mapping, by DoneWithMapped
    std::deque<int64_t> inlineResults_;  // buffered reads done at StartRead
};

// A file the header read brought into memory whole: the scan reads it from
// there (no second open, no copy) and gives the block back when it goes.
class CHeldFileSource : public ScanSource {
public:
    using Release = std::function<void(uint8_t* bytes, size_t capacity)>;
    CHeldFileSource(uint8_t* bytes, size_t size, size_t capacity, Release release)
        : bytes_(bytes), size_(size), capacity_(capacity), release_(std::move(release)) {}
    ~CHeldFileSource() override;
    CHeldFileSource(const CHeldFileSource&) = delete;
    CHeldFileSource& operator=(const CHeldFileSource&) = delete;
    bool Open(const std::string&) override { return bytes_ != nullptr; }
    uint64_t Size() const override { return size_; }
    int64_t Read(uint64_t offset, uint8_t* dst, size_t n) override;
    void StartRead(uint64_t offset, uint8_t* dst, size_t n) override { results_.push_back(Read(offset, dst, n)); }
    int64_t FinishRead() override;
    uint8_t* HeldBytes(size_t capacity) override { return capacity <= capacity_ ? bytes_ : nullptr; }

private:
    uint8_t* bytes_;
    size_t size_, capacity_;
    Release release_;
    std::deque<int64_t> results_;
};

struct FastScanParams {
    std::string path;
    bool elementaryVideo = false;  // an MPEG video elementary stream
    bool avi = false;
    bool mpegVideo = false;        // an MPEG file, or an AVI whose video is MPEG-4 Part 2
    bool mpeg4 = false, mpeg2 = false, interlaced = false;
    int timeIncrementBits = 0;     // of the MPEG-4 video object layer
};

// The figures a running scan publishes after every cycle.
struct ScanProgress {
    uint64_t bytesRead = 0;
    int32_t speedKiBps = 0;  // 0 until eight cycles have run
    int64_t elapsedMs = 0;
    uint64_t pictures = 0;
    std::array<uint64_t, 5> byType{};  // S, I, P, B, D
    uint64_t videoBytes = 0, audioBytes = 0, videoChunks = 0, largestFrame = 0;
    uint32_t longestSinceI = 0;
    std::vector<uint32_t> lastPictures;  // frame-list words of the last (up to) 64 pictures, oldest first
};

class CFastScan {
public:
    static constexpr size_t kChunk = 0x400000;      // 4 MiB of new data per cycle
    static constexpr size_t kOverlap = 0x40000;     // 256 KiB kept in front of it
    static constexpr size_t kBufferSize = kChunk + kOverlap;

    // source: null for the file itself.
    explicit CFastScan(std::unique_ptr<ScanSource> source = nullptr);
    ~CFastScan();  // stops the thread and waits for it
    CFastScan(const CFastScan&) = delete;
    CFastScan& operator=(const CFastScan&) = delete;

    // Starts the thread once; false when it was started before.
    bool Start(FastScanParams params);
    // Waits until the thread has ended or the time is up; true when it has
    // ended. A wake-up, not a poll: the thread signals its end.
    bool WaitUntilEnded(std::chrono::milliseconds limit) const;
    void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
    // Waits for the thread to end.
    void Join();

    bool Running() const { return running_.load(std::memory_order_acquire); }
    // The final results are ready (cleared by the owner once it has exported).
    bool Done() const { return done_.load(std::memory_order_acquire); }
    void ClearDone() { done_.store(false, std::memory_order_relaxed); }
    // The queue may move on (cleared by the owner).
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    void ClearFinished() { finished_.store(false, std::memory_order_relaxed); }
    bool Failed() const { return failed_.load(std::memory_order_acquire); }
    bool Stopped() const { return stopped_.load(std::memory_order_acquire); }

    uint64_t BytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }
    int32_t SpeedKiBps() const { return speed_.load(std::memory_order_relaxed); }
    int64_t ElapsedMs() const { return elapsed_.load(std::memory_order_relaxed); }
    ScanProgress Progress() const;

    // Valid once the thread has ended (Running() false after Start).
    const FastScanParams& Params() const { return params_; }
    const CPictureRecorder& Recorder() const { return recorder_; }
    const ScanTotals& Totals() const { return totals_; }
    const GopPattern& Gop() const { return gop_; }
    uint64_t FileSize() const { return fileSize_; }
    bool UnbufferedReads() const { return unbuffered_; }
    // The file's whole chunks were scanned in a mapping of the cached file.
    bool ScannedInPlace() const { return inPlace_; }

private:
    void Run();
    bool ReadLoop(ScanSource& source, CFrameScanner& scanner);
    void Publish(const CFrameScanner& scanner);
    void End(bool failed);

    std::unique_ptr<ScanSource> source_;
    FastScanParams params_;
    std::thread thread_;
    CPictureRecorder recorder_;
    ScanTotals totals_;
    GopPattern gop_;
    uint64_t fileSize_ = 0;
    bool unbuffered_ = false;
    bool inPlace_ = false;
    std::chrono::steady_clock::time_point started_;

    std::atomic<bool> running_{false}, done_{false}, finished_{false}, failed_{false}, stopped_{false};
    std::atomic<bool> stopRequested_{false};
    mutable std::mutex endMutex_;
    mutable std::condition_variable endSignal_;
    std::atomic<uint64_t> bytesRead_{0};
    std::atomic<int32_t> speed_{0};
    std::atomic<int64_t> elapsed_{0};
    // Progress: counters and the frame-list words of the last 64 pictures.
    std::atomic<uint64_t> pictures_{0}, videoBytes_{0}, audioBytes_{0}, videoChunks_{0}, largest_{0};
    std::atomic<uint32_t> longestSinceI_{0};
    std::array<std::atomic<uint64_t>, 5> byType_{};
    std::array<std::atomic<uint32_t>, 64> lastPictures_{};
    std::atomic<uint32_t> lastPictureCount_{0};
};

}  // namespace torvo
