// The video format fields and indicator lamps: MPEG-4 Part 2 tools, H.264,
// MPEG-2 field order and pulldown, raw DV.
#pragma once

#include "analysis/Display.h"
#include "analysis/Records.h"

namespace torvo {

// Whether the format fields and lamps apply to this file at all.
bool VideoFormatApplies(const ContainerInfo& container, const VideoInfo& video);

// Sets the lamps and fields of the first kind of video that was seen. Raw DV
// also fixes the picture size and aspect ratio in the video record.
void ReportVideoFormat(Display& display, VideoInfo& video);

// The VOP bar: segments for the first two VOP counters and the rest, over 100.
BarGraph VopBar(const std::array<uint32_t, 4>& counts);

}  // namespace torvo
