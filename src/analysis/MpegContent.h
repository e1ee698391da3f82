// The content stage of identification for files without a signature: raw
// DV, MPEG system and video streams, and elementary audio, in that order.
#pragma once

#include "analysis/Identify.h"

namespace torvo {

class CMpegContentAnalyser : public ContentAnalyser {
public:
    ReadStatus Analyse(CFileCache& reader, FileIdentity& identity, AnalysisRecords& records) override;
};

}  // namespace torvo
