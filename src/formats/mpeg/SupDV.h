// CSupDV: a DV frame (IEC 61834 / SMPTE 314M) found by its header, subcode
// and VAUX DIF blocks, with the VAUX source and source control packs of
// every DIF sequence compared.
#pragma once

#include "base/ByteView.h"
#include "records/MpegRecords.h"

namespace torvo {

class CSupDV {
public:
    virtual ~CSupDV() = default;
    // True when a consistent frame was found; info is zeroed when none was.
    bool Analyse(DvInfo& info, ByteView data) const;

    static constexpr uint64_t kSequenceBytes = 12000;
    static constexpr uint64_t kBlockBytes = 80;

    // The sound of the first frame as its AAUX source pack describes it.
    struct Audio {
        int32_t sampleRate = 0;  // 48000, 44100 or 32000
        int32_t channels = 0;    // 2, or 4 for two pairs of 12-bit sound at 32 kHz
        int32_t bits = 0;        // 16 or 12
    };
    // False when no frame or no AAUX source pack with a known rate is found.
    static bool ReadAudio(ByteView data, Audio& audio);

private:
    static bool IsFrameStart(ByteView data, uint64_t p);
    // The first position where IsFrameStart holds and at least `room` bytes
    // follow (a frame head at the least), or npos.
    static uint64_t FindFrameStart(ByteView data, uint64_t room = 6 * kBlockBytes);
    // The VAUX pack fields of one sequence, from the packs at the given offsets.
    static void ReadPacks(ByteView data, uint64_t source, uint64_t control, DvInfo& info);
};

}  // namespace torvo
