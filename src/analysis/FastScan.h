// CFastScan: the background full scan. A thread at lowered priority reads
// the whole file in 4 MiB chunks (unbuffered where the file system allows,
// the next reads overlapping the scan of the current chunk) and feeds every
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
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

private:
    std::deque<std::future<int64_t>> pending_;
};

// O_DIRECT reads; where the file system refuses them, buffered reads that
// tell the kernel the access is sequential and drop the pages behind.
// Unbuffered reads run as kernel asynchronous I/O, several at once, so that
// the disk never waits for the scan to be scheduled.
class CDirectFileSource : public ScanSource {
public:
    static constexpr int kAsyncDepth = 2;

    ~CDirectFileSource() override;
    bool Open(const std::string& path) override;
    uint64_t Size() const override { return size_; }
    int64_t Read(uint64_t offset, uint8_t* dst, size_t n) override;
    void StartRead(uint64_t offset, uint8_t* dst, size_t n) override;
    int64_t FinishRead() override;
    // Several reads only while they go to the kernel's queue.
    int ReadDepth() const override { return direct_ && aioContext_ ? kAsyncDepth : 1; }
    bool Unbuffered() const { return direct_; }

private:
    struct Pending {
        uint64_t id = 0;
        bool async = false, done = false;
        uint64_t offset = 0;
        uint8_t* dst = nullptr;
        size_t size = 0;
        int64_t result = 0;
    };
    // Collects at least one completion of the reads under way.
    bool Reap();
    std::deque<Pending> pending_;
    uint64_t nextId_ = 0;
    uint64_t aioContext_ = 0;
    bool Reopen();
    int64_t BufferedRead(uint64_t offset, uint8_t* dst, size_t n);
    std::string path_;
    int fd_ = -1;
    bool direct_ = false;
    uint64_t size_ = 0;
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
    void RequestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
    // Waits for the thread to end.
    void Join();
    // Sleeps until the scan has ended or `limit` has passed; true when it has
    // ended. The scan's end wakes the waiter at once.
    bool WaitForEnd(std::chrono::milliseconds limit);

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
    std::chrono::steady_clock::time_point started_;

    std::atomic<bool> running_{false}, done_{false}, finished_{false}, failed_{false}, stopped_{false};
    std::atomic<bool> stopRequested_{false};
    std::mutex endMutex_;
    std::condition_variable ended_;
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
