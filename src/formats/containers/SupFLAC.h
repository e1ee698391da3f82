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

// The samples an audio frame covers: its first sample's number and its block
// size, from a frame header whose CRC-8 checks; false for anything else.
// Fixed-blocking streams number frames, not samples: `fixedBlockSize` turns
// the one into the other.
struct FlacFrameSpan {
    uint64_t firstSample = 0;
    uint32_t blockSize = 0;
};
bool ReadFlacFrameHeader(ByteView header, uint32_t fixedBlockSize, FlacFrameSpan& out);

// "Обложка (front cover), image/jpeg, 300 x 300" for the body of a PICTURE block.
std::string DescribeFlacPicture(ByteView body);

class CSupFLAC {
public:
    static constexpr int kMaxBlocks = 1024;
    static constexpr uint64_t kTailBytes = 0x40000;   // searched for the last frame header
    static constexpr uint64_t kMaxFrameHeader = 16;
    static constexpr uint32_t kStreamInfo = 0, kVorbisComment = 4, kPicture = 6;

    CSupFLAC(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupFLAC();

    // Reads the metadata blocks; once STREAMINFO was read the sound stream, its
    // duration and the tags are in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

    const FlacStreamInfo& Info() const { return info_; }
    // Where the first audio frame begins (after the last metadata block).
    uint64_t AudioStart() const { return audioStart_; }

private:
    // Whether the last frame in the file's tail reaches the total STREAMINFO states.
    ReadStatus CheckLastFrame(uint64_t fileEnd);

    CFileCache& reader_;
    AnalysisRecords& records_;
    FlacStreamInfo info_;
    uint64_t audioStart_ = 0;
};

}  // namespace torvo
