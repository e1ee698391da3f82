// CSupFLV: Flash video files. Walks the tags, takes the video codec id,
// picture size, frame timing and bitrate from the video tags and the sound
// format from the audio tags, and copies the tag payloads into the video and
// audio elementary buffers (H.264 in start-code form).
#pragma once

#include <cstdint>
#include <functional>

#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

class CSupFLV {
public:
    // The MPEG audio analysis run over the collected audio after the walk.
    using AudioAnalysis = std::function<void(StreamInfo& audio)>;

    // The audio stream goes to records.Stream(audioSlot).
    explicit CSupFLV(AnalysisRecords& records, size_t audioSlot = 0);
    virtual ~CSupFLV();

    // Until the MPEG audio parser is wired in here, the driver hands it over;
    // without one the collected audio is left for the driver's own tests.
    void SetAudioAnalysis(AudioAnalysis analysis) { audioAnalysis_ = std::move(analysis); }

    // Walks the tags. Damaged when a tag of an unknown type ended the walk
    // (nothing is settled then); truncated when the tags run past the end of
    // the file; ok otherwise, also for data without an FLV header.
    ReadStatus ReadFile(CFileCache& reader);

    int VideoTagCount() const { return videoTags_; }

private:
    void ReadAudioTag(CFileCache& reader, uint64_t data, uint32_t length, StreamInfo& audio);
    void ReadVideoTag(CFileCache& reader, uint64_t data, uint32_t length, uint32_t timestamp);
    void ReadAvcPacket(CFileCache& reader, uint64_t data, uint32_t length);

    AnalysisRecords& records_;
    size_t audioSlot_;
    AudioAnalysis audioAnalysis_;
    int videoTags_ = 0;
    int avcLengthSize_ = 0;  // from the AVC sequence header; 0 until one is seen
    double metaDuration_ = 0, metaFrameRate_ = 0;  // seconds and frames per second, as onMetaData states them
    uint32_t firstVideoTime_ = 0, lastVideoTime_ = 0;  // milliseconds
    int64_t audioTags_ = 0;
    uint32_t firstAudioTime_ = 0, lastAudioTime_ = 0;
};

}  // namespace torvo
