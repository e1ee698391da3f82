// The container readers over arbitrary bytes: what the fuzz targets run and
// what the robustness tests replay truncated and mutated samples through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/Display.h"
#include "base/FileCache.h"
#include "records/Records.h"
#include "ReusedRecords.h"
#include "analysis/ContainerReport.h"
#include "formats/containers/SupFLV.h"
#include "formats/containers/Ebml.h"
#include "analysis/StreamReport.h"
#include "formats/containers/SupMKV.h"
#include "formats/containers/SupMP4QT.h"
#include "formats/containers/SupTS.h"
#include "formats/containers/SupWav.h"

namespace torvo::fuzz {

// Runs read(reader, records, display) over the bytes as the whole file.
template <typename Read>
void RunOver(const uint8_t* data, size_t size, Read read) {
    CFileCache reader;
    reader.AttachMemory(data, size, false);
    AnalysisRecords& records = ReusedRecords();
    Display display;
    read(reader, records, display);
}

inline void RunMp4QT(const uint8_t* data, size_t size) {
    RunOver(data, size, [](CFileCache& reader, AnalysisRecords& records, Display& display) {
        CSupMP4QT mp4(reader, records);
        mp4.ReadFtyp();
        mp4.ReadMovie();
        AddBrandLines(display, records, [](uint32_t) { return std::string("?"); });
        AddMetadataLines(display, records);
        QuickTimeVideoCodecName(records.video.fourcc);
    });
}

inline void RunFlv(const uint8_t* data, size_t size) {
    RunOver(data, size, [](CFileCache& reader, AnalysisRecords& records, Display& display) {
        CSupFLV flv(records);
        flv.ReadFile(reader);
        AddFlvCompatibilityLines(display, records);
    });
}

inline void RunAsf(const uint8_t* data, size_t size) {
    RunOver(data, size, [](CFileCache& reader, AnalysisRecords& records, Display& display) {
        CSupWav asf(reader, records);
        asf.ReadHeader();
        AddMetadataLines(display, records);
    });
}

inline void RunTs(const uint8_t* data, size_t size) {
    RunOver(data, size, [](CFileCache& reader, AnalysisRecords& records, Display& display) {
        CSupTS ts(reader, records);
        ts.Analyse();
        ReportTransportSummary(display, records);
    });
}

inline void RunMkv(const uint8_t* data, size_t size) {
    RunOver(data, size, [](CFileCache& reader, AnalysisRecords& records, Display& display) {
        MatroskaRow(reader.Header());
        CSupMKV mkv(reader, records);
        mkv.Analyse();
        ReportMatroskaSummary(display, records);
        AddMetadataLines(display, records);
    });
}

}  // namespace torvo::fuzz
