// The playing times a report shows: the file's and each offered audio
// stream's, from what the analysers left in the records' duration members.
#pragma once

#include <cstdint>

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// The file's playing time: as its container states it, else the longest
// stream's (the video's or any sound stream's); 0 when nothing says.
int64_t FilePlayingTime(const AnalysisRecords& records);

// Sets CONT_DURATION and the file panel's "Время" when the time is known.
void ReportFilePlayingTime(Display& display, const AnalysisRecords& records);
void ReportFilePlayingTime(Display& display, int64_t ms);

// Sets AUDIO_DURATION(_2, _3) and the audio panel's "Время" for offered
// stream n when its time is known.
void ReportAudioPlayingTime(Display& display, const StreamInfo& stream, int n);

}  // namespace torvo
