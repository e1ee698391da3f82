#include "base/CdImage.h"

#include <gtest/gtest.h>

#include "TestUtil.h"
#include "base/FileCache.h"

namespace torvo {
namespace {

using test::Bytes;
using test::MemFile;

constexpr uint32_t kBlock = 2048;

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// One ISO 9660 directory record.
Bytes DirRecord(uint32_t extent, uint32_t length, uint8_t flags, const std::string& name) {
    Bytes r(33 + name.size() + (name.size() % 2 == 0 ? 1 : 0), 0);  // padded to an even length
    r[0] = static_cast<uint8_t>(r.size());  // record length
    PutLe32(r, 2, extent);                  // extent, little-endian half
    PutLe32(r, 10, length);                 // data length, little-endian half
    r[25] = flags;                          // 0x02 directory, 0x04 associated file
    r[32] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), r.begin() + 33);
    return r;
}

void PutBlock(Bytes& image, uint32_t block, const Bytes& data) {
    std::copy(data.begin(), data.end(), image.begin() + block * kBlock);
}

Bytes Records(std::initializer_list<Bytes> records) {
    Bytes out;
    for (const Bytes& r : records) out.insert(out.end(), r.begin(), r.end());
    return out;
}

// A cooked (2048-byte sector) image: volume descriptor in block 16, root
// directory in block 18, MPEGAV in block 19, AVSEQ01.DAT from block 20.
struct IsoSpec {
    uint32_t packOffset = 6;      // where in the track file the first pack starts
    uint32_t trackLength = 5000;  // recorded size of the track file
    bool associatedDecoy = false;
};

Bytes BuildIso(const IsoSpec& spec = {}) {
    Bytes image(24 * kBlock, 0);
    Bytes pvd(kBlock, 0);
    pvd[0] = 1;                                   // primary volume descriptor
    std::copy_n("CD001", 5, pvd.begin() + 1);     // standard identifier
    pvd[6] = 1;                                   // version; byte 7 stays 0
    Bytes root = DirRecord(18, kBlock, 0x02, std::string(1, '\0'));
    std::copy(root.begin(), root.end(), pvd.begin() + 156);
    pvd[881] = 1;                                 // file structure version
    PutBlock(image, 16, pvd);
    PutBlock(image, 17, {255, 'C', 'D', '0', '0', '1', 1});  // set terminator

    PutBlock(image, 18, Records({DirRecord(18, kBlock, 2, std::string(1, '\0')),
                                 DirRecord(18, kBlock, 2, std::string(1, '\1')),
                                 DirRecord(21, kBlock, 0, "MPEG.TXT;1"),  // a file, not the directory
                                 DirRecord(19, kBlock, 2, "MPEGAV")}));
    Bytes avseq = Records({DirRecord(19, kBlock, 2, std::string(1, '\0')),
                           DirRecord(18, kBlock, 2, std::string(1, '\1'))});
    if (spec.associatedDecoy) avseq = Records({avseq, DirRecord(22, 100, 0x04, "AVSEQ00.DAT;1")});
    avseq = Records({avseq, DirRecord(20, spec.trackLength, 0, "AVSEQ01.DAT;1")});
    PutBlock(image, 19, avseq);
    Bytes track(kBlock, 0xEE);
    track[1] = 0;  // an odd-offset decoy pack start at 1
    track[2] = 0;
    track[3] = 1;
    track[4] = 0xBA;
    std::copy_n("\0\0\1\xBA", 4, track.begin() + spec.packOffset);
    PutBlock(image, 20, track);
    return image;
}

// Wraps each 2048-byte block in a raw 2352-byte mode 1 sector (16-byte header).
Bytes ToRawSectors(const Bytes& cooked, uint32_t headerBytes = 16, uint32_t sectorSize = 2352) {
    Bytes raw;
    for (size_t at = 0; at < cooked.size(); at += kBlock) {
        Bytes sector(sectorSize, 0);
        sector[0] = 0;
        std::fill_n(sector.begin() + 1, 10, 0xFF);
        std::copy_n(cooked.begin() + at, kBlock, sector.begin() + headerBytes);
        raw.insert(raw.end(), sector.begin(), sector.end());
    }
    return raw;
}

TEST(CdImage, CookedImageStepsIntoTheVideoTrack) {
    MemFile file(BuildIso());
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    const CdImageInfo cd = r.CDImageInfo();
    EXPECT_TRUE(cd.isImage);
    EXPECT_EQ(cd.sectorSize, 2048u);
    EXPECT_EQ(cd.sector0Offset, 0u);
    // The first pack start at an even offset of AVSEQ01.DAT is logical byte 0.
    EXPECT_EQ(r.BaseOffset(), 20u * kBlock + 6);
    EXPECT_EQ(r.LogicalLength(), 5000u);
    EXPECT_EQ(r.Be32At(0), 0x000001BAu);
}

TEST(CdImage, RawSectorsAreRecognisedWithTheirHeader) {
    MemFile file(ToRawSectors(BuildIso()));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_EQ(r.CDImageInfo().sectorSize, 2352u);
    EXPECT_EQ(r.CDImageInfo().sector0Offset, 16u);
    EXPECT_EQ(r.BaseOffset(), 20u * 2352 + 16 + 6);
    EXPECT_EQ(r.Be32At(0), 0x000001BAu);
}

TEST(CdImage, TrackWithoutPackStartBeginsAtItsFirstByte) {
    IsoSpec spec;
    spec.packOffset = 2001;  // odd: not a pack start the search accepts
    Bytes image = BuildIso(spec);
    image[20 * kBlock + 4] = 0;  // remove the odd decoy's last byte too
    MemFile file(image);
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_EQ(r.BaseOffset(), 20u * kBlock);
}

TEST(CdImage, AssociatedFilesAreSkippedAndLengthIsCutToTheFile) {
    IsoSpec spec;
    spec.associatedDecoy = true;
    spec.trackLength = 1'000'000;  // claims more than the image holds
    MemFile file(BuildIso(spec));
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_EQ(r.BaseOffset(), 20u * kBlock + 6);
    EXPECT_EQ(r.LogicalLength(), 24u * kBlock - (20u * kBlock + 6));
}

TEST(CdImage, BrokenDescriptorsAreNotImages) {
    const struct {
        size_t at;
        uint8_t value;
    } breaks[] = {
        {16 * kBlock + 0, 2},         // not a primary descriptor
        {16 * kBlock + 7, 1},         // byte after the version
        {16 * kBlock + 881, 2},       // file structure version
        {16 * kBlock + 75, 9},        // the zero field at 72..79
        {16 * kBlock + 181, 0},       // root record without the directory flag
        {18 * kBlock + 33, 7},        // root directory's "." record
        {16 * kBlock + 158, 200},     // root extent far past the end of the image
    };
    for (const auto& b : breaks) {
        Bytes image = BuildIso();
        image[b.at] = b.value;
        MemFile file(image);
        CFileCache r;
        ASSERT_TRUE(r.Open(file.Path()));
        EXPECT_FALSE(r.CDImageInfo().isImage) << "byte " << b.at;
        EXPECT_EQ(r.BaseOffset(), 0u);
    }
}

TEST(CdImage, TheFirstEvenDescriptorTagDecides) {
    // A tag where no sector layout can put block 16 hides the real descriptor
    // behind it; one at an odd position is never a tag.
    const struct {
        size_t at;
        bool image;
    } decoys[] = {
        {2 * kBlock + 10, false},
        {2 * kBlock + 11, true},
        {15 * kBlock + 2040, false},  // just before the real one
        {20 * kBlock + 64, true},     // after it
    };
    for (const auto& d : decoys) {
        Bytes image = BuildIso();
        std::copy_n("\1CD001", 6, image.begin() + static_cast<std::ptrdiff_t>(d.at));
        MemFile file(image);
        CFileCache r;
        ASSERT_TRUE(r.Open(file.Path()));
        EXPECT_EQ(r.CDImageInfo().isImage, d.image) << "decoy at " << d.at;
    }
}

TEST(CdImage, HeaderLengthsUpToThirtyTwoBytes) {
    // 2352-byte sectors whose 2048 data bytes sit behind an even header of up
    // to 32 bytes; 01 bytes that start no tag at the even offsets before the
    // descriptor's are passed over. An odd or longer header puts it nowhere.
    constexpr size_t kRaw = 2352;
    const struct {
        size_t header;
        bool image;
    } cases[] = {{0, true}, {2, true}, {14, true}, {16, true}, {18, true}, {30, true}, {32, true}, {3, false}, {34, false}};
    for (const auto& c : cases) {
        const Bytes cooked = BuildIso();
        Bytes image;
        for (size_t sector = 0; sector < cooked.size() / kBlock; ++sector) {
            image.insert(image.end(), c.header, 0x00);
            image.insert(image.end(), cooked.begin() + static_cast<std::ptrdiff_t>(sector * kBlock),
                         cooked.begin() + static_cast<std::ptrdiff_t>((sector + 1) * kBlock));
            image.insert(image.end(), kRaw - kBlock - c.header, 0x00);
        }
        for (size_t k = 0; k + 2 <= c.header; k += 2) image[16 * kRaw + k] = 0x01;
        MemFile file(image);
        CFileCache r;
        ASSERT_TRUE(r.Open(file.Path()));
        EXPECT_EQ(r.CDImageInfo().isImage, c.image) << c.header;
        if (c.image) {
            EXPECT_EQ(r.CDImageInfo().sectorSize, kRaw) << c.header;
            EXPECT_EQ(r.CDImageInfo().sector0Offset, c.header) << c.header;
        }
    }
}

TEST(CdImage, MalformedDirectoriesEndTheWalk) {
    Bytes image = BuildIso();
    image[19 * kBlock] = 5;  // a record too short to be one: the walk of MPEGAV stops
    MemFile file(image);
    CFileCache r;
    ASSERT_TRUE(r.Open(file.Path()));
    EXPECT_TRUE(r.CDImageInfo().isImage);
    EXPECT_EQ(r.BaseOffset(), 0u);  // no video track found
}

TEST(CdImage, RealDiscImages) {
    for (const auto& [name, sectorSize] : {std::pair{"vcd_iso9660.iso", 2048u}, {"vcd_raw2352.bin", 2352u}}) {
        SCOPED_TRACE(name);
        CFileCache r;
        ASSERT_TRUE(r.Open(test::SamplePath(name)));
        EXPECT_TRUE(r.CDImageInfo().isImage);
        EXPECT_EQ(r.CDImageInfo().sectorSize, sectorSize);
        EXPECT_GT(r.BaseOffset(), 16u * sectorSize);
        EXPECT_EQ(r.Be32At(0), 0x000001BAu);  // the MPEG track's first pack start
        EXPECT_LE(r.BaseOffset() + r.LogicalLength(), r.PhysicalSize());
    }
}

}  // namespace
}  // namespace torvo
