#include "formats/containers/StreamReport.h"

#include "analysis/Text.h"
#include "formats/mpeg/MpegReport.h"

namespace torvo {

std::string PacketSizeLine(uint32_t packetSize) {
    switch (packetSize) {
        case 188: return "Пакеты по 188 байт";
        case 192: return "Пакеты по 192 байта (M2TS: 4 байта времени + 188)";
        case 204: return "Пакеты по 204 байта (188 + 16 байт кода Рида-Соломона)";
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
    std::string line = Format(" · PID %d (0x%04X): тип 0x%02X, %s %s", track.id, track.id, track.typeCode,
                              track.kind.c_str(), track.codec.c_str());
    if (!track.language.empty()) line += ", язык " + track.language;
    return line;
}

}  // namespace torvo
