// CSupFLAC: native FLAC files ("fLaC" and the metadata blocks of the FLAC
// format, RFC 9639): STREAMINFO for the sound format and the sample count,
// the Vorbis comment, and the pictures by their kind.
#pragma once

#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

struct FlacStreamInfo {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    uint64_t totalSamples = 0;  // 0 when the encoder did not know it
    uint32_t minBlockSize = 0, maxBlockSize = 0;
};

// The 34-byte body of a STREAMINFO block; false when it is short or its
// sample rate is 0.
bool ReadFlacStreamInfoBody(ByteView body, FlacStreamInfo& out);

// "Обложка (front cover), image/jpeg, 300 x 300" for the body of a PICTURE block.
std::string DescribeFlacPicture(ByteView body);

class CSupFLAC {
public:
    static constexpr int kMaxBlocks = 1024;
    static constexpr uint32_t kStreamInfo = 0, kVorbisComment = 4, kPicture = 6;

    CSupFLAC(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupFLAC();

    // True when STREAMINFO was read; the sound stream, its duration and the
    // tags are then in the records.
    bool Analyse();

    const FlacStreamInfo& Info() const { return info_; }
    // Where the first audio frame begins (after the last metadata block).
    uint64_t AudioStart() const { return audioStart_; }

private:
    CFileCache& reader_;
    AnalysisRecords& records_;
    FlacStreamInfo info_;
    uint64_t audioStart_ = 0;
};

}  // namespace torvo
