// CSupAC3: AC-3 (ATSC A/52) recognised by a chain of sync frames.
#pragma once

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

class CSupAC3 {
public:
    virtual ~CSupAC3() = default;
    // True when AC-3 was accepted; the record is zeroed otherwise.
    bool Analyse(ByteView data, AudioResult& result) const;

    // Frame size in bytes for a sample-rate code and frame-size code; negative when invalid.
    static int FrameBytes(int fscod, int frmsizecod);
};

}  // namespace torvo
