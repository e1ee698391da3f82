// What the driver shows for transport streams and Matroska/WebM files: the
// summary line, the packet size, and one line per stream or track.
#pragma once

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// "Транспортн.поток MPEG-2 << { 1 вид, 1 ауд }", the packet size line and a
// line per elementary stream with its PID, stream type and language.
void ReportTransportSummary(Display& display, const AnalysisRecords& records);

// " · PID 256 (0x0100): тип 0x1B, видео H.264/AVC, язык eng".
std::string TransportStreamLine(const ContainerTrack& track);

// "Matroska v4 << { 1 вид, 2 ауд }" (WebM for that DocType) and a line per track.
void ReportMatroskaSummary(Display& display, const AnalysisRecords& records);

// " · Дорожка 2: звук MPEG Layer 3, язык rus, «Комментарий»".
std::string MatroskaTrackLine(const ContainerTrack& track);

// The packet size line of a transport stream ("" when the size is unknown).
std::string PacketSizeLine(uint32_t packetSize);

}  // namespace torvo
