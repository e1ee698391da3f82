#include "formats/containers/NamedFormats.h"

#include "formats/containers/FormatRegistry.h"
#include "formats/containers/SupRIFX.h"

namespace torvo {

ReadStatus AnalyseNamedFormat(int32_t typeId, CFileCache& reader, AnalysisRecords& records) {
    const FormatDescriptor* format = FormatForType(typeId);
    if (!format || format->reader != FormatReader::kOwn || !format->read) return ReadStatus::Ok();
    return format->read(reader, records);
}

bool AnalyseRifx(CFileCache& reader, AnalysisRecords& records, ReadStatus& status) {
    if (!IsRifxWave(reader.Header())) return false;
    status = CSupRIFX(reader, records).Analyse();
    if (!records.container.bigEndianWave) return false;
    records.container.typeId = kTypeWave;
    return true;
}

}  // namespace torvo
