#include "formats/containers/NamedFormats.h"

#include "analysis/Text.h"
#include "formats/containers/SupAIFF.h"
#include "formats/containers/SupAU.h"
#include "formats/containers/SupFLAC.h"
#include "formats/containers/SupOgg.h"
#include "formats/containers/SupRIFX.h"
#include "formats/containers/SupRM.h"
#include "formats/containers/SupVOC.h"
#include "formats/containers/SupWavPack.h"

namespace torvo {

bool AnalyseNamedFormat(int32_t typeId, CFileCache& reader, AnalysisRecords& records) {
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
        default: return false;
    }
}

bool AnalyseRifx(CFileCache& reader, AnalysisRecords& records) {
    if (!IsRifxWave(reader.Header())) return false;
    if (!CSupRIFX(reader, records).Analyse()) return false;
    records.container.typeId = kTypeWave;
    return true;
}

void ReportNamedFormatSummary(Display& display, const AnalysisRecords& records) {
    const ContainerInfo& c = records.container;
    const char* name = nullptr;
    switch (c.typeId) {
        case kTypeRealMedia: name = "RealMedia"; break;
        case kTypeRealAudio: name = "RealAudio"; break;
        case kTypeOgg: name = "Ogg"; break;
        case kTypeAiff: name = "AIFF"; break;
        case kTypeAifc: name = "AIFF-C"; break;
        case kTypeSunAu: name = "NeXT/Sun AU"; break;
        case kTypeWavPack: name = "WavPack"; break;
        case kTypeCreativeVoice: name = "Creative Voice"; break;
        case kTypeFlac: name = "FLAC"; break;
        case kTypeWave: name = "RIFX (WAVE, big-endian)"; break;
        default: return;
    }
    // Files of these types that no analyser recognised (MIDI shares AIFF's id) get no summary.
    // Plain WAVE files are described by the RIFF walk; only RIFX lists its stream here.
    if (c.tracks.empty()) return;
    std::string counts;
    if (c.videoCount > 0) counts += Format("%d вид, ", c.videoCount);
    if (c.audioCount > 0) counts += Format("%d ауд, ", c.audioCount);
    if (c.otherCount > 0) counts += Format("%d иных, ", c.otherCount);
    if (!counts.empty()) counts = " << { " + counts.substr(0, counts.size() - 2) + " }";
    NotesList& notes = display.Container();
    notes.Add(name + counts, kColourMpegSummary);
    for (const ContainerTrack& track : c.tracks) {
        std::string line = c.typeId == kTypeOgg ? Format(" · Поток 0x%08X: ", static_cast<uint32_t>(track.id))
                                                : Format(" · Поток %d: ", track.id);
        notes.Add(line + track.kind + " " + track.codec);
    }
}

}  // namespace torvo
