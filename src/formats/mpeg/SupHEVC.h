// CSupHEVC: the sequence parameter set of H.265/HEVC (ITU-T H.265 7.3.2.2)
// in an Annex B byte stream: profile, level, chroma format, bit depth and the
// picture size after the conformance window.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

struct HevcSequence {
    bool valid = false;
    int profileIdc = 0, levelIdc = 0, tier = 0;
    int chromaFormatIdc = 0, bitDepthLuma = 0;
    int width = 0, height = 0;  // cropped by the conformance window
};

class CSupHEVC {
public:
    virtual ~CSupHEVC() = default;

    // The first SPS among the NAL units of an Annex B stream (three- or
    // four-byte start codes). False when there is none that parses.
    bool Analyse(ByteView annexB, HevcSequence& sequence) const;

    // One SPS NAL unit, from its two-byte NAL header on.
    bool ParseSps(ByteView nal, HevcSequence& sequence) const;

    // An HEVCDecoderConfigurationRecord (ISO/IEC 14496-15 8.3.3): its
    // parameter set arrays appended with four-byte start codes. Returns the
    // NAL length-prefix size of the samples (1, 2 or 4), or 0 when unusable.
    static int AppendHvcConfig(ByteView record, ElementaryBuffer& out);
};

// "HEVC Main@L3.1" style name of a sequence ("HEVC" when unknown).
std::string HevcName(const HevcSequence& sequence);

}  // namespace torvo
