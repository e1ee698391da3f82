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

private:
    static bool IsFrameStart(ByteView data, uint64_t p);
    // The first position where IsFrameStart holds, or npos.
    static uint64_t FindFrameStart(ByteView data);
    // The VAUX pack fields of one sequence, from the packs at the given offsets.
    static void ReadPacks(ByteView data, uint64_t source, uint64_t control, DvInfo& info);
};

}  // namespace torvo
