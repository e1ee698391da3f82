// The audio streams a file offers: which four the audio panel lists, and the
// description, codec name and status of each.
#pragma once

#include <functional>
#include <string>

#include "analysis/Display.h"
#include "inventory/CodecStatus.h"
#include "records/Records.h"

namespace torvo {

// Completes a format tag text ("0x0055") with the codec database's name:
// "0x0055 (mpeglayer3)", or "0x0055(не знаю)" when it has none.
using AudioFormatNamer = std::function<std::string(const std::string& tagText)>;

struct StatusTexts {
    const char* panel;
    uint32_t colour;  // 0x00BBGGRR
    const char* field;
};
StatusTexts TextsForStatus(int status);

// Refills the audio list from all stream slots: LPCM substreams and streams
// that an elementary test recognised, in slot order, at most four. Entries no
// such stream overwrites keep what the container analysis put there. Further
// recognised streams go to audioBeyondList.
void RefillAudioList(AnalysisRecords& records);

// "MP3" style name of the stream's codec from its result records.
std::string AudioCodecName(const StreamInfo& stream, const AudioFormatNamer& namer);

// Shows audio list entry n in audio panel n and stores its fields with stream
// index n (1 and 2 fill the _2 and _3 keys; 3 fills none).
void DescribeAudioStream(Display& display, const AnalysisRecords& records, int n, const AudioFormatNamer& namer,
                         int status);

}  // namespace torvo
