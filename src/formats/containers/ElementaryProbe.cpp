#include "formats/containers/ElementaryProbe.h"

#include "formats/mpeg/SupAAC.h"
#include "formats/mpeg/SupAC3.h"
#include "formats/mpeg/SupDTS.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupHEVC.h"
#include "formats/mpeg/SupMp3.h"
#include "formats/mpeg/SupMpg.h"
#include "formats/mpeg/SupMpg4.h"

namespace torvo {

namespace {
// The display size of the first sequence parameter set: the coded
// macroblocks less the cropping rectangle (ITU-T H.264 7.4.2.1.1).
bool CroppedH264Size(ByteView data, int32_t& width, int32_t& height) {
    CSupH264 parser;
    uint64_t from = 0, start = 0;
    for (ByteView unit = CSupH264::NextNalUnit(data, from, start); !unit.empty();
         unit = CSupH264::NextNalUnit(data, from, start)) {
        from = start;
        if ((unit.U8(0) & 0x1F) != 7) continue;
        SeqParamSet sps;
        parser.BeginUnit(unit);
        parser.ParseSps(sps);
        const int64_t frameHeightFactor = 2 - sps.frame_mbs_only_flag;
        const int64_t cropX = sps.chroma_format_idc == 0 || sps.chroma_format_idc == 3 ? 1 : 2;
        const int64_t cropY = (sps.chroma_format_idc == 1 ? 2 : 1) * frameHeightFactor;
        const int64_t w = (int64_t(sps.pic_width_in_mbs_minus1) + 1) * 16 -
                          cropX * (int64_t(sps.frame_crop_left_offset) + sps.frame_crop_right_offset);
        const int64_t h = (int64_t(sps.pic_height_in_map_units_minus1) + 1) * 16 * frameHeightFactor -
                          cropY * (int64_t(sps.frame_crop_top_offset) + sps.frame_crop_bottom_offset);
        if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
        width = static_cast<int32_t>(w);
        height = static_cast<int32_t>(h);
        return true;
    }
    return false;
}
}  // namespace

void ProbeCollectedVideo(VideoCodecKind kind, AnalysisRecords& records) {
    VideoInfo& video = records.video;
    if (video.data.Count() == 0) return;
    switch (kind) {
        case VideoCodecKind::kMpeg12: CSupMpg(records).AnalyseVideoData(video.data.View()); break;
        case VideoCodecKind::kMpeg4: CSupMpg4().AnalyseCollected(records.container, video); break;
        case VideoCodecKind::kH264:
            video.h264 = CSupH264().Analyse(video.headers[kHeaderH264], video.data.View());
            // The container has no picture size of its own: the cropped one stands for it.
            if (video.h264 && (video.width == 0 || video.height == 0))
                CroppedH264Size(video.data.View(), video.width, video.height);
            break;
        case VideoCodecKind::kHevc: {
            HevcSequence sequence;
            if (CSupHEVC().Analyse(video.data.View(), sequence)) {
                if (video.width == 0 || video.height == 0) {
                    video.width = sequence.width;
                    video.height = sequence.height;
                }
                video.codecName = HevcName(sequence);
            }
            break;
        }
        default: break;
    }
}

void ProbeCollectedAudio(unsigned tests, StreamInfo& stream, ContainerInfo& container) {
    const ByteView data = stream.data.View();
    if (data.empty()) return;
    if (tests & kTestMpegAudio) CSupMp3().Analyse(data, stream.audio[kAudioClassMpeg]);
    if (tests & kTestAc3) CSupAC3().Analyse(data, stream.audio[kAudioClassAc3]);
    if (tests & kTestDts) CSupDTS().Analyse(data, stream.audio[kAudioClassDts]);
    if (tests & kTestAac) CSupAAC().Analyse(data, stream.audio[kAudioClassAac], container);
}

}  // namespace torvo
