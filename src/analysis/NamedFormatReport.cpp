#include "analysis/NamedFormatReport.h"

#include "base/Text.h"
#include "formats/containers/FormatRegistry.h"
#include "formats/containers/NamedFormats.h"
#include "base/Translate.h"

namespace torvo {

void ReportNamedFormatSummary(Display& display, const AnalysisRecords& records) {
    const ContainerInfo& c = records.container;
    // Plain WAVE files are described by the RIFF walk; only RIFX lists its stream here.
    const FormatDescriptor* format = FormatOfContent(records);
    if (!format || format->summary.empty()) return;
    // Files of these types that no analyser recognised (MIDI shares AIFF's id) get no summary.
    if (c.tracks.empty()) return;
    const std::string name(format->summary);
    std::string counts;
    if (c.videoCount > 0) counts += Format(N_("%d вид, "), c.videoCount);
    if (c.audioCount > 0) counts += Format(N_("%d ауд, "), c.audioCount);
    if (c.otherCount > 0) counts += Format(N_("%d иных, "), c.otherCount);
    if (!counts.empty()) counts = " << { " + counts.substr(0, counts.size() - 2) + " }";
    NotesList& notes = display.Container();
    notes.Add(name + counts, kColourMpegSummary);
    for (const ContainerTrack& track : c.tracks) {
        std::string line = c.typeId == kTypeOgg ? Format(N_(" · Поток 0x%08X: "), static_cast<uint32_t>(track.id))
                                                : Format(N_(" · Поток %d: "), track.id);
        notes.Add(line + track.kind + " " + track.codec);
    }
}

}  // namespace torvo
