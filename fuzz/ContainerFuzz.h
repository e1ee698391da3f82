// The container readers over arbitrary bytes: what the fuzz targets run and
// what the robustness tests replay truncated and mutated samples through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/Display.h"
#include "analysis/FileCache.h"
#include "analysis/Records.h"
#include "formats/containers/ContainerReport.h"
#include "formats/containers/SupFLV.h"
#include "formats/containers/SupMP4QT.h"
#include "formats/containers/SupWav.h"

namespace torvo::fuzz {

inline void RunMp4QT(const uint8_t* data, size_t size) {
    CFileCache reader;
    reader.AttachMemory(data, size, false);
    AnalysisRecords records;
    CSupMP4QT mp4(reader, records);
    mp4.ReadFtyp();
    mp4.ReadMovie();
    Display display;
    AddBrandLines(display, records, [](uint32_t) { return std::string("?"); });
    AddMetadataLines(display, records);
    QuickTimeVideoCodecName(records.video.fourcc);
}

inline void RunFlv(const uint8_t* data, size_t size) {
    CFileCache reader;
    reader.AttachMemory(data, size, false);
    AnalysisRecords records;
    CSupFLV flv(records);
    flv.ReadFile(reader);
    Display display;
    AddFlvCompatibilityLines(display, records);
}

inline void RunAsf(const uint8_t* data, size_t size) {
    CFileCache reader;
    reader.AttachMemory(data, size, false);
    AnalysisRecords records;
    CSupWav asf(reader, records);
    asf.ReadHeader();
    Display display;
    AddMetadataLines(display, records);
}

}  // namespace torvo::fuzz
