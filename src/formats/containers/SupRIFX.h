// CSupRIFX: WAVE files in the big-endian RIFF form ("RIFX"): the same chunks
// as WAVE with every size and every field of the format chunk big-endian.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// Whether the bytes begin "RIFX", a size, "WAVE".
bool IsRifxWave(ByteView header);

class CSupRIFX {
public:
    static constexpr int kMaxChunks = 4096;

    CSupRIFX(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupRIFX();

    // Walks the chunks; once the format chunk was read the sound stream is in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

private:
    CFileCache& reader_;
    AnalysisRecords& records_;
};

}  // namespace torvo
