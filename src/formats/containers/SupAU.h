// CSupAU: NeXT/Sun audio files (".snd", a big-endian header of six words, an
// annotation up to the data offset, then the samples).
#pragma once

#include <cstdint>

#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// What an AU encoding number stands for: the WAVE format tag (0 for none),
// its name, and the bits one sample takes in one channel (0 when unknown).
struct AuEncoding {
    int32_t formatTag = 0;
    const char* name = "";
    uint32_t bits = 0;
};
AuEncoding FindAuEncoding(uint32_t encoding);

class CSupAU {
public:
    static constexpr uint32_t kHeaderSize = 24;
    static constexpr uint32_t kUnknownSize = 0xFFFFFFFF;

    CSupAU(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupAU();

    // Reads the header; the sound stream is then in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

private:
    CFileCache& reader_;
    AnalysisRecords& records_;
};

}  // namespace torvo
