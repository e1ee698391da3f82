#include "analysis/StreamReport.h"

#include "base/Text.h"
#include "analysis/MpegReport.h"
#include "base/Translate.h"

namespace torvo {

std::string PacketSizeLine(uint32_t packetSize) {
    switch (packetSize) {
        case 188: return N_("Пакеты по 188 байт");
        case 192: return N_("Пакеты по 192 байта (M2TS: 4 байта времени + 188)");
        case 204: return N_("Пакеты по 204 байта (188 + 16 байт кода Рида-Соломона)");
        default: return {};
    }
}

void ReportTransportSummary(Display& display, const AnalysisRecords& records) {
    const ContainerInfo& container = records.container;
    NotesList& notes = display.Container();
    notes.Add(MpegSummaryLine(container), kColourMpegSummary);
    if (const std::string line = PacketSizeLine(container.tsPacketSize); !line.empty()) notes.Add(line);
    for (const ContainerTrack& track : container.tracks) notes.Add(TransportStreamLine(track));
}

std::string TransportStreamLine(const ContainerTrack& track) {
    std::string line = Format(N_(" · PID %d (0x%04X): тип 0x%02X, %s %s"), track.id, track.id, track.typeCode,
                              track.kind.c_str(), track.codec.c_str());
    if (!track.language.empty()) line += N_(", язык ") + track.language;
    return line;
}

}  // namespace torvo

namespace torvo {

namespace {
// " << { 1 вид, 2 ауд, 1 иных }" after the counts, or nothing without streams.
std::string CountsText(const ContainerInfo& c) {
    std::string text;
    if (c.videoCount > 0) text += Format(N_("%d вид, "), c.videoCount);
    if (c.audioCount > 0) text += Format(N_("%d ауд, "), c.audioCount);
    if (c.otherCount > 0) text += Format(N_("%d иных, "), c.otherCount);
    if (text.empty()) return text;
    text.resize(text.size() - 2);
    return " << { " + text + " }";
}
}  // namespace

void ReportMatroskaSummary(Display& display, const AnalysisRecords& records) {
    const ContainerInfo& container = records.container;
    NotesList& notes = display.Container();
    std::string kind = container.docType == "webm" ? "WebM" : "Matroska";
    if (container.docTypeVersion > 0) kind += Format(" v%u", container.docTypeVersion);
    notes.Add(kind + CountsText(container), kColourMpegSummary);
    for (const ContainerTrack& track : container.tracks) notes.Add(MatroskaTrackLine(track));
}

std::string MatroskaTrackLine(const ContainerTrack& track) {
    std::string line = Format(N_(" · Дорожка %d: %s %s"), track.id, track.kind.c_str(), track.codec.c_str());
    if (!track.language.empty()) line += N_(", язык ") + track.language;
    if (!track.title.empty()) line += ", «" + track.title + "»";
    return line;
}

}  // namespace torvo
