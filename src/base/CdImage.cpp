#include "base/CdImage.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>

namespace torvo {
namespace {

// ISO 9660 (ECMA-119) layout: logical blocks of 2048 bytes, the primary volume
// descriptor in block 16, directory records walked by their length byte.
constexpr uint32_t kBlock = 2048;
constexpr uint32_t kDescriptorBlock = 16;
constexpr std::string_view kDescriptorTag{"\x01" "CD001", 6};

namespace pvd {
constexpr uint32_t kType = 0, kAfterVersion = 7, kZeroField = 72, kRootRecord = 156, kStructureVersion = 881;
}
namespace dirrec {
constexpr uint32_t kExtent = 2, kDataLength = 10, kFlags = 25, kNameLength = 32, kName = 33, kMinLength = 34;
constexpr uint8_t kDirectory = 0x02, kAssociated = 0x04;
}

// How many blocks of one directory we are prepared to walk.
constexpr uint32_t kMaxDirectoryBlocks = 64;
constexpr uint32_t kPackSearchLength = 0x40000;

struct Entry {
    uint32_t extent = 0;
    uint32_t dataLength = 0;
};

ByteView Block(CFileCache& r, uint64_t sector0, uint32_t sectorSize, uint64_t block) {
    return r.MapView(sector0 + block * sectorSize, kBlock);
}

bool RootDirectoryLooksRight(CFileCache& r, ByteView descriptor, uint32_t sectorSize, uint64_t sector0) {
    const ByteView root = descriptor.Sub(pvd::kRootRecord, dirrec::kMinLength);
    if (!(root.U8(dirrec::kFlags) & dirrec::kDirectory) || root.U8(dirrec::kNameLength) != 1 ||
        root.U8(dirrec::kName) != 0)
        return false;
    // The root's first block starts with its "." (name 00) and ".." (name 01) records.
    const ByteView dir = Block(r, sector0, sectorSize, root.Le32(dirrec::kExtent));
    const uint8_t firstLength = dir.U8(0);
    return firstLength >= dirrec::kMinLength && dir.U8(dirrec::kNameLength) == 1 && dir.U8(dirrec::kName) == 0 &&
           dir.U8(firstLength + dirrec::kNameLength) == 1 && dir.U8(firstLength + dirrec::kName) == 1;
}

bool DescriptorValidates(CFileCache& r, uint64_t at, uint32_t sectorSize, uint64_t sector0) {
    const ByteView d = r.MapView(at, kBlock);
    if (d.U8(pvd::kType) != 1 || d.U8(pvd::kAfterVersion) != 0 || d.U8(pvd::kStructureVersion) != 1 ||
        d.U8(pvd::kStructureVersion + 1) != 0 || d.Le64(pvd::kZeroField) != 0 || !d.Has(pvd::kZeroField, 8))
        return false;
    return RootDirectoryLooksRight(r, d, sectorSize, sector0);
}

bool NameContains(ByteView name, std::string_view text) { return name.Find(text) != ByteView::npos; }

std::optional<Entry> FindEntry(CFileCache& r, const CdImageInfo& cd, Entry dir, std::string_view text,
                               bool wantDirectory) {
    const uint32_t blocks = std::min<uint32_t>((dir.dataLength + kBlock - 1) / kBlock, kMaxDirectoryBlocks);
    for (uint32_t b = 0; b < blocks; ++b) {
        const ByteView block = Block(r, cd.sector0Offset, cd.sectorSize, uint64_t(dir.extent) + b);
        for (uint32_t p = 0; p < block.size();) {
            const uint8_t length = block.U8(p);
            if (length < dirrec::kMinLength) break;  // 0 ends the block; shorter is malformed
            const ByteView rec = block.Sub(p, length);
            if (rec.empty()) break;
            p += length;
            const uint8_t flags = rec.U8(dirrec::kFlags);
            if (flags & dirrec::kAssociated) continue;
            if (bool(flags & dirrec::kDirectory) != wantDirectory) continue;
            if (NameContains(rec.Sub(dirrec::kName, rec.U8(dirrec::kNameLength)), text))
                return Entry{rec.Le32(dirrec::kExtent), rec.Le32(dirrec::kDataLength)};
        }
    }
    return std::nullopt;
}

void FindVideoTrack(CFileCache& r, CdImageScan& scan, uint64_t descriptorAt) {
    const ByteView root = r.MapView(descriptorAt + pvd::kRootRecord, dirrec::kMinLength);
    const Entry rootDir{root.Le32(dirrec::kExtent), root.Le32(dirrec::kDataLength)};
    const auto mpegDir = FindEntry(r, scan.info, rootDir, "MPEG", true);
    if (!mpegDir) return;
    const auto track = FindEntry(r, scan.info, *mpegDir, "AVSEQ", false);
    if (!track) return;

    const uint64_t fileStart = scan.info.sector0Offset + uint64_t(track->extent) * scan.info.sectorSize;
    scan.hasVideoTrack = true;
    scan.trackStart = fileStart;
    scan.trackLength = track->dataLength;
    if (fileStart >= r.LogicalLength()) return;
    const uint32_t span = static_cast<uint32_t>(std::min<uint64_t>(kPackSearchLength, r.LogicalLength() - fileStart));
    const ByteView head = r.MapView(fileStart, span);
    const uint64_t pack = head.Find(std::string_view("\0\0\1\xBA", 4), 0, 2);
    if (pack != ByteView::npos) scan.trackStart = fileStart + pack;
}

// The first tag at an even position decides, but it can only be accepted
// where an even header length of at most 32 bytes and one of the sector sizes
// put it in block 16 or later. Those few positions are looked at first; the
// rest of the header is searched only up to a tag found there, since an
// earlier tag elsewhere (rejected below) would still be the deciding one.
uint64_t DecidingDescriptorTag(ByteView header) {
    uint64_t acceptable = ByteView::npos;
    for (const uint32_t s : kCdSectorSizes) {
        for (uint64_t block = uint64_t(kDescriptorBlock) * s; block < acceptable && block < header.size(); block += s) {
            uint64_t h = 0;  // the first even offset up to 32 holding the tag, if any
            if (ByteView::LaneBlock<33> lanes; header.Block(block, lanes)) {
                // The even offsets of the first 33 bytes that hold 01 (offset k
                // in bit k): most blocks have none, and only those are compared.
                constexpr uint64_t kEven = 0x5555;
                uint64_t ones = (ByteView::LaneBits(lanes.At<0>() == 0x01) & kEven) |
                                (ByteView::LaneBits(lanes.At<16>() == 0x01) & kEven) << 16 |
                                uint64_t(header.U8(block + 32) == 0x01) << 32;
                for (h = 33; ones != 0; ones &= ones - 1) {
                    const auto at = static_cast<uint64_t>(__builtin_ctzll(ones));
                    if (block + at >= acceptable) break;
                    if (header.Equals(block + at, kDescriptorTag)) {
                        h = at;
                        break;
                    }
                }
            } else {
                for (; h <= 32 && block + h < acceptable; h += 2)
                    if (header.U8(block + h) == 0x01 && header.Equals(block + h, kDescriptorTag)) break;
            }
            if (h <= 32 && block + h < acceptable) {
                acceptable = block + h;
                break;
            }
        }
    }
    if (acceptable == ByteView::npos) return ByteView::npos;
    return header.Sub(0, acceptable + kDescriptorTag.size()).Find(kDescriptorTag, 0, 2);
}

}  // namespace

CdImageScan ScanCdImage(CFileCache& r) {
    CdImageScan scan;
    const uint64_t d = DecidingDescriptorTag(r.Header());
    if (d == ByteView::npos) return scan;

    // Try every header length and sector size that puts the descriptor in
    // block 16; the last combination that validates wins.
    bool checked[std::size(kCdSectorSizes)] = {};
    bool valid[std::size(kCdSectorSizes)] = {};
    for (uint64_t h = 0; h <= 32; h += 2) {
        for (size_t i = 0; i < std::size(kCdSectorSizes); ++i) {
            const uint32_t s = kCdSectorSizes[i];
            if (d < h || (d - h) % s != 0 || (d - h) / s < kDescriptorBlock) continue;
            const uint64_t sector0 = d - uint64_t(kDescriptorBlock) * s;
            // Validation depends on the sector size alone, so each is checked once.
            if (!checked[i]) {
                checked[i] = true;
                valid[i] = DescriptorValidates(r, d, s, sector0);
            }
            if (valid[i]) scan.info = CdImageInfo{true, s, sector0};
        }
    }
    if (scan.info.isImage) FindVideoTrack(r, scan, d);
    return scan;
}

}  // namespace torvo
