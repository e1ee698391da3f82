// CSupVOC: Creative Voice files ("Creative Voice File", then typed blocks
// with 24-bit little-endian sizes): the sound format of the sound data
// blocks and the playing time of all of them.
#pragma once

#include <cstdint>

#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// What a Creative codec number stands for: its WAVE format tag (0 for none),
// name and bits per sample.
struct VocCodec {
    int32_t formatTag = 0;
    const char* name = "";
    uint32_t bits = 0;
};
VocCodec FindVocCodec(uint32_t codec);

class CSupVOC {
public:
    static constexpr int kMaxBlocks = 1 << 16;

    CSupVOC(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupVOC();

    // Walks the blocks; once a sound data block was found the sound stream is in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

private:
    CFileCache& reader_;
    AnalysisRecords& records_;
};

}  // namespace torvo
