// CSupMp3: MPEG-1, MPEG-2 and MPEG "2.5" audio (ISO/IEC 11172-3, 13818-3),
// Layers I-III, recognised by a scan of consecutive frames, with the encoder
// named by a Xing/LAME or VBRI header at the start of the data.
#pragma once

#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

// The fields of one 4-byte MPEG audio frame header.
struct Mp3Header {
    int version = 0;  // 1 MPEG-1, 0 MPEG-2, 2 MPEG "2.5"
    int layer = 0;    // 1, 2, 3; 0 reserved
    int bitrateKbps = 0;
    int sampleRate = 0;
    int padding = 0;
    int channelMode = 0;

    static Mp3Header Decode(ByteView data, uint64_t pos);
    bool Valid() const { return bitrateKbps > 0 && sampleRate > 0; }
    int FrameLength() const;
    int SamplesPerFrame() const { return layer == 1 ? 384 : 1152; }
};

class CSupMp3 {
public:
    virtual ~CSupMp3() = default;
    // Scans all bytes; true when MPEG audio was accepted. The record is zeroed otherwise.
    bool Analyse(ByteView data, AudioResult& result) const;

    // The encoder name of a Xing/LAME or VBRI header at the data start; sets vbr.
    static std::string VbrEncoder(ByteView data, bool& vbr);

private:
    // Rate mode, frame period and the acceptance rule, once the scan is done.
    static bool Finish(AudioResult& result, bool vbrHeader, int changes, int64_t bitrateSum, const Mp3Header& last);
};

}  // namespace torvo
