#include "analysis/MpegContent.h"

#include "formats/mpeg/SupMpg.h"

namespace torvo {

ReadStatus CMpegContentAnalyser::Analyse(CFileCache& reader, FileIdentity& identity, AnalysisRecords& records) {
    records.container.typeId = identity.typeId;
    records.container.layout = identity.layout;
    CSupMpg mpg(records);
    ReadStatus status = mpg.AnalyseContent(reader);
    identity.typeId = records.container.typeId;
    identity.layout = records.container.layout;
    return status;
}

}  // namespace torvo
