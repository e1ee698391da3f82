// Type ids of the signature table's sound and media formats beyond AVI, MPEG,
// MP4, FLV and ASF (Ogg, FLAC, AIFF and AIFF-C, NeXT/Sun AU, WavPack, Creative
// Voice, RealMedia), and WAVE in its big-endian RIFX form (which the table
// does not name: it is recognised by content). Their readers are bound in
// the format registry.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// The type ids of these formats (the rows of the signature table).
enum NamedFormatType : int32_t {
    kTypeRealMedia = 19,
    kTypeRealAudio = 20,
    kTypeOgg = 28,
    kTypeAiff = 30,  // MIDI files share the id; the analyser checks the FORM header
    kTypeAifc = 31,
    kTypeSunAu = 32,
    kTypeWavPack = 50,
    kTypeCreativeVoice = 57,
    kTypeFlac = 62,
};

// Runs the own reader the format registry names for the type id and returns
// what it found wrong (ok when the registry names no reader of its own).
ReadStatus AnalyseNamedFormat(int32_t typeId, CFileCache& reader, AnalysisRecords& records);

// Whether a file without a signature row is a big-endian WAVE; its analysis
// then fills the records as a WAVE file's would. `status` receives what the
// walk of a RIFX file found wrong (left alone for other files).
bool AnalyseRifx(CFileCache& reader, AnalysisRecords& records, ReadStatus& status);

}  // namespace torvo
