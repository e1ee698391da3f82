// CSupAIFF: Audio IFF and AIFF-C files (an IFF "FORM" of big-endian chunks):
// the COMM chunk with its 80-bit extended sample rate and, in AIFF-C, the
// compression type and name; the sample data size; the text chunks.
#pragma once

#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// An IEEE 754 80-bit extended value (sign and 15-bit exponent, then a 64-bit
// mantissa with its integer bit) as a sample rate in whole hertz; 0 when it
// is negative, not finite or outside 1 Hz to 10 MHz.
uint32_t ExtendedToRate(ByteView ten);

// What an AIFF-C compression type stands for: its WAVE format tag (1 PCM, 3
// float, 6 A-law, 7 mu-law; 0 none), its name, and the samples one coded
// frame of numSampleFrames holds (64 for IMA ADPCM's packets, else 1).
struct AiffCompression {
    int32_t formatTag = 0;
    const char* name = "";
    uint32_t samplesPerFrame = 1;
};
AiffCompression FindAiffCompression(uint32_t fourcc);

class CSupAIFF {
public:
    static constexpr int kMaxChunks = 4096;

    CSupAIFF(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupAIFF();

    // Walks the chunks; once a COMM chunk was read the sound stream is in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

    bool IsAifc() const { return aifc_; }

private:
    void ReadCommon(ByteView comm);
    void ReadText(uint32_t id, ByteView text);

    CFileCache& reader_;
    AnalysisRecords& records_;
    bool aifc_ = false;
    bool common_ = false;
    uint32_t channels_ = 0, frames_ = 0, bits_ = 0, rate_ = 0;
    uint32_t compression_ = 0;  // first byte in the low byte
    std::string compressionName_;
    uint64_t soundBytes_ = 0;
};

}  // namespace torvo
