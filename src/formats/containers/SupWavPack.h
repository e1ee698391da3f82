// CSupWavPack: WavPack files (blocks beginning "wvpk" with a 32-byte
// little-endian header, then metadata sub-blocks): the sound format from the
// first block's flags and sub-blocks, the total sample count, lossless or hybrid.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

struct WavPackBlock {
    uint32_t blockSize = 0;    // bytes after the first eight
    uint16_t version = 0;
    uint64_t totalSamples = 0; // UINT64_MAX when unknown
    uint32_t blockSamples = 0;
    uint32_t flags = 0;
    uint32_t sampleRate = 0;   // from the flags or the sample rate sub-block
    uint32_t channels = 0;     // from the flags or the channel information sub-block
    uint32_t bitsPerSample = 0;
    bool hybrid = false, floatingPoint = false, dsd = false;
};

// A block header and its sub-blocks (given the whole block, header first).
bool ReadWavPackBlock(ByteView block, WavPackBlock& out);

class CSupWavPack {
public:
    static constexpr uint32_t kHeaderSize = 32;
    static constexpr uint32_t kMaxBlockSize = 0x1000000;  // larger blocks are not WavPack's
    static constexpr int kMaxBlocksForChannels = 64;

    CSupWavPack(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupWavPack();

    // Reads the first block(s); the sound stream is then in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

    const WavPackBlock& FirstBlock() const { return first_; }

private:
    static constexpr int kMaxTailCandidates = 4096;
    ReadStatus CheckLastBlock(uint64_t fileEnd);

    CFileCache& reader_;
    AnalysisRecords& records_;
    WavPackBlock first_;
};

}  // namespace torvo
