#include "formats/mpeg/SupH264.h"

#include "base/PatternScan.h"

namespace torvo {
namespace {

constexpr int kPenalty = 5;
constexpr int kGiveUp = -99;
// About four times the widest picture of the highest level (1055 macroblocks).
constexpr int64_t kMaxCodedSide = 65536;
constexpr unsigned kSliceGroupLimit = 8;
// Parameter sets are short; the rest of a longer unit is not read.
constexpr size_t kMaxSpsBytes = 1024;

// Profiles whose SPS carries chroma format, bit depths and scaling matrices
// between seq_parameter_set_id and log2_max_frame_num_minus4.
bool HasChromaFields(int profile) {
    switch (profile) {
        case 100: case 110: case 122: case 244: case 44: case 83: case 86:
        case 118: case 128: case 138: case 139: case 134: case 135:
            return true;
        default:
            return false;
    }
}

int AsInt(uint32_t v) { return static_cast<int>(v); }

// The frame-cropping units of ISO/IEC 14496-10 (7.4.2.1.1): whole samples for
// monochrome or separately coded colour planes, else the chroma subsampling,
// doubled vertically for field-coded streams.
void CroppedSize(const SeqParamSet& sps, int64_t width, int64_t height, int32_t& outWidth, int32_t& outHeight) {
    const bool chromaArray = sps.separate_colour_plane_flag == 0 && sps.chroma_format_idc != 0;
    const int64_t unitX = chromaArray && sps.chroma_format_idc != 3 ? 2 : 1;
    const int64_t unitY = (chromaArray && sps.chroma_format_idc == 1 ? 2 : 1) * (2 - sps.frame_mbs_only_flag);
    const int64_t w = width - unitX * (int64_t(sps.frame_crop_left_offset) + sps.frame_crop_right_offset);
    const int64_t h = height - unitY * (int64_t(sps.frame_crop_top_offset) + sps.frame_crop_bottom_offset);
    if (w <= 0 || h <= 0 || w > width || h > height) return;  // offsets that crop everything are ignored
    outWidth = static_cast<int32_t>(w);
    outHeight = static_cast<int32_t>(h);
}

}  // namespace

ByteView CSupH264::NextNalUnit(ByteView data, uint64_t from, uint64_t& unitStart) {
    static constexpr BytePattern kThreeZeros = {{0, 0xFF, 0}, {1, 0xFF, 0}, {2, 0xFF, 0}};
    const uint64_t n = data.size();
    // The unit starts after the first non-zero byte after the first run of 3+ zeros.
    const uint64_t run = FindPattern(data, kThreeZeros, from);
    if (run == ByteView::npos) return {};
    uint64_t code = data.FindOtherByte(0, run + 3);  // the rest of the run
    if (code == ByteView::npos) code = n;
    if (code + 1 >= n) return {};
    unitStart = code + 1;
    // The unit ends where the next run begins. No zero lies just before the
    // first run after its start (it would begin an earlier run), so that is
    // where the run's zeros begin. Without a run it ends at the end of the
    // data, less the zeros (two at most) there.
    uint64_t end = FindPattern(data, kThreeZeros, unitStart);
    if (end == ByteView::npos) {
        end = n;
        while (end > unitStart && data.U8(end - 1) == 0) --end;
    }
    return data.Sub(unitStart, end - unitStart);
}

void CSupH264::SkipScalingList(int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            const int64_t delta = bits_.Se();
            next = static_cast<int>(((last + delta) % 256 + 256) % 256);
        }
        if (next != 0) last = next;
    }
}

void CSupH264::ParseSps(SeqParamSet& sps) {
    sps.profile_idc = AsInt(ReadBits(8));
    sps.constraint_set0_flag = AsInt(ReadBits(1));
    sps.constraint_set1_flag = AsInt(ReadBits(1));
    sps.constraint_set2_flag = AsInt(ReadBits(1));
    score_ += ReadBits(5) == 0 ? 1 : -kPenalty;
    sps.level_idc = AsInt(ReadBits(8));
    sps.seq_parameter_set_id = AsInt(ReadUe());
    if (HasChromaFields(sps.profile_idc)) {
        sps.chroma_format_idc = AsInt(ReadUe());
        if (sps.chroma_format_idc == 3) sps.separate_colour_plane_flag = AsInt(ReadBits(1));
        sps.bit_depth_luma_minus8 = AsInt(ReadUe());
        sps.bit_depth_chroma_minus8 = AsInt(ReadUe());
        sps.qpprime_y_zero_transform_bypass_flag = AsInt(ReadBits(1));
        sps.seq_scaling_matrix_present_flag = AsInt(ReadBits(1));
        if (sps.seq_scaling_matrix_present_flag) {
            const int lists = sps.chroma_format_idc != 3 ? 8 : 12;
            for (int i = 0; i < lists; ++i)
                if (ReadBits(1)) SkipScalingList(i < 6 ? 16 : 64);
        }
    }
    sps.log2_max_frame_num_minus4 = AsInt(ReadUe());
    sps.pic_order_cnt_type = AsInt(ReadUe());
    if (sps.pic_order_cnt_type == 0) {
        sps.log2_max_pic_order_cnt_lsb_minus4 = AsInt(ReadUe());
    } else if (sps.pic_order_cnt_type == 1) {
        sps.delta_pic_order_always_zero_flag = AsInt(ReadBits(1));
        sps.offset_for_non_ref_pic = AsInt(ReadUe());
        sps.offset_for_top_to_bottom_field = AsInt(ReadUe());
        const uint32_t cycle = ReadUe();
        sps.num_ref_frames_in_pic_order_cnt_cycle = AsInt(cycle);
        if (cycle >= 255) {
            score_ -= kPenalty;
            return;
        }
        for (uint32_t i = 0; i < cycle; ++i) sps.offset_for_ref_frame[i] = AsInt(ReadUe());
    }
    sps.num_ref_frames = AsInt(ReadUe());
    sps.gaps_in_frame_num_value_allowed_flag = AsInt(ReadBits(1));
    sps.pic_width_in_mbs_minus1 = AsInt(ReadUe());
    sps.pic_height_in_map_units_minus1 = AsInt(ReadUe());
    sps.frame_mbs_only_flag = AsInt(ReadBits(1));
    if (!sps.frame_mbs_only_flag) sps.mb_adaptive_frame_field_flag = AsInt(ReadBits(1));
    sps.direct_8x8_inference_flag = AsInt(ReadBits(1));
    sps.frame_cropping_flag = AsInt(ReadBits(1));
    if (sps.frame_cropping_flag) {
        sps.frame_crop_left_offset = AsInt(ReadUe());
        sps.frame_crop_right_offset = AsInt(ReadUe());
        sps.frame_crop_top_offset = AsInt(ReadUe());
        sps.frame_crop_bottom_offset = AsInt(ReadUe());
    }
    sps.vui_parameters_present_flag = AsInt(ReadBits(1));
    if (sps.vui_parameters_present_flag) ParseVuiTiming(sps);
    sps.valid = 1;
}

void CSupH264::ParseVuiTiming(SeqParamSet& sps) {
    // ITU-T H.264 E.1.1: what comes before the timing, then the timing itself.
    constexpr uint32_t kExtendedSar = 255;
    if (ReadBits(1) && ReadBits(8) == kExtendedSar) ReadBits(32);  // aspect ratio, sar_width and sar_height
    if (ReadBits(1)) ReadBits(1);                                   // overscan
    if (ReadBits(1)) {                                              // video signal type
        ReadBits(4);
        if (ReadBits(1)) ReadBits(24);                              // colour description
    }
    if (ReadBits(1)) {                                              // chroma sample locations
        ReadUe();
        ReadUe();
    }
    if (!ReadBits(1)) return;
    sps.num_units_in_tick = ReadBits(32);
    sps.time_scale = ReadBits(32);
}

void CSupH264::ParsePps(PicParamSet& pps) {
    pps.pic_parameter_set_id = AsInt(ReadUe());
    pps.seq_parameter_set_id = AsInt(ReadUe());
    pps.entropy_coding_mode_flag = AsInt(ReadBits(1));
    pps.pic_order_present_flag = AsInt(ReadBits(1));
    const uint32_t groups = ReadUe();
    pps.num_slice_groups_minus1 = AsInt(groups);
    if (groups >= kSliceGroupLimit) {
        score_ -= kPenalty;
        return;
    }
    if (groups > 0) {
        const uint32_t type = ReadUe();
        pps.slice_group_map_type = AsInt(type);
        if (type == 0) {
            for (uint32_t g = 0; g <= groups; ++g) pps.run_length_minus1[g] = AsInt(ReadUe());
        } else if (type == 2) {
            for (uint32_t g = 0; g < groups; ++g) {
                pps.top_left[g] = AsInt(ReadUe());
                pps.bottom_right[g] = AsInt(ReadUe());
            }
        } else if (type >= 3 && type <= 5) {
            pps.slice_group_change_direction_flag = AsInt(ReadBits(1));
            pps.slice_group_change_rate_minus1 = AsInt(ReadUe());
        } else if (type == 6) {
            const uint32_t units = ReadUe();
            pps.pic_size_in_map_units_minus1 = AsInt(units);
            if (units < kSliceGroupLimit) {
                const unsigned idBits = groups + 1 > 4 ? 3 : groups + 1 > 2 ? 2 : 1;
                for (uint32_t i = 0; i <= units; ++i) pps.slice_group_id[i] = AsInt(ReadBits(idBits));
            } else {
                score_ -= kPenalty;
            }
        }
    }
    pps.num_ref_idx_l0_active_minus1 = AsInt(ReadUe());
    pps.num_ref_idx_l1_active_minus1 = AsInt(ReadUe());
    pps.weighted_pred_flag = AsInt(ReadBits(1));
    pps.weighted_bipred_idc = AsInt(ReadBits(2));
    pps.pic_init_qp_minus26 = AsInt(ReadUe());
    pps.pic_init_qs_minus26 = AsInt(ReadUe());
    pps.chroma_qp_index_offset = AsInt(ReadUe());
    pps.deblocking_filter_control_present_flag = AsInt(ReadBits(1));
    pps.constrained_intra_pred_flag = AsInt(ReadBits(1));
    pps.redundant_pic_cnt_present_flag = AsInt(ReadBits(1));
    pps.valid = 1;
}

bool CSupH264::Analyse(VideoHeader& header, ByteView data) {
    score_ = 0;
    uint64_t from = 0, start = 0;
    for (ByteView unit = NextNalUnit(data, from, start); !unit.empty() && score_ >= kGiveUp;
         unit = NextNalUnit(data, from, start)) {
        // The search for the next unit goes on where this one ended: the zero
        // run that ends it is the first after its start.
        from = start + unit.size();
        const int type = unit.U8(0) & 0x1F;
        BeginUnit(unit);
        if (type >= 13) {
            score_ -= kPenalty;
        } else if (type == 7) {
            sps_ = SeqParamSet{};
            // The parameters' bits without the bytes that keep start codes out of them.
            const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(unit, kMaxSpsBytes);
            BeginUnit(ByteView(rbsp.data(), rbsp.size()));
            ParseSps(sps_);
            // The coded size in whole macroblocks: cropping is not applied, so 1080 lines read 1088.
            const int64_t codedWidth = (int64_t(sps_.pic_width_in_mbs_minus1) + 1) * 16;
            const int64_t codedHeight =
                (2 - sps_.frame_mbs_only_flag) * (int64_t(sps_.pic_height_in_map_units_minus1) + 1) * 16;
            // A size far beyond every level (fields near 2^32 included) is a damaged
            // parameter set, not a picture size.
            if (codedWidth <= 0 || codedHeight <= 0 || codedWidth > kMaxCodedSide || codedHeight > kMaxCodedSide) {
                score_ -= kPenalty;
                continue;
            }
            const int width = static_cast<int>(codedWidth), height = static_cast<int>(codedHeight);
            if (lastWidth_ == 0 || lastHeight_ == 0) {
                lastWidth_ = header.width = width;
                lastHeight_ = header.height = height;
                header.croppedWidth = header.croppedHeight = 0;
                if (sps_.valid && sps_.frame_cropping_flag)
                    CroppedSize(sps_, width, height, header.croppedWidth, header.croppedHeight);
                // Two ticks a frame (E.2.1): a field each.
                header.timingFrameRate = sps_.num_units_in_tick > 0 && sps_.time_scale > 0
                                             ? sps_.time_scale / (2.0 * sps_.num_units_in_tick) : 0;
            } else if (width != lastWidth_ || height != lastHeight_) {
                score_ -= kPenalty;
                lastWidth_ = width;
                lastHeight_ = height;
                continue;
            }
            score_ += 1;
        } else if (type == 8) {
            pps_ = PicParamSet{};
            ParsePps(pps_);
        }
    }
    if (score_ <= 0) {
        if (!header.present) header = VideoHeader{};
        return header.present != 0;
    }
    header.present = 1;
    header.version = kVersionH264;
    return true;
}

}  // namespace torvo
