// The container notes of the formats analysed beside AVI, MPEG, MP4, FLV
// and ASF (Ogg, FLAC, AIFF, AU, WavPack, VOC, RealMedia, RIFX).
#pragma once

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// The format with its stream counts, then a line per stream.
void ReportNamedFormatSummary(Display& display, const AnalysisRecords& records);

}  // namespace torvo
