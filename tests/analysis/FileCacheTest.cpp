#include "base/FileCache.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>

#include "TestUtil.h"
#include "base/MappedRegion.h"

namespace torvo {
namespace {

using test::Bytes;
using test::MemFile;
using test::PatternByte;
using test::PatternBytes;

constexpr uint64_t MiB = 1024 * 1024, KiB = 1024;

bool MapHolds(CFileCache& r, uint64_t pos, uint32_t len, bool reload = true) {
    const uint8_t* p = r.Map(pos, len, reload);
    if (!p) return false;
    for (uint32_t i = 0; i < len; ++i)
        if (p[i] != PatternByte(pos + i)) return false;
    return true;
}

TEST(FileCache, SmallFileServesOnlyItsOwnBytes) {
    MemFile file(PatternBytes(100));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_EQ(r.PhysicalSize(), 100u);
    EXPECT_EQ(r.LogicalLength(), 100u);
    EXPECT_TRUE(MapHolds(r, 96, 4));
    // Bytes past the end of the file are never handed out as if they were data.
    EXPECT_EQ(r.Map(97, 4), nullptr);
    EXPECT_EQ(r.Map(100, 1), nullptr);
    uint8_t buf[8];
    EXPECT_EQ(r.ReadAt(100, buf, 8), 0u);
    EXPECT_EQ(r.ReadAt(96, buf, 8), 4u);
    EXPECT_EQ(buf[3], PatternByte(99));
    EXPECT_EQ(r.Position(), 100u);
}

TEST(FileCache, OpenRefusesMissingFilesAndSecondOpens) {
    CFileCache r;
    EXPECT_FALSE(r.Open("/nonexistent/torvo/file"));
    EXPECT_EQ(r.LastError(), ENOENT);
    EXPECT_FALSE(r.Open("/"));  // a directory is not a media file
    MemFile file(PatternBytes(10));
    CFileCache once;
    ASSERT_TRUE(once.Open(file.Path()));
    EXPECT_FALSE(once.Open(file.Path()));
    EXPECT_FALSE(once.AttachMemory(nullptr, 0, false));
}

TEST(FileCache, OpenRefusesWhatIsNotARegularFileWithoutBlocking) {
    const std::string fifo = testing::TempDir() + "torvo-fifo-" + std::to_string(::getpid());
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO nobody writes to: a blocking open would never return.
    auto opened = std::async(std::launch::async, [&] {
        CFileCache r;
        const bool ok = r.Open(fifo);
        return std::make_pair(ok, r.LastError());
    });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "Open blocked on a FIFO";
        const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);  // lets the blocked open return
        opened.wait();
        if (writer >= 0) ::close(writer);
    } else {
        const auto [ok, error] = opened.get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, CFileCache::kNotRegularFile);
    }
    ::unlink(fifo.c_str());

    CFileCache zero;  // a character device never ends and has no size
    EXPECT_FALSE(zero.Open("/dev/zero"));
    EXPECT_EQ(zero.LastError(), CFileCache::kNotRegularFile);
    EXPECT_EQ(zero.LastErrorText(), "Not a regular file or block device");
    CFileCache dir;
    EXPECT_FALSE(dir.Open("/"));
    EXPECT_EQ(dir.LastError(), EISDIR);
}

TEST(FileCache, SkipMovesTheLogicalStart) {
    MemFile file(PatternBytes(10000));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    ASSERT_TRUE(r.Skip(4096));
    EXPECT_EQ(r.BaseOffset(), 4096u);
    EXPECT_EQ(r.LogicalLength(), 10000u - 4096u);
    EXPECT_EQ(r.U8At(0), PatternByte(4096));
    EXPECT_EQ(r.Header().size(), 10000u - 4096u);
    // Skipping past the end leaves an empty logical file, not a wrapped length.
    ASSERT_TRUE(r.Skip(1'000'000));
    EXPECT_EQ(r.LogicalLength(), 0u);
    EXPECT_EQ(r.Map(0, 1), nullptr);
}

TEST(FileCache, WindowBeyondTheHeaderReloadsAsDocumented) {
    MemFile file(PatternBytes(6 * MiB));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_EQ(r.Header().size(), CFileCache::kHeaderSize);
    EXPECT_TRUE(MapHolds(r, 4 * MiB - 16, 16));  // the header's last bytes

    EXPECT_EQ(r.Map(5 * MiB, 300 * KiB), nullptr);  // longer than the window
    EXPECT_TRUE(MapHolds(r, 5 * MiB, 64 * KiB));
    // The window now starts at 5 MiB: anything inside it needs no reload.
    EXPECT_TRUE(MapHolds(r, 5 * MiB + 200 * KiB, 56 * KiB, false));
    EXPECT_EQ(r.Map(5 * MiB - 1, 1, false), nullptr);

    // A short step back reloads from 128 KiB before the request.
    EXPECT_TRUE(MapHolds(r, 5 * MiB - KiB, 16));
    EXPECT_TRUE(MapHolds(r, 5 * MiB - KiB - 128 * KiB, 16, false));
    EXPECT_EQ(r.Map(5 * MiB - KiB - 128 * KiB - 1, 1, false), nullptr);
    EXPECT_TRUE(MapHolds(r, 5 * MiB - KiB + 127 * KiB, KiB, false));

    // A request straddling the header's end is served whole from the window.
    EXPECT_TRUE(MapHolds(r, 4 * MiB - 8, 16));
    // Near the end of the file the window is short; requests past it fail.
    EXPECT_TRUE(MapHolds(r, 6 * MiB - 10, 10));
    EXPECT_EQ(r.Map(6 * MiB - 10, 11), nullptr);
    EXPECT_EQ(r.Map(6 * MiB, 1), nullptr);
}

TEST(FileCache, ReadCopiesAcrossHeaderAndWindow) {
    MemFile file(PatternBytes(5 * MiB + 123));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    Bytes all(6 * MiB);
    EXPECT_EQ(r.ReadAt(0, all.data(), all.size()), 5 * MiB + 123);
    all.resize(5 * MiB + 123);
    EXPECT_EQ(all, PatternBytes(5 * MiB + 123));

    Bytes some(700 * KiB);
    EXPECT_EQ(r.ReadAt(4 * MiB - 300 * KiB, some.data(), some.size()), some.size());
    EXPECT_EQ(some, PatternBytes(some.size(), 4 * MiB - 300 * KiB));
    EXPECT_EQ(r.Position(), 4 * MiB + 400 * KiB);
    // A position past the end is clamped, and nothing is read.
    EXPECT_EQ(r.ReadAt(100 * MiB, some.data(), 10), 0u);
    EXPECT_EQ(r.Position(), 5 * MiB + 123);
}

TEST(FileCache, TypedReadersAreEndianAndZeroPastTheEnd) {
    const Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11};
    CFileCache r;
    ASSERT_TRUE(r.AttachMemory(b.data(), b.size(), true));
    EXPECT_EQ(r.U8At(16), 0x11);
    EXPECT_EQ(r.Be16At(0), 0x0102);
    EXPECT_EQ(r.Be24At(1), 0x020304u);
    EXPECT_EQ(r.Be32At(0), 0x01020304u);
    EXPECT_EQ(r.Be64At(0), 0x0102030405060708ull);
    uint64_t pos = 0;
    EXPECT_EQ(r.NextLe16(pos), 0x0201);
    EXPECT_EQ(r.NextLe32(pos), 0x06050403u);
    EXPECT_EQ(r.NextLe64(pos), 0x0E0D0C0B0A090807ull);
    EXPECT_EQ(pos, 14u);
    EXPECT_EQ(r.NextBe24(pos), 0x0F1011u);
    EXPECT_EQ(pos, 17u);
    // Past the end every reader gives 0, and the cursor still moves on.
    EXPECT_EQ(r.NextBe32(pos), 0u);
    EXPECT_EQ(pos, 21u);
    EXPECT_EQ(r.Be16At(16), 0);
    EXPECT_EQ(r.U8At(17), 0);

    uint8_t guid[16];
    pos = 0;
    EXPECT_TRUE(r.NextGuid(pos, guid));
    EXPECT_EQ(guid[15], 0x10);
    EXPECT_FALSE(r.NextGuid(pos, guid));
    EXPECT_EQ(guid[0], 0);
    EXPECT_EQ(pos, 32u);
}

TEST(FileCache, AttachMemoryWithoutCopyUsesTheCallersBytes) {
    Bytes b = {'a', 'b', 'c'};
    CFileCache r;
    ASSERT_TRUE(r.AttachMemory(b.data(), b.size(), false));
    b[1] = 'X';
    EXPECT_EQ(r.U8At(1), 'X');
    EXPECT_FALSE(r.IsFile());
    EXPECT_EQ(r.Map(3, 1), nullptr);  // no file behind it to fill a window from
    ASSERT_TRUE(r.Skip(1));
    EXPECT_EQ(r.U8At(0), 'X');
    EXPECT_EQ(r.LogicalLength(), 2u);
}

TEST(FileCache, FindReportsTheFirstWholeMatch) {
    Bytes b;
    test::Append(b, "xxABCxxABCDxx");
    CFileCache r;
    ASSERT_TRUE(r.AttachMemory(b.data(), b.size(), true));
    EXPECT_EQ(r.Find(0, "ABCD", 100), 7);
    EXPECT_EQ(r.Find(0, "ABC", 13), 2);
    EXPECT_EQ(r.Find(3, "ABC", 6), -1);  // the second ABC would end past the range
    EXPECT_EQ(r.Find(3, "ABC", 7), 7);
    EXPECT_EQ(r.Find(13, "x", 10), -1);
    EXPECT_EQ(r.Find(0, "", 10), -1);
}

TEST(FileCache, PositionsPastFourGibibytesWork) {
    const uint64_t size = 5 * 1024 * MiB;
    MemFile file = MemFile::Sparse(size);
    file.WriteAt(4 * 1024 * MiB + 100, {0xDE, 0xAD, 0xBE, 0xEF});
    file.WriteAt(size - 2, {0x12, 0x34});
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_EQ(r.LogicalLength(), size);
    EXPECT_EQ(r.Be32At(4 * 1024 * MiB + 100), 0xDEADBEEFu);
    EXPECT_EQ(r.Be16At(size - 2), 0x1234);
    EXPECT_EQ(r.Be16At(size - 1), 0);
    EXPECT_EQ(r.Find(4 * 1024 * MiB, "\xDE\xAD", 1000), static_cast<int64_t>(4 * 1024 * MiB + 100));
}

// A run's readers: the first maps its header (a new buffer would have to be
// cleared), the second takes a buffer, the third reuses it; a reader without
// a spare always maps. Mapped or read, the bytes are the same, also after an
// odd skip.
TEST(FileCache, HeaderMappedOrReadHoldsTheSameBytes) {
    MemFile file(PatternBytes(MiB + 3));
    CFileCache::SpareHeader spare;
    const bool expectMapped[] = {true, false, false};
    for (const bool mapped : expectMapped) {
        CFileCache r(&spare);
        ASSERT_TRUE(r.Open(file.Path()));
        ASSERT_EQ(r.Header().size(), MiB + 3);
        EXPECT_TRUE(MapHolds(r, 0, 64) && MapHolds(r, MiB - 61, 64));
        ASSERT_TRUE(r.Skip(4099));
        EXPECT_EQ(r.Header().size(), MiB + 3 - 4099);
        EXPECT_EQ(r.U8At(0), PatternByte(4099));
        EXPECT_EQ(r.U8At(MiB - 4097), PatternByte(MiB + 2));
        EXPECT_EQ(r.ReleaseHeaderMapping() != nullptr, mapped);
    }
    EXPECT_TRUE(spare.bytes != nullptr);
    CFileCache alone;
    ASSERT_TRUE(alone.Open(file.Path()));
    EXPECT_TRUE(MapHolds(alone, MiB - 64, 64));
    EXPECT_NE(alone.ReleaseHeaderMapping(), nullptr);
}

// A file another program cuts short while it is mapped: its lost pages read
// as zeros instead of ending the process, in the header and in the scan's
// mapping alike. A fault outside any mapping of ours still ends it.
TEST(MappedRegion, FileCutShortReadsAsZerosWhereItsPagesWent) {
    MemFile file(PatternBytes(2 * MiB));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    const ByteView header = r.Header();
    ASSERT_EQ(header.size(), 2 * MiB);
    file.Resize(4 * KiB);
    EXPECT_EQ(header.U8(4 * KiB - 1), PatternByte(4 * KiB - 1));
    EXPECT_EQ(header.U8(MiB), 0);
    EXPECT_EQ(header.U8(2 * MiB - 1), 0);

    MemFile again(PatternBytes(64 * KiB));
    const int fd = ::open(again.Path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::unique_ptr<MappedRegion> region = MappedRegion::Map(fd, 100, 64 * KiB - 100);
    ::close(fd);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->Data()[0], PatternByte(100));
    EXPECT_FALSE(region->LostBytes());
    // Writes (the scan's padding) stay in the process's copy.
    ASSERT_GE(region->Capacity(), region->Size());
    region->PrivateBytes()[0] = static_cast<uint8_t>(~PatternByte(100));
    region->PrivateBytes()[region->Capacity() - 1] = 0xFF;
    CFileCache check;
    ASSERT_TRUE(check.Open(again.Path()));
    EXPECT_EQ(check.U8At(100), PatternByte(100));
    again.Resize(0);
    EXPECT_EQ(region->Data()[32 * KiB], 0);
    EXPECT_TRUE(region->LostBytes());

    MemFile scanned(PatternBytes(64 * KiB));
    const int scannedFd = ::open(scanned.Path().c_str(), O_RDONLY);
    void* whole = ::mmap(nullptr, 64 * KiB, PROT_READ, MAP_SHARED, scannedFd, 0);
    ::close(scannedFd);
    ASSERT_NE(whole, MAP_FAILED);
    {
        MappingGuard guard(whole, 64 * KiB);
        ASSERT_TRUE(guard.Guarded());
        scanned.Resize(0);
        EXPECT_EQ(static_cast<const volatile uint8_t*>(whole)[40 * KiB], 0);
        EXPECT_TRUE(guard.LostBytes());
    }
    ::munmap(whole, 64 * KiB);

    EXPECT_DEATH(
        {
            MemFile loose(PatternBytes(64 * KiB));
            const int looseFd = ::open(loose.Path().c_str(), O_RDONLY);
            const auto* bytes = static_cast<const volatile uint8_t*>(
                ::mmap(nullptr, 64 * KiB, PROT_READ, MAP_SHARED, looseFd, 0));
            loose.Resize(0);
            (void)bytes[8 * KiB];
        },
        "");
}

}  // namespace
}  // namespace torvo
