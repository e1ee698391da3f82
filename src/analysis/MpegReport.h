// What the analysis of MPEG and DV data shows: the MPEG summary lines of the
// container notes, and the video format fields and lamps for MPEG-4 Part 2,
// H.264, MPEG-2 and raw DV. The driver calls these after the analysers ran.
#pragma once

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// The container-notes summary of an MPEG file (type id 18): the DVD line
// when the program stream carries DVD substreams, then the kind line with
// the stream counts.
void ReportMpegSummary(Display& display, const AnalysisRecords& records);

// The kind line alone, e.g. "Програмн.поток MPEG-2 << { 1 вид, 1 ауд }".
std::string MpegSummaryLine(const ContainerInfo& container);

enum class VideoFormatCase { kNone, kMpeg4, kH264, kMpeg2, kRawDv };

// The video format fields and lamps; the first case that applies wins. Only
// for AVI, MPEG, FLV, MP4 and QuickTime files and raw DV with a video stream.
VideoFormatCase ReportVideoFormat(Display& display, const AnalysisRecords& records);

// The VOP bar: segments for the first two VOP counters and the rest, over 100.
BarGraph VopBar(const std::array<uint32_t, 4>& counts);

// Raw DV implies the picture: 720 x 576 (PAL) or 720 x 480, 16:9 or 4:3.
void ApplyDvPicture(VideoInfo& video);

// A raw DV file's frame rate, frame count and duration from its system and length.
void ApplyRawDvTiming(VideoInfo& video, uint64_t fileLength);

}  // namespace torvo
