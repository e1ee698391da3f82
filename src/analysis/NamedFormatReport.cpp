#include "analysis/NamedFormatReport.h"

#include "base/Text.h"
#include "formats/containers/NamedFormats.h"

namespace torvo {

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
