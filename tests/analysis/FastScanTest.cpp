// The full scan over real files made by tests/data/scan/make.sh, whose
// picture counts ffprobe decoded (expected.txt), and its faults: a file cut
// off mid-chunk, a failing reader, a stop request in mid-scan, and a sparse
// file beyond 4 GiB.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "ScratchDir.h"
#include "TestUtil.h"
#include "analysis/Driver.h"
#include "analysis/DriverScan.h"
#include "formats/mpeg/ScanBuilders.h"

namespace torvo {
namespace {

using namespace std::chrono_literals;

// Ticks the driver's status timer until the scan is done (at most ~60 s).
bool WaitForScan(CAnalysisDriver& driver) {
    for (int i = 0; i < 6000; ++i) {
        if (driver.OnStatusTick() == CAnalysisDriver::ScanTick::kDone) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

struct Expected {
    std::string name;
    uint64_t pictures = 0, i = 0, p = 0, b = 0;
};

std::vector<Expected> ReadExpected() {
    std::ifstream in(test::SamplePath("scan/expected.txt"));
    std::vector<Expected> rows;
    for (Expected e; in >> e.name >> e.pictures >> e.i >> e.p >> e.b;) rows.push_back(e);
    return rows;
}

class FastScanSamples : public ::testing::Test {
protected:
    void Scan(const std::string& name) {
        DriverOptions options;
        options.scanEntireFile = true;
        driver.SetOptions(options);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("scan/" + name)));
        ASSERT_NE(driver.Scan(), nullptr) << name << " was not scanned";
        ASSERT_TRUE(WaitForScan(driver));
    }
    std::string_view Field(const char* name) const { return display.Fields().Field(name, 0); }
    Display display;
    CAnalysisDriver driver{display};
};

TEST_F(FastScanSamples, PictureCountsEqualWhatFfprobeDecodes) {
    const std::vector<Expected> rows = ReadExpected();
    ASSERT_EQ(rows.size(), 7u);
    for (const Expected& e : rows) {
        SCOPED_TRACE(e.name);
        Scan(e.name);
        const CFastScan& scan = *driver.Scan();
        EXPECT_FALSE(scan.Failed());
        const ScanFigures f = FinalFigures(scan);
        EXPECT_EQ(f.FrameCount(), e.pictures);
        EXPECT_EQ(Field("VIDEO_FRAME_COUNT"), std::to_string(e.pictures));
        if (f.recordedPictures) {
            EXPECT_EQ(f.pictures, e.pictures);
            EXPECT_EQ(f.byType[kPictureI], e.i);
            EXPECT_EQ(f.byType[kPictureP], e.p);
            EXPECT_EQ(f.byType[kPictureB], e.b);
        } else {
            EXPECT_EQ(f.pictures, 0u);  // Motion JPEG: chunks are counted, no picture types
        }
        EXPECT_GT(f.videoBytes, 0u);
    }
}

TEST_F(FastScanSamples, TwelvePictureGops) {
    // Open GOPs sent as I BB P BB P BB P BB; the first GOP of the file has no
    // leading B pictures and is two pictures shorter.
    Scan("mpeg2_ps_gop12.mpg");
    const ScanFigures f = FinalFigures(*driver.Scan());
    EXPECT_EQ(f.gop.gopLength, 12);
    EXPECT_EQ(f.gop.bSpacing, 3);
    EXPECT_EQ(f.gop.regularity, 83);  // five GOPs of six
    EXPECT_EQ(f.longestSinceI, 12u);
    EXPECT_EQ(driver.Scan()->Recorder().Video().longestBRun, 2u);
    EXPECT_EQ(Field("VIDEO_DURATION"), "0:03.000");
    EXPECT_EQ(display.VideoPanel().Get(kGopCaption), "12 max; N=12, M=3 (83%)");
    EXPECT_TRUE(display.Bars().contains(kPictureTypeBar));
    // The strip gets the frame-list words of the last 64 pictures, oldest first.
    const CPictureRecorder& r = driver.Scan()->Recorder();
    ASSERT_GE(r.PictureCount(), 64u);
    EXPECT_EQ(display.LastPictures(), std::vector<uint32_t>(r.Frames().begin() + std::ptrdiff_t(r.PictureCount() - 64),
                                                            r.Frames().begin() + std::ptrdiff_t(r.PictureCount())));
    EXPECT_EQ(display.VideoPanel().Find(kScanStatusCaption), nullptr);
}

TEST_F(FastScanSamples, ClosedGopsStartAtEveryIPicture) {
    // ffmpeg closes each GOP with a P picture: -g 12 gives I BB P BB P BB P.
    Scan("mpeg2_ps_closed.mpg");
    const ScanFigures f = FinalFigures(*driver.Scan());
    EXPECT_EQ(f.gop.gopLength, 10);
    EXPECT_EQ(f.gop.bSpacing, 3);
    EXPECT_EQ(f.gop.regularity, 100);
    const CPictureRecorder& r = driver.Scan()->Recorder();
    for (size_t k = 0; k < r.PictureCount(); ++k) {
        if ((r.Frames()[k] & kFrameTypeMask) == kPictureI) {
            EXPECT_EQ(r.Frames()[k] & (kFrameGopStart | kFrameClosedGop), kFrameGopStart | kFrameClosedGop) << k;
        }
    }
}

TEST_F(FastScanSamples, AviShareLinesInFinalForm) {
    Scan("avi_mpeg4_plain.avi");
    std::vector<NoteLine> shares;
    for (const NoteLine& line : display.Container().Lines())
        if (line.text.starts_with("Видео: ") || line.text.starts_with("аудио: ") || line.text.starts_with("AVI Overhead: "))
            shares.push_back(line);
    ASSERT_EQ(shares.size(), 3u);
    for (const NoteLine& line : shares) EXPECT_EQ(line.colour, kColourMpegSummary) << line.text;
    EXPECT_EQ(shares[2].text.find("~"), std::string::npos);
    EXPECT_EQ(Field("VIDEO_DURATION"), "0:02.000");
}

TEST(ScanStatistics, InterimThenFinalReplaceTheShareLinesInPlace) {
    Display display;
    AnalysisRecords records;
    records.video.usPerFrame = 40000;
    records.video.width = 160;
    records.video.height = 120;
    display.Container().Add("Длина файла верна  ");
    ScanFigures f;
    f.avi = f.recordedPictures = true;
    f.elapsedMs = 2500;
    f.speedKiBps = 20 * 1024;
    f.pictures = f.videoChunks = 250;
    f.byType[kPictureI] = 10;
    f.byType[kPictureP] = 240;
    f.longestSinceI = 25;
    f.videoBytes = 1000000;
    f.audioBytes = 200000;
    f.fileSize = 1300000;
    ScanDisplayState state;
    for (int call = 1; call <= 4; ++call) {
        FrameScanStatistics(display, records, f, state);
        EXPECT_EQ(display.Container().Lines().size(), call < 4 ? 1u : 4u) << call;  // shares on every fourth call
    }
    EXPECT_EQ(display.VideoPanel().Get(kScanStatusCaption), "просмотр @ 20 MБ/с...");
    EXPECT_EQ(display.VideoPanel().Get(kGopCaption), "25.0 avg / 25 max");
    EXPECT_EQ(display.Fields().Field("VIDEO_DURATION", 0), "0:10.000");
    EXPECT_EQ(display.Fields().Field("VIDEO_BITRATE", 0), "800");
    const std::vector<NoteLine>& lines = display.Container().Lines();
    EXPECT_EQ(lines[3].text, "AVI Overhead: ~ 97.6 KБ (7.69%)");
    EXPECT_EQ(lines[3].colour, kColourWarning);

    f.final = true;
    f.gop.gopLength = 25;
    f.gop.regularity = 100;
    f.gop.bSpacing = 1;
    FrameScanStatistics(display, records, f, state);
    ASSERT_EQ(lines.size(), 4u);  // replaced, not added
    EXPECT_EQ(lines[1].text, "Видео: 976 KБ (76.92%)");
    EXPECT_EQ(lines[3].text, "AVI Overhead: 97.6 KБ (7.69%)");
    for (size_t k = 1; k < 4; ++k) EXPECT_EQ(lines[k].colour, kColourMpegSummary);
    EXPECT_EQ(display.VideoPanel().Get(kGopCaption), "N=25 (100%)");
    EXPECT_EQ(display.VideoPanel().Find(kScanStatusCaption), nullptr);
}

// A source over bytes in memory that can fail at an offset, count its reads
// and take its time over each.
class MemorySource : public ScanSource {
public:
    MemorySource(test::Bytes bytes, uint64_t size, int64_t failAt = -1, std::chrono::milliseconds delay = {})
        : bytes_(std::move(bytes)), size_(size), failAt_(failAt), delay_(delay) {}
    bool Open(const std::string&) override { return true; }
    uint64_t Size() const override { return size_; }
    int64_t Read(uint64_t offset, uint8_t* dst, size_t n) override {
        reads_.fetch_add(1);
        std::this_thread::sleep_for(delay_);
        if (failAt_ >= 0 && offset + n > uint64_t(failAt_)) return -1;
        const size_t count = offset >= size_ ? 0 : size_t(std::min<uint64_t>(n, size_ - offset));
        for (size_t i = 0; i < count; ++i) dst[i] = offset + i < bytes_.size() ? bytes_[offset + i] : 0;
        return int64_t(count);
    }
    std::atomic<int>* Reads() { return &reads_; }

private:
    test::Bytes bytes_;
    uint64_t size_;
    int64_t failAt_;
    std::chrono::milliseconds delay_;
    std::atomic<int> reads_{0};
};

test::Bytes BuiltProgramStream(int gops, uint64_t* esBytes = nullptr) {
    test::Bytes ps;
    uint64_t scr = 0;
    for (int g = 0; g < gops; ++g) {
        const test::Bytes gop = test::CodedGop("IBBPBBPBBPBB", g % 60, false);
        if (esBytes) *esBytes += gop.size();
        for (size_t at = 0; at < gop.size(); at += 2000) {
            const test::Bytes pack = test::Mpeg2Pack(scr += 900);
            ps.insert(ps.end(), pack.begin(), pack.end());
            const test::Bytes pes = test::Pes(0xE0, test::Bytes(gop.begin() + long(at), gop.begin() + long(std::min(gop.size(), at + 2000))));
            ps.insert(ps.end(), pes.begin(), pes.end());
        }
    }
    return ps;
}

FastScanParams MpegParams() {
    FastScanParams p;
    p.path = "memory";
    p.mpegVideo = true;
    return p;
}

void WaitUntilEnded(const CFastScan& scan) {
    for (int i = 0; i < 6000 && scan.Running(); ++i) std::this_thread::sleep_for(10ms);
}

// A file the header read took in whole is scanned from those bytes: the
// same pictures and totals as a scan that reads the file, the padding within
// the block, and the block handed back once when the scan goes.
TEST(FastScanHeld, BytesInMemoryScanAsTheFileDoes) {
    for (const Expected& e : ReadExpected()) {
        SCOPED_TRACE(e.name);
        const std::string path = test::SamplePath("scan/" + e.name);
        const test::Bytes bytes = test::ReadBytes(path);
        FastScanParams p;
        p.path = path;
        p.avi = e.name.ends_with(".avi");
        p.elementaryVideo = e.name.ends_with(".m2v");
        p.mpegVideo = e.name.find("mjpeg") == std::string::npos;
        p.mpeg4 = e.name.find("mpeg4") != std::string::npos;
        p.mpeg2 = !p.avi && e.name.find("mpeg1") == std::string::npos;

        CFastScan fromFile;
        ASSERT_TRUE(fromFile.Start(p));
        WaitUntilEnded(fromFile);

        // Room for the scan's padding up to the next 4 KiB, filled with a
        // value the padding must overwrite.
        const size_t capacity = (bytes.size() + 4095) / 4096 * 4096;
        auto* block = static_cast<uint8_t*>(std::malloc(capacity));
        ASSERT_NE(block, nullptr);
        std::memcpy(block, bytes.data(), bytes.size());
        std::memset(block + bytes.size(), 0, capacity - bytes.size());
        int released = 0;
        {
            CFastScan held(std::make_unique<CHeldFileSource>(block, bytes.size(), capacity,
                                                             [&](uint8_t* back, size_t size) {
                                                                 EXPECT_EQ(back, block);
                                                                 EXPECT_EQ(size, capacity);
                                                                 ++released;
                                                                 std::free(back);
                                                             }));
            ASSERT_TRUE(held.Start(p));
            WaitUntilEnded(held);
            EXPECT_TRUE(held.Done());
            EXPECT_FALSE(held.Failed());
            EXPECT_EQ(held.FileSize(), bytes.size());
            EXPECT_EQ(held.BytesRead(), fromFile.BytesRead());
            const CPictureRecorder& a = fromFile.Recorder();
            const CPictureRecorder& b = held.Recorder();
            ASSERT_EQ(b.PictureCount(), a.PictureCount());
            EXPECT_TRUE(std::equal(a.Frames().begin(), a.Frames().begin() + std::ptrdiff_t(a.PictureCount()),
                                   b.Frames().begin()));
            EXPECT_EQ(held.Totals().videoBytes, fromFile.Totals().videoBytes);
            EXPECT_EQ(held.Totals().audioBytes, fromFile.Totals().audioBytes);
            EXPECT_EQ(held.Totals().videoChunks, fromFile.Totals().videoChunks);
            EXPECT_EQ(held.Gop().gopLength, fromFile.Gop().gopLength);
            EXPECT_EQ(released, 0);
        }
        EXPECT_EQ(released, 1);
    }
}

TEST(FastScanFaults, ReadErrorFailsTheScan) {
    const test::Bytes ps = BuiltProgramStream(40);
    CFastScan scan(std::make_unique<MemorySource>(ps, 12 * CFastScan::kChunk, int64_t(5 * CFastScan::kChunk)));
    ASSERT_TRUE(scan.Start(MpegParams()));
    WaitUntilEnded(scan);
    EXPECT_TRUE(scan.Done());
    EXPECT_TRUE(scan.Failed());
    // The statistics say so and leave the scan's figures out.
    Display display;
    AnalysisRecords records;
    ScanDisplayState state;
    FrameScanStatistics(display, records, FinalFigures(scan), state);
    EXPECT_EQ(display.VideoPanel().Get(kScanStatusCaption), "Не могу обработат");
    EXPECT_EQ(display.Fields().Field("VIDEO_FRAME_COUNT", 0), "");
}

TEST(FastScanFaults, StopRequestEndsWithinOneCycle) {
    auto source = std::make_unique<MemorySource>(BuiltProgramStream(4), uint64_t(1) << 40, -1, 20ms);
    std::atomic<int>* reads = source->Reads();
    CFastScan scan(std::move(source));
    ASSERT_TRUE(scan.Start(MpegParams()));
    while (reads->load() < 3) std::this_thread::sleep_for(1ms);
    const int before = reads->load();
    scan.RequestStop();
    WaitUntilEnded(scan);
    EXPECT_FALSE(scan.Running());
    EXPECT_LE(reads->load(), before + 1);  // at most the read already under way
    EXPECT_TRUE(scan.Stopped());
    EXPECT_FALSE(scan.Done());
    EXPECT_TRUE(scan.Finished());
}

TEST(FastScanFaults, DestroyedWhileRunning) {
    auto scan = std::make_unique<CFastScan>(std::make_unique<MemorySource>(test::Bytes{}, uint64_t(1) << 40, -1, 5ms));
    ASSERT_TRUE(scan->Start(MpegParams()));
    std::this_thread::sleep_for(20ms);
    scan.reset();  // stops and waits; nothing may leak
}

TEST(FastScanFaults, FileCutOffMidChunk) {
    const test::Bytes whole = test::ReadBytes(test::SamplePath("scan/avi_mpeg4_bframes.avi"));
    for (const size_t cut : {whole.size() / 3, whole.size() / 2 + 1, whole.size() * 9 / 10}) {
        test::MemFile file(whole.data(), cut);
        CFastScan scan;
        FastScanParams p;
        p.path = file.Path();
        p.avi = p.mpegVideo = p.mpeg4 = true;
        ASSERT_TRUE(scan.Start(p));
        WaitUntilEnded(scan);
        EXPECT_TRUE(scan.Done());
        EXPECT_FALSE(scan.Failed());
        EXPECT_LT(scan.Totals().videoChunks, 50u);
        EXPECT_GT(scan.Totals().videoChunks, 0u);
    }
}

// The share of a file's pages in the page cache.
double CachedShare(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    void* map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    std::vector<unsigned char> pages((size_t(size) + 4095) / 4096);
    const bool ok = map != MAP_FAILED && ::mincore(map, size_t(size), pages.data()) == 0;
    if (map != MAP_FAILED) ::munmap(map, size_t(size));
    ::close(fd);
    size_t resident = 0;
    for (const unsigned char page : pages) resident += page & 1;
    return ok ? double(resident) / double(pages.size()) : -1;
}

TEST(FastScanFaults, ReadsAheadSeeWhatOneReadAtATimeSees) {
    // Several unbuffered reads under way at once, into a ring of buffers, must
    // hand the scanner the same bytes as one read at a time: GOPs between
    // padding packets of odd lengths put items across every chunk boundary.
    test::Bytes ps;
    uint64_t scr = 0;
    const int gops = 240;
    for (int g = 0; g < gops; ++g) {
        // Video packets long enough that chunk boundaries fall inside them too.
        test::Bytes video = test::CodedGop("IBBPBBPBBPBB", g % 60, false);
        video.insert(video.end(), 40000, 0xFF);
        for (const test::Bytes& item : {test::Mpeg2Pack(scr += 3600), test::Pes(0xE0, video)})
            ps.insert(ps.end(), item.begin(), item.end());
        const size_t padding = 20000 + size_t(g) * 7;
        ps.insert(ps.end(), {0, 0, 1, 0xBE, uint8_t(padding >> 8), uint8_t(padding)});
        ps.insert(ps.end(), padding, 0xFF);
    }
    ASSERT_GT(ps.size(), 3 * CFastScan::kChunk);
    testing::ScratchDir dir;
    CFastScan fromFile, fromMemory(std::make_unique<MemorySource>(ps, ps.size()));
    FastScanParams p = MpegParams();
    p.path = dir.Write("ps.mpg", std::string_view(reinterpret_cast<const char*>(ps.data()), ps.size()));
    // Just written, the file is in the page cache: its whole chunks are
    // scanned in a mapping, the last one through a buffer.
    const bool cached = CachedShare(p.path) == 1.0;
    ASSERT_TRUE(fromFile.Start(p));
    ASSERT_TRUE(fromMemory.Start(MpegParams()));
    WaitUntilEnded(fromFile);
    WaitUntilEnded(fromMemory);
    ASSERT_TRUE(fromFile.Done() && fromMemory.Done());
    EXPECT_EQ(fromFile.ScannedInPlace(), cached);
    EXPECT_FALSE(fromMemory.ScannedInPlace());
    EXPECT_FALSE(fromFile.Failed());
    EXPECT_EQ(fromFile.BytesRead(), ps.size());
    EXPECT_EQ(fromFile.Recorder().Video().pictures, uint32_t(12 * gops));
    EXPECT_EQ(fromFile.Totals().videoBytes, fromMemory.Totals().videoBytes);
    const auto& a = fromFile.Recorder().Frames();
    const auto& b = fromMemory.Recorder().Frames();
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 12 * gops + 1, b.begin()));
}

TEST(FastScanFaults, SparseFileBeyondFourGiB) {
    uint64_t esBytes = 0;
    const test::Bytes ps = BuiltProgramStream(10, &esBytes);
    const uint64_t far = (uint64_t(4) << 30) + 12345;
    test::MemFile file = test::MemFile::Sparse(far + ps.size() + 100);
    file.WriteAt(0, ps);
    file.WriteAt(far, ps);
    CFastScan scan;
    FastScanParams p = MpegParams();
    p.path = file.Path();
    ASSERT_TRUE(scan.Start(p));
    WaitUntilEnded(scan);
    ASSERT_TRUE(scan.Done());
    EXPECT_FALSE(scan.Failed());
    EXPECT_EQ(scan.BytesRead(), far + ps.size() + 100);
    EXPECT_EQ(scan.Recorder().Video().pictures, 240u);
    EXPECT_EQ(scan.Totals().videoBytes, 2 * esBytes);
}

TEST(FastScanReads, CachedPagesStayAndUncachedLargeFilesBypassTheCache) {
    // A file larger than what is always read buffered, as program stream packs.
    test::Bytes ps;
    while (ps.size() < CDirectFileSource::kBufferedUpTo + 3 * CFastScan::kChunk + 12345) {
        const test::Bytes more = BuiltProgramStream(20);
        ps.insert(ps.end(), more.begin(), more.end());
    }
    testing::ScratchDir dir;
    FastScanParams p = MpegParams();
    p.path = dir.Write("ps.mpg", std::string_view(reinterpret_cast<const char*>(ps.data()), ps.size()));
    const auto scanned = [&p] {
        CFastScan scan;
        EXPECT_TRUE(scan.Start(p));
        WaitUntilEnded(scan);
        EXPECT_TRUE(scan.Done() && !scan.Failed());
        EXPECT_EQ(scan.BytesRead(), scan.FileSize());
        return std::make_tuple(scan.UnbufferedReads(), scan.Recorder().Video().pictures, scan.ScannedInPlace());
    };
    // Cached (just written): read from the cache, and every page is still there after.
    ASSERT_GT(CachedShare(p.path), 0.99);
    const auto [cachedUnbuffered, cachedPictures, cachedInPlace] = scanned();
    EXPECT_FALSE(cachedUnbuffered);
    EXPECT_TRUE(cachedInPlace);
    EXPECT_GT(CachedShare(p.path), 0.99);
    // Dropped from the cache: unbuffered where the file system allows it,
    // and either way the scan leaves the cache as it found it, with the same pictures.
    const int fd = ::open(p.path.c_str(), O_RDONLY | O_CLOEXEC);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    if (CachedShare(p.path) > 0.1) GTEST_SKIP() << "the file system keeps the pages";
    const auto [uncachedUnbuffered, uncachedPictures, uncachedInPlace] = scanned();
    EXPECT_FALSE(uncachedInPlace);
    EXPECT_LT(CachedShare(p.path), 0.1) << (uncachedUnbuffered ? "unbuffered" : "buffered");
    EXPECT_EQ(uncachedPictures, cachedPictures);
}

}  // namespace
}  // namespace torvo
