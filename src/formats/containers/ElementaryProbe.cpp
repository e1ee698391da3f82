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

void ProbeCollectedVideo(VideoCodecKind kind, AnalysisRecords& records) {
    VideoInfo& video = records.video;
    if (video.data.Count() == 0) return;
    switch (kind) {
        case VideoCodecKind::kMpeg12: CSupMpg(records).AnalyseVideoData(video.data.View()); break;
        case VideoCodecKind::kMpeg4: CSupMpg4().AnalyseCollected(records.container, video); break;
        case VideoCodecKind::kH264:
            video.h264 = CSupH264().Analyse(video.headers[kHeaderH264], video.data.View());
            // The container has no picture size of its own: the cropped one stands for it.
            if (video.h264 && (video.width == 0 || video.height == 0)) {
                video.width = video.headers[kHeaderH264].ShownWidth();
                video.height = video.headers[kHeaderH264].ShownHeight();
            }
            break;
        case VideoCodecKind::kHevc: {
            HevcSequence sequence;
            if (CSupHEVC().Analyse(video.data.View(), sequence)) {
                if (video.width == 0 || video.height == 0) {
                    video.width = sequence.width;
                    video.height = sequence.height;
                }
                video.codecName = HevcName(sequence);
                // The typed rate: the VUI's, where the container's time stamps only approximate it.
                video.headers[kHeaderHevc].timingFrameRate = sequence.FrameRate();
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
