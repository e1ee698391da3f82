#include "formats/mpeg/SupHEVC.h"

#include <vector>

#include "base/Text.h"
#include "formats/mpeg/BitReader.h"

namespace torvo {

namespace {
constexpr int kNalSps = 33;
constexpr size_t kMaxSpsBytes = 1024;
constexpr int kMaxNalUnitsScanned = 4096;

void SkipProfileTierLevel(BitReader& bits, int maxSubLayersMinus1, HevcSequence& s) {
    bits.Skip(2);  // general_profile_space
    s.tier = static_cast<int>(bits.Bits(1));
    s.profileIdc = static_cast<int>(bits.Bits(5));
    bits.Skip(32 + 48);  // compatibility flags, source flags and reserved bits
    s.levelIdc = static_cast<int>(bits.Bits(8));
    bool profilePresent[8] = {}, levelPresent[8] = {};
    for (int i = 0; i < maxSubLayersMinus1; ++i) {
        profilePresent[i] = bits.Bit();
        levelPresent[i] = bits.Bit();
    }
    if (maxSubLayersMinus1 > 0)
        for (int i = maxSubLayersMinus1; i < 8; ++i) bits.Skip(2);
    for (int i = 0; i < maxSubLayersMinus1; ++i) {
        if (profilePresent[i]) bits.Skip(88);
        if (levelPresent[i]) bits.Skip(8);
    }
}

// The next start code (00 00 01) at or after from: the position after it, or npos.
uint64_t NextUnitStart(ByteView data, uint64_t from) {
    for (uint64_t p = from; p + 3 <= data.size(); ++p) {
        p = data.FindByte(0, p);
        if (p == ByteView::npos || p + 3 > data.size()) return ByteView::npos;
        if (data.U8(p + 1) == 0 && data.U8(p + 2) == 1) return p + 3;
    }
    return ByteView::npos;
}
}  // namespace

bool CSupHEVC::ParseSps(ByteView nal, HevcSequence& s) const {
    if (nal.size() < 4 || ((nal.U8(0) >> 1) & 0x3F) != kNalSps) return false;
    const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(nal.From(2), kMaxSpsBytes);
    BitReader bits(ByteView(rbsp.data(), rbsp.size()));
    s = HevcSequence{};
    bits.Skip(4);  // sps_video_parameter_set_id
    const int maxSubLayersMinus1 = static_cast<int>(bits.Bits(3));
    if (maxSubLayersMinus1 > 6) return false;
    bits.Skip(1);
    SkipProfileTierLevel(bits, maxSubLayersMinus1, s);
    if (bits.Ue() > 15) return false;  // sps_seq_parameter_set_id
    s.chromaFormatIdc = static_cast<int>(bits.Ue());
    if (s.chromaFormatIdc > 3) return false;
    if (s.chromaFormatIdc == 3) bits.Skip(1);  // separate_colour_plane_flag
    const uint32_t width = bits.Ue(), height = bits.Ue();
    if (width == 0 || height == 0 || width > 16888 || height > 16888) return false;
    int64_t w = width, h = height;
    if (bits.Bit()) {  // conformance window, in chroma sample units
        const int subWidth = s.chromaFormatIdc == 1 || s.chromaFormatIdc == 2 ? 2 : 1;
        const int subHeight = s.chromaFormatIdc == 1 ? 2 : 1;
        const int64_t left = bits.Ue(), right = bits.Ue(), top = bits.Ue(), bottom = bits.Ue();
        w -= subWidth * (left + right);
        h -= subHeight * (top + bottom);
    }
    if (w <= 0 || h <= 0 || bits.Exhausted()) return false;
    s.bitDepthLuma = static_cast<int>(bits.Ue()) + 8;
    s.width = static_cast<int>(w);
    s.height = static_cast<int>(h);
    s.valid = true;
    return true;
}

bool CSupHEVC::Analyse(ByteView data, HevcSequence& s) const {
    uint64_t start = NextUnitStart(data, 0);
    for (int n = 0; n < kMaxNalUnitsScanned && start != ByteView::npos; ++n) {
        const uint64_t next = NextUnitStart(data, start);
        uint64_t end = next == ByteView::npos ? data.size() : next - 3;
        while (end > start && data.U8(end - 1) == 0) --end;  // a four-byte start code's leading zero
        if (((data.U8(start) >> 1) & 0x3F) == kNalSps && ParseSps(data.Sub(start, end - start), s)) return true;
        start = next;
    }
    return false;
}

int CSupHEVC::AppendHvcConfig(ByteView record, ElementaryBuffer& out) {
    // configurationVersion 1, then 21 bytes of profile and format fields.
    if (record.size() < 23 || record.U8(0) != 1) return 0;
    const int lengthSize = (record.U8(21) & 3) + 1;
    if (lengthSize == 3) return 0;
    const unsigned arrays = record.U8(22);
    static constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
    uint64_t pos = 23;
    for (unsigned a = 0; a < arrays; ++a) {
        if (!record.Has(pos, 3)) return 0;
        const unsigned count = record.Be16(pos + 1);
        pos += 3;
        for (unsigned i = 0; i < count; ++i) {
            const uint16_t length = record.Be16(pos);
            const ByteView unit = record.Sub(pos + 2, length);
            if (length == 0 || unit.size() != length || out.Room() < 4u + length) return 0;
            out.Append(kStartCode, 4);
            out.Append(unit);
            pos += 2u + length;
        }
    }
    return lengthSize;
}

std::string HevcName(const HevcSequence& s) {
    if (!s.valid) return "HEVC";
    const char* profile = s.profileIdc == 1   ? "Main"
                          : s.profileIdc == 2 ? "Main 10"
                          : s.profileIdc == 3 ? "Main Still"
                          : s.profileIdc == 4 ? "RExt"
                                              : nullptr;
    // general_level_idc is 30 times the level number.
    const std::string level = s.levelIdc % 30 == 0 ? Format("%d", s.levelIdc / 30)
                                                   : Format("%d.%d", s.levelIdc / 30, s.levelIdc % 30 / 3);
    return profile ? Format("HEVC %s@L%s", profile, level.c_str()) : Format("HEVC @L%s", level.c_str());
}

}  // namespace torvo
