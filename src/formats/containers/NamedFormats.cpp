#include "formats/containers/NamedFormats.h"

#include "formats/containers/FormatRegistry.h"
#include "formats/containers/SupRIFX.h"

namespace torvo {

bool AnalyseNamedFormat(int32_t typeId, CFileCache& reader, AnalysisRecords& records) {
    const FormatDescriptor* format = FormatForType(typeId);
    return format && format->reader == FormatReader::kOwn && format->read(reader, records);
}

bool AnalyseRifx(CFileCache& reader, AnalysisRecords& records) {
    if (!IsRifxWave(reader.Header())) return false;
    if (!CSupRIFX(reader, records).Analyse()) return false;
    records.container.typeId = kTypeWave;
    return true;
}

}  // namespace torvo
