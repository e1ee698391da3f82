// CSupH264: decides whether bytes are an H.264 Annex B byte stream
// (ISO/IEC 14496-10) and reads the picture size from its sequence parameter
// sets. Malformed units lower a plausibility score; the range is accepted
// when the score ends above zero.
#pragma once

#include <array>
#include <cstdint>

#include "base/ByteView.h"
#include "formats/mpeg/BitReader.h"
#include "records/MpegRecords.h"

namespace torvo {

struct SeqParamSet {
    int valid = 0;
    int profile_idc = 0;
    int constraint_set0_flag = 0, constraint_set1_flag = 0, constraint_set2_flag = 0;
    int level_idc = 0;
    int seq_parameter_set_id = 0;
    // Present for the high profiles only.
    int chroma_format_idc = 1;
    int separate_colour_plane_flag = 0;
    int bit_depth_luma_minus8 = 0, bit_depth_chroma_minus8 = 0;
    int qpprime_y_zero_transform_bypass_flag = 0;
    int seq_scaling_matrix_present_flag = 0;
    int log2_max_frame_num_minus4 = 0;
    int pic_order_cnt_type = 0;
    int log2_max_pic_order_cnt_lsb_minus4 = 0;
    int delta_pic_order_always_zero_flag = 0;
    int offset_for_non_ref_pic = 0, offset_for_top_to_bottom_field = 0;
    int num_ref_frames_in_pic_order_cnt_cycle = 0;
    std::array<int, 254> offset_for_ref_frame{};
    int num_ref_frames = 0;
    int gaps_in_frame_num_value_allowed_flag = 0;
    int pic_width_in_mbs_minus1 = 0, pic_height_in_map_units_minus1 = 0;
    int frame_mbs_only_flag = 0, mb_adaptive_frame_field_flag = 0;
    int direct_8x8_inference_flag = 0;
    int frame_cropping_flag = 0;
    int frame_crop_left_offset = 0, frame_crop_right_offset = 0;
    int frame_crop_top_offset = 0, frame_crop_bottom_offset = 0;
    int vui_parameters_present_flag = 0;
    // VUI timing (Annex E): 0 when absent.
    uint32_t num_units_in_tick = 0, time_scale = 0;
};

struct PicParamSet {
    int valid = 0;
    int pic_parameter_set_id = 0, seq_parameter_set_id = 0;
    int entropy_coding_mode_flag = 0, pic_order_present_flag = 0;
    int num_slice_groups_minus1 = 0, slice_group_map_type = 0;
    std::array<int, 8> run_length_minus1{}, top_left{}, bottom_right{};
    int slice_group_change_direction_flag = 0, slice_group_change_rate_minus1 = 0;
    int pic_size_in_map_units_minus1 = 0;
    std::array<int, 8> slice_group_id{};
    int num_ref_idx_l0_active_minus1 = 0, num_ref_idx_l1_active_minus1 = 0;
    int weighted_pred_flag = 0, weighted_bipred_idc = 0;
    int pic_init_qp_minus26 = 0, pic_init_qs_minus26 = 0, chroma_qp_index_offset = 0;
    int deblocking_filter_control_present_flag = 0, constrained_intra_pred_flag = 0;
    int redundant_pic_cnt_present_flag = 0;
};

class CSupH264 {
public:
    virtual ~CSupH264() = default;

    // Scans the range; returns the header's present flag.
    bool Analyse(VideoHeader& header, ByteView data);

    // The NAL unit after the first run of three or more zero bytes at or after
    // `from`: its first byte (the NAL header) to the next such run or the end.
    // Empty when there is none. Three-byte start codes are not recognised.
    static ByteView NextNalUnit(ByteView data, uint64_t from, uint64_t& unitStart);

    // Readers over the current unit; the first read begins after the NAL header byte.
    void BeginUnit(ByteView unit) { bits_ = BitReader(unit, 1); }
    uint32_t ReadBits(unsigned n) { return bits_.Bits(n); }
    void ParseVuiTiming(SeqParamSet& sps);
    uint32_t ReadUe() { return bits_.Ue(); }
    void ParseSps(SeqParamSet& sps);
    void ParsePps(PicParamSet& pps);

    int Score() const { return score_; }

private:
    void SkipScalingList(int size);

    int score_ = 0;
    SeqParamSet sps_;
    PicParamSet pps_;
    int lastWidth_ = 0, lastHeight_ = 0;
    BitReader bits_;
};

}  // namespace torvo
