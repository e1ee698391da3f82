#include "formats/mpeg/SupHEVC.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "base/Text.h"
#include "formats/mpeg/BitReader.h"

namespace torvo {

namespace {
constexpr int kNalVps = 32;
constexpr int kNalSps = 33;
constexpr int kNalPps = 34;
constexpr int kNalAud = 35;
constexpr int kNalSeiPrefix = 39;
// Explicit scaling lists and 64 short-term sets make an SPS of a few KB at most.
constexpr size_t kMaxSpsBytes = 8192;
constexpr int kMaxNalUnitsScanned = 4096;
// Parameter set limits (7.4.3.2.1, 7.4.8): 64 short-term sets, 16 pictures a
// set (sps_max_dec_pic_buffering_minus1 is at most 15), 32 long-term ones.
constexpr uint32_t kMaxShortTermSets = 64;
constexpr int kMaxDeltaPocs = 16;
constexpr uint32_t kMaxLongTermPics = 32;
constexpr uint32_t kMaxDeltaPoc = 1u << 15;
// Zero bytes a stream may start with before its first start code.
constexpr uint64_t kMaxLeadingZeros = 64;
// Units read before the first slice: parameter sets, delimiters, SEI.
constexpr int kMaxUnitsBeforeSlice = 64;

// The fields of a NAL unit header (7.3.1.2).
struct NalHeader {
    bool forbidden = false;
    int type = 0, layer = 0, temporalIdPlus1 = 0;
};
NalHeader ReadNalHeader(ByteView data, uint64_t at) {
    const unsigned b0 = data.U8(at), b1 = data.U8(at + 1);
    return {(b0 & 0x80) != 0, static_cast<int>((b0 >> 1) & 0x3F), static_cast<int>((b0 & 1) << 5 | b1 >> 3),
            static_cast<int>(b1 & 7)};
}

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

// scaling_list_data() (7.3.4): read only to step over it.
bool SkipScalingListData(BitReader& bits) {
    for (int sizeId = 0; sizeId < 4; ++sizeId) {
        for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
            if (!bits.Bit()) {
                if (bits.Ue() > static_cast<uint32_t>(matrixId)) return false;  // scaling_list_pred_matrix_id_delta
                continue;
            }
            const int coefficients = std::min(64, 1 << (4 + (sizeId << 1)));
            if (sizeId > 1) bits.Se();  // scaling_list_dc_coef_minus8
            for (int i = 0; i < coefficients; ++i) bits.Se();
        }
    }
    return !bits.Exhausted();
}

// A short-term reference picture set's delta POCs: how many a later set
// predicted from it reads flags for, and their values, which decide that.
struct ShortTermSet {
    int negative = 0, positive = 0;
    std::array<int32_t, kMaxDeltaPocs> s0{}, s1{};
};

// One list of a set predicted from ref (7-61, 7-62): the other list's
// pictures from its end, the delta itself, then this list's pictures, each
// moved by the delta and kept when its flag says so and it lands on this
// side (a picture moved onto the current one is in neither list).
bool GatherSide(const ShortTermSet& ref, int32_t deltaRps, std::span<const bool> use, bool negativeSide,
                std::array<int32_t, kMaxDeltaPocs>& to, int& count) {
    count = 0;
    const auto take = [&](int32_t d, bool used) {
        if (!used || (negativeSide ? d >= 0 : d <= 0)) return true;
        if (count >= kMaxDeltaPocs) return false;
        to[static_cast<size_t>(count++)] = d;
        return true;
    };
    const auto negative = static_cast<size_t>(ref.negative), positive = static_cast<size_t>(ref.positive);
    // The flags run over S0's pictures, then S1's, then the delta's.
    const auto& other = negativeSide ? ref.s1 : ref.s0;
    const size_t otherCount = negativeSide ? positive : negative, otherFlags = negativeSide ? negative : 0;
    const auto& same = negativeSide ? ref.s0 : ref.s1;
    const size_t sameCount = negativeSide ? negative : positive, sameFlags = negativeSide ? 0 : negative;
    for (size_t j = otherCount; j-- > 0;)
        if (!take(other[j] + deltaRps, use[otherFlags + j])) return false;
    if (!take(deltaRps, use[negative + positive])) return false;
    for (size_t j = 0; j < sameCount; ++j)
        if (!take(same[j] + deltaRps, use[sameFlags + j])) return false;
    return true;
}

// st_ref_pic_set(idx) of an SPS (7.3.7, derived as 7.4.8 says). A set is
// predicted only from the one before it in an SPS (delta_idx_minus1 is 0).
bool ReadShortTermSet(BitReader& bits, std::span<ShortTermSet> sets, size_t idx) {
    ShortTermSet& set = sets[idx];
    if (idx != 0 && bits.Bit()) {  // inter_ref_pic_set_prediction_flag
        const ShortTermSet& ref = sets[idx - 1];
        const bool negativeSign = bits.Bit();
        const uint32_t absMinus1 = bits.Ue();
        if (absMinus1 >= kMaxDeltaPoc) return false;
        const int32_t deltaRps = (negativeSign ? -1 : 1) * static_cast<int32_t>(absMinus1 + 1);
        const int count = ref.negative + ref.positive;
        std::array<bool, 2 * kMaxDeltaPocs + 1> use{};
        for (int j = 0; j <= count; ++j) use[static_cast<size_t>(j)] = bits.Bit() || bits.Bit();
        if (!GatherSide(ref, deltaRps, use, true, set.s0, set.negative) ||
            !GatherSide(ref, deltaRps, use, false, set.s1, set.positive))
            return false;
        return set.negative + set.positive <= kMaxDeltaPocs;
    }
    const uint32_t negative = bits.Ue(), positive = bits.Ue();
    if (negative + uint64_t(positive) > kMaxDeltaPocs) return false;
    set.negative = static_cast<int>(negative);
    set.positive = static_cast<int>(positive);
    int32_t poc = 0;
    for (uint32_t i = 0; i < negative; ++i) {
        const uint32_t minus1 = bits.Ue();
        if (minus1 >= kMaxDeltaPoc) return false;
        poc -= static_cast<int32_t>(minus1 + 1);
        set.s0[i] = poc;
        bits.Skip(1);  // used_by_curr_pic_s0_flag
    }
    poc = 0;
    for (uint32_t i = 0; i < positive; ++i) {
        const uint32_t minus1 = bits.Ue();
        if (minus1 >= kMaxDeltaPoc) return false;
        poc += static_cast<int32_t>(minus1 + 1);
        set.s1[i] = poc;
        bits.Skip(1);  // used_by_curr_pic_s1_flag
    }
    return true;
}

// vui_parameters() (E.2.1) up to the timing.
void ReadVuiTiming(BitReader& bits, HevcSequence& s) {
    constexpr uint32_t kExtendedSar = 255;
    if (bits.Bit() && bits.Bits(8) == kExtendedSar) bits.Skip(32);  // aspect ratio, sar_width and sar_height
    if (bits.Bit()) bits.Skip(1);                                     // overscan
    if (bits.Bit()) {                                                 // video signal type
        bits.Skip(4);
        if (bits.Bit()) bits.Skip(24);                                // colour description
    }
    if (bits.Bit()) {                                                 // chroma sample locations
        bits.Ue();
        bits.Ue();
    }
    bits.Skip(1);  // neutral_chroma_indication_flag
    const bool fieldSeq = bits.Bit();
    bits.Skip(1);  // frame_field_info_present_flag
    if (bits.Bit())  // default display window
        for (int i = 0; i < 4; ++i) bits.Ue();
    if (!bits.Bit()) return;
    const uint32_t units = bits.Bits(32), scale = bits.Bits(32);
    if (bits.Exhausted() || units == 0 || scale == 0) return;
    s.numUnitsInTick = units;
    s.timeScale = scale;
    s.fieldPictures = fieldSeq;
}

// What follows the luma bit depth in an SPS, up to and through the VUI timing.
bool ReadSpsTail(BitReader& bits, int maxSubLayersMinus1, HevcSequence& s) {
    bits.Ue();  // bit_depth_chroma_minus8
    const uint32_t pocLsbBitsMinus4 = bits.Ue();
    if (pocLsbBitsMinus4 > 12) return false;
    const bool orderingForEach = bits.Bit();
    for (int i = orderingForEach ? 0 : maxSubLayersMinus1; i <= maxSubLayersMinus1; ++i)
        for (int k = 0; k < 3; ++k) bits.Ue();  // max_dec_pic_buffering, num_reorder_pics, max_latency_increase
    for (int k = 0; k < 6; ++k) bits.Ue();      // coding and transform block sizes, hierarchy depths
    if (bits.Bit() && bits.Bit() && !SkipScalingListData(bits)) return false;
    bits.Skip(2);  // amp_enabled_flag, sample_adaptive_offset_enabled_flag
    if (bits.Bit()) {  // pcm_enabled_flag
        bits.Skip(8);
        bits.Ue();
        bits.Ue();
        bits.Skip(1);
    }
    const uint32_t shortTermSets = bits.Ue();
    if (shortTermSets > kMaxShortTermSets) return false;
    std::vector<ShortTermSet> sets(shortTermSets);
    for (size_t i = 0; i < sets.size(); ++i)
        if (!ReadShortTermSet(bits, sets, i) || bits.Exhausted()) return false;
    if (bits.Bit()) {  // long_term_ref_pics_present_flag
        const uint32_t longTerm = bits.Ue();
        if (longTerm > kMaxLongTermPics) return false;
        // lt_ref_pic_poc_lsb_sps and used_by_curr_pic_lt_sps_flag of each
        bits.Skip(uint64_t(longTerm) * (pocLsbBitsMinus4 + 4 + 1));
    }
    bits.Skip(2);  // sps_temporal_mvp_enabled_flag, strong_intra_smoothing_enabled_flag
    if (bits.Exhausted()) return false;
    if (bits.Bit()) ReadVuiTiming(bits, s);
    return true;
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

// The unit that starts at start: up to the next start code, less the zero
// byte a four-byte start code begins with. next is where the unit after it
// starts (npos at the end).
ByteView UnitAt(ByteView data, uint64_t start, uint64_t& next) {
    next = NextUnitStart(data, start);
    uint64_t end = next == ByteView::npos ? data.size() : next - 3;
    while (end > start && data.U8(end - 1) == 0) --end;
    return data.Sub(start, end - start);
}

// A video parameter set's fixed bits (7.3.2.1): vps_max_sub_layers_minus1
// at most 6, then vps_reserved_0xffff_16bits.
bool VpsLooksRight(ByteView unit) {
    return unit.size() >= 6 && ((unit.U8(3) >> 1) & 7) <= 6 && unit.U8(4) == 0xFF && unit.U8(5) == 0xFF;
}

// A picture parameter set's first fields (7.3.2.3.1) within their ranges.
bool PpsLooksRight(ByteView unit) {
    const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(unit.From(2), 16);
    BitReader bits(ByteView(rbsp.data(), rbsp.size()));
    return !rbsp.empty() && bits.Ue() <= 63 && bits.Ue() <= 15 && !bits.Exhausted();
}

}  // namespace

double HevcSequence::FrameRate() const {
    if (numUnitsInTick == 0 || timeScale == 0) return 0;
    return double(timeScale) / numUnitsInTick / (fieldPictures ? 2 : 1);
}

bool CSupHEVC::ParseSps(ByteView nal, HevcSequence& s) const {
    if (nal.size() < 4 || ReadNalHeader(nal, 0).type != kNalSps) return false;
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
    s.codedWidth = static_cast<int>(width);
    s.codedHeight = static_cast<int>(height);
    s.width = static_cast<int>(w);
    s.height = static_cast<int>(h);
    s.valid = true;
    // The timing is a bonus: parameters it cannot read past keep their size.
    if (!ReadSpsTail(bits, maxSubLayersMinus1, s)) s.numUnitsInTick = s.timeScale = 0;
    return true;
}

bool CSupHEVC::Analyse(ByteView data, HevcSequence& s) const {
    uint64_t start = NextUnitStart(data, 0);
    for (int n = 0; n < kMaxNalUnitsScanned && start != ByteView::npos; ++n) {
        uint64_t next = 0;
        const ByteView unit = UnitAt(data, start, next);
        if (ReadNalHeader(data, start).type == kNalSps && ParseSps(unit, s)) return true;
        start = next;
    }
    return false;
}

int64_t CSupHEVC::CountPictures(ByteView data) {
    int64_t pictures = 0;
    for (uint64_t p = NextUnitStart(data, 0); p != ByteView::npos && data.Has(p, 3); p = NextUnitStart(data, p)) {
        const NalHeader h = ReadNalHeader(data, p);
        if (h.type < kNalVps && h.layer == 0 && (data.U8(p + 2) & 0x80) != 0) ++pictures;
    }
    return pictures;
}

bool CSupHEVC::IsElementaryStream(ByteView data, HevcSequence& result) {
    // 00 00 01 or a longer run of zeros before the 01, then a unit that may
    // open a stream: a delimiter, a parameter set or prefix SEI.
    const uint64_t one = data.FindOtherByte(0, 0);
    if (one == ByteView::npos || one < 2 || one > kMaxLeadingZeros || data.U8(one) != 1 || !data.Has(one + 1, 3))
        return false;
    const int firstType = ReadNalHeader(data, one + 1).type;
    if (firstType != kNalAud && firstType != kNalVps && firstType != kNalSps && firstType != kNalPps &&
        firstType != kNalSeiPrefix)
        return false;
    bool vps = false, pps = false;
    HevcSequence sequence;
    uint64_t start = one + 1;
    for (int n = 0; n < kMaxUnitsBeforeSlice && start != ByteView::npos && data.Has(start, 3); ++n) {
        uint64_t next = 0;
        const ByteView unit = UnitAt(data, start, next);
        const NalHeader h = ReadNalHeader(data, start);
        // Reserved types (22-31, 41-47) do not occur; the unspecified ones
        // (48-63) belong to extensions and are stepped over.
        const bool reserved = (h.type >= 22 && h.type < kNalVps) || (h.type >= 41 && h.type <= 47);
        if (h.forbidden || h.temporalIdPlus1 == 0 || reserved) return false;
        if (h.type < kNalVps) {
            // The first slice of the first picture, after all three parameter sets.
            if (!vps || !sequence.valid || !pps || h.layer != 0 || (data.U8(start + 2) & 0x80) == 0) return false;
            result = sequence;
            return true;
        }
        if (h.layer == 0 && h.type == kNalVps) {
            if (!VpsLooksRight(unit)) return false;
            vps = true;
        } else if (h.layer == 0 && h.type == kNalSps && !sequence.valid) {
            if (h.temporalIdPlus1 != 1 || !CSupHEVC().ParseSps(unit, sequence)) return false;
        } else if (h.layer == 0 && h.type == kNalPps) {
            if (!PpsLooksRight(unit)) return false;
            pps = true;
        }
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
