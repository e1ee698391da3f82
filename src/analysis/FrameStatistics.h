// The frame statistics of a video stream in their final form, from what the
// headers declare: duration, bitrate (declared, or estimated from the file
// size less the audio), frame count and quality factor. The full-file frame
// scan refines these figures once it exists; until then the records speak.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// The picture values of VideoInfo: each from the main record, or when it is
// 0 from the first alternative record that has it.
using PictureFigures = PictureRecord;
PictureFigures CollectPictureFigures(const VideoInfo& video);

// The time that many frames play at the frame period, rounded to the millisecond.
int64_t FramesPlayingTimeMs(uint64_t frames, int32_t usPerFrame);

// "%d:%02d.%03d" below an hour, else "%d:%02d:%02d" to the nearest second.
std::string DurationText(int64_t ms);

// The video bitrate left when the audio streams' bitrates are taken from the
// multiplex rate or from the file's media length over the duration.
int64_t EstimateVideoBitrate(const AnalysisRecords& records, int64_t durationMs);

// Video panel and report field writers shared with the video summary.
void ShowVideoBitrate(Display& display, int64_t kbps);
void ShowFrameCount(Display& display, int64_t frames);
void ShowQualityFactor(Display& display, int64_t kbps, int width, int height, double framesPerSecond);

// Final statistics without a frame scan: duration, bitrate, frame count and
// quality factor from the records.
void FrameScanStatistics(Display& display, const AnalysisRecords& records, const PictureFigures& figures,
                         double framesPerSecond, int64_t frameCount);

}  // namespace torvo
