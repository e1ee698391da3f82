#include "analysis/MpegContent.h"

#include "formats/mpeg/SupMpg.h"

namespace torvo {

void CMpegContentAnalyser::Analyse(CFileCache& reader, FileIdentity& identity, AnalysisRecords& records) {
    records.container.typeId = identity.typeId;
    records.container.layout = identity.layout;
    CSupMpg mpg(records);
    mpg.AnalyseContent(reader);
    identity.typeId = records.container.typeId;
    identity.layout = records.container.layout;
}

}  // namespace torvo
