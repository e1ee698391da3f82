// CSupAAC: AAC with ADTS frame headers (a chain of frames) or an ADIF header
// (ISO/IEC 13818-7 / 14496-3).
#pragma once

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

class CSupAAC {
public:
    virtual ~CSupAAC() = default;
    // Reads the ADIF header when the container's type id says ADIF, else
    // scans ADTS frames. On acceptance of ADTS the container's duration is
    // extrapolated from the bytes seen to the whole file.
    bool Analyse(ByteView data, AudioResult& result, ContainerInfo& container) const;

private:
    static void ReadAdif(ByteView header, AudioResult& result);
};

}  // namespace torvo
