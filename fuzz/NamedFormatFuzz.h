// The readers of Ogg, FLAC, AIFF, AU, WavPack, Creative Voice, RIFX,
// RealMedia and CAF over arbitrary bytes: what their fuzz targets run and what the
// robustness tests replay truncated and mutated samples through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/Display.h"
#include "base/FileCache.h"
#include "records/Records.h"
#include "ReusedRecords.h"
#include "analysis/NamedFormatReport.h"
#include "formats/containers/FormatRegistry.h"
#include "formats/containers/NamedFormats.h"
#include "formats/containers/SupAIFF.h"
#include "formats/containers/SupAU.h"
#include "formats/containers/SupCAF.h"
#include "formats/containers/SupFLAC.h"
#include "formats/containers/SupOgg.h"
#include "formats/containers/SupRIFX.h"
#include "formats/containers/SupRM.h"
#include "formats/containers/SupVOC.h"
#include "formats/containers/SupWavPack.h"

namespace torvo::fuzz {

// Runs the analyser over the bytes as the whole file and reports its summary.
template <typename Analyser>
void RunNamed(const uint8_t* data, size_t size, int32_t typeId) {
    CFileCache reader;
    reader.AttachMemory(data, size, false);
    AnalysisRecords& records = ReusedRecords();
    records.container.fileSize = size;
    records.container.typeId = typeId;
    Analyser(reader, records).Analyse();
    Display display;
    ReportNamedFormatSummary(display, records);
}

inline void RunOgg(const uint8_t* d, size_t n) { RunNamed<CSupOgg>(d, n, kTypeOgg); }
inline void RunFlac(const uint8_t* d, size_t n) { RunNamed<CSupFLAC>(d, n, kTypeFlac); }
inline void RunAiff(const uint8_t* d, size_t n) { RunNamed<CSupAIFF>(d, n, kTypeAifc); }
inline void RunAu(const uint8_t* d, size_t n) { RunNamed<CSupAU>(d, n, kTypeSunAu); }
inline void RunWavPack(const uint8_t* d, size_t n) { RunNamed<CSupWavPack>(d, n, kTypeWavPack); }
inline void RunVoc(const uint8_t* d, size_t n) { RunNamed<CSupVOC>(d, n, kTypeCreativeVoice); }
inline void RunRifx(const uint8_t* d, size_t n) { RunNamed<CSupRIFX>(d, n, kTypeWave); }
inline void RunRm(const uint8_t* d, size_t n) { RunNamed<CSupRM>(d, n, kTypeRealMedia); }
inline void RunCaf(const uint8_t* d, size_t n) { RunNamed<CSupCAF>(d, n, FormatById("caf")->typeIds[0]); }

// Every reader over the same bytes.
inline void RunAllNamed(const uint8_t* d, size_t n) {
    RunOgg(d, n);
    RunFlac(d, n);
    RunAiff(d, n);
    RunAu(d, n);
    RunWavPack(d, n);
    RunVoc(d, n);
    RunRifx(d, n);
    RunRm(d, n);
    RunCaf(d, n);
}

}  // namespace torvo::fuzz
