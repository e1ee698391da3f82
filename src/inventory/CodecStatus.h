// Whether this machine can decode a stream: the stream's source and
// elementary types, and the chain search over the published inventory.
#pragma once

#include "records/Records.h"
#include "inventory/ChainSearch.h"
#include "inventory/CodecEntry.h"

namespace torvo {

// The codec status codes shared by video and audio.
enum CodecStatus : int {
    kStatusUndetermined = 0,
    kStatusDisabled = 1,
    kStatusNotNeeded = 2,
    kStatusMissing = 3,
    kStatusInstalled = 5,
};

enum StreamKind { kVideoStream, kAudioStream };

struct StreamTypePairs {
    MediaTypePair source{};
    MediaTypePair elementary{};
};

// The type the file's data arrives in and the type of the coded stream.
// videoStatusCode is the video status already decided (2: no codec needed);
// audioEntry is the audio list entry asked about. False when the types
// cannot be derived.
bool StreamTypes(const AnalysisRecords& records, StreamKind kind, int audioEntry, int videoStatusCode,
                 StreamTypePairs& types);

// 1 chain found, 2 no chain, 0 not determined. The inventory may be null
// (none published yet).
int VideoCodecStatus(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo,
                     int videoStatusCode);
int AudioCodecStatus(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, int audioEntry);

// The status code of the video stream: 2 when the codec database says no
// codec is needed, 1 with codec interaction off, else 5, 3 or 0.
int VideoStatusCode(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, bool noCodecNeeded);
// The status code of an audio stream: 2 for PCM, 1 with codec interaction
// off, else 5, 3 or 9.
int AudioStatusCode(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, int audioEntry);
// The same for a sound stream of the records outside the audio list.
int StreamAudioStatusCode(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo,
                          const StreamInfo& stream);

// Whether the video stream is stored uncompressed (no codec needed).
bool IsUncompressedVideo(const AnalysisRecords& records);
// Whether an offered audio stream carries uncompressed PCM.
bool IsPcmAudio(const AnalysisRecords& records, int audioEntry);

}  // namespace torvo
