#include "formats/containers/NamedFormats.h"

#include "formats/containers/SupAIFF.h"
#include "formats/containers/SupAU.h"
#include "formats/containers/SupFLAC.h"
#include "formats/containers/SupOgg.h"
#include "formats/containers/SupRIFX.h"
#include "formats/containers/SupRM.h"
#include "formats/containers/SupVOC.h"
#include "formats/containers/SupWavPack.h"

namespace torvo {

ReadStatus AnalyseNamedFormat(int32_t typeId, CFileCache& reader, AnalysisRecords& records) {
    switch (typeId) {
        case kTypeRealMedia:
        case kTypeRealAudio: return CSupRM(reader, records).Analyse();
        case kTypeOgg: return CSupOgg(reader, records).Analyse();
        case kTypeAiff:
        case kTypeAifc: return CSupAIFF(reader, records).Analyse();
        case kTypeSunAu: return CSupAU(reader, records).Analyse();
        case kTypeWavPack: return CSupWavPack(reader, records).Analyse();
        case kTypeCreativeVoice: return CSupVOC(reader, records).Analyse();
        case kTypeFlac: return CSupFLAC(reader, records).Analyse();
        default: return ReadStatus::Ok();
    }
}

bool AnalyseRifx(CFileCache& reader, AnalysisRecords& records, ReadStatus& status) {
    if (!IsRifxWave(reader.Header())) return false;
    status = CSupRIFX(reader, records).Analyse();
    if (!records.container.bigEndianWave) return false;
    records.container.typeId = kTypeWave;
    return true;
}

}  // namespace torvo
