// CSupDTS: a DTS core frame header (ETSI TS 102 114) at the very start of the data.
#pragma once

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

class CSupDTS {
public:
    virtual ~CSupDTS() = default;
    // True when the data starts with a core sync word; the record is untouched otherwise.
    bool Analyse(ByteView data, AudioResult& result) const;
};

}  // namespace torvo
