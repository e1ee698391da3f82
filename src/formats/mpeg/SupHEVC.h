// CSupHEVC: the sequence parameter set of H.265/HEVC (ITU-T H.265 7.3.2.2)
// in an Annex B byte stream: profile, level, chroma format, bit depth, the
// picture size after the conformance window and the VUI timing; and the
// test that tells an Annex B HEVC elementary stream by its first units.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

struct HevcSequence {
    bool valid = false;
    int profileIdc = 0, levelIdc = 0, tier = 0;
    int chromaFormatIdc = 0, bitDepthLuma = 0;
    int codedWidth = 0, codedHeight = 0;  // pic_width/height_in_luma_samples
    int width = 0, height = 0;            // cropped by the conformance window
    // The VUI timing (E.2.1), 0 when the parameters stop before it or have
    // none. field_seq_flag: every picture is one field.
    uint32_t numUnitsInTick = 0, timeScale = 0;
    bool fieldPictures = false;

    // Frames a second by the VUI timing, 0 without one.
    double FrameRate() const;
};

class CSupHEVC {
public:
    virtual ~CSupHEVC() = default;

    // The first SPS among the NAL units of an Annex B stream (three- or
    // four-byte start codes). False when there is none that parses.
    bool Analyse(ByteView annexB, HevcSequence& sequence) const;

    // One SPS NAL unit, from its two-byte NAL header on. The size fields
    // decide the answer; a VUI that does not parse leaves the timing 0.
    bool ParseSps(ByteView nal, HevcSequence& sequence) const;

    // Whether the bytes are an Annex B HEVC elementary stream: a start code
    // at the very start (after leading zero bytes), then units whose headers
    // are HEVC's, with a video, a sequence and a picture parameter set that
    // parse before the first slice. Cheap on anything else: it looks at the
    // first unit's header before anything more.
    static bool IsElementaryStream(ByteView data, HevcSequence& sequence);

    // The pictures (first slice segments of the base layer) in the units of
    // an Annex B stream.
    static int64_t CountPictures(ByteView data);

    // An HEVCDecoderConfigurationRecord (ISO/IEC 14496-15 8.3.3): its
    // parameter set arrays appended with four-byte start codes. Returns the
    // NAL length-prefix size of the samples (1, 2 or 4), or 0 when unusable.
    static int AppendHvcConfig(ByteView record, ElementaryBuffer& out);
};

// "HEVC Main@L3.1" style name of a sequence ("HEVC" when unknown).
std::string HevcName(const HevcSequence& sequence);

}  // namespace torvo
