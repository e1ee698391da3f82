// The driver's summaries of a container: the length check against the length the headers declare, and the system summary
// (bitrates, DRM, frame size, creation and modification times).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// Compares the length the headers declare with the logical length; nothing
// when no analyser recorded a declared length.
void ReportLengthCheck(Display& display, uint64_t declared, uint64_t actual);

// Two lines per problem a container reader met: where the file stops short
// or goes wrong, then the reader's reason.
void ReportReadProblems(Display& display, const std::vector<ReadStatus>& problems);

// Bitrate lines, the DRM warning, the frame size check and the times.
void ReportSystemSummary(Display& display, const AnalysisRecords& records);

// "%Y %b %d   %H:%M:%S" in local time; empty when the time cannot be shown.
std::string FileTimeText(int64_t secondsSince1970);

}  // namespace torvo
