// The format registry: one descriptor per container and elementary format the
// program reads. Identification, the driver's dispatch, the summaries, the
// codec status, the typed report, folder expansion and the tools read it;
// nothing else keeps a list of formats.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/FileCache.h"
#include "records/ReadStatus.h"
#include "records/Records.h"
#include "records/SignatureTable.h"

namespace torvo {

// What the driver runs for a format. Most formats have a reader of their own
// (`read`); a few are analysed by steps the driver composes.
enum class FormatReader : uint8_t {
    kOwn,          // the descriptor's `read`
    kRiff,         // the RIFF walk (AVI, WAVE, CDXA)
    kMpegSystem,   // MPEG system, program and elementary video streams
    kMpegAudio,    // MPEG audio that starts with a signature: the content analysis
    kMovie,        // MP4/QuickTime
    kFlv,          // FLV with its audio and H.264 tests
    kContent,      // decided by content: the content analysers fill the records
    kNone,         // identified only: the report names the type and reads nothing
};

// How the codec status names what a format's demuxer takes in.
enum class DemuxerCaps : uint8_t {
    kNone,         // the status names the source itself (RIFF, MPEG and elementary types)
    kGstreamer,    // caps a GStreamer demuxer registers
    kProject,      // the project's own type for caps without a Windows counterpart
};

struct FormatDescriptor {
    std::string_view id{};                 // stable English short id ("mp4", "mpeg-ps")
    std::string_view title{};              // English name, as the manual lists it
    std::array<int32_t, 4> typeIds{};    // the display's type ids (0 pads)
    // Content that tells this format from another of the same type id (3GP
    // from MP4, WebM from Matroska); null when the type id alone decides.
    bool (*matches)(const AnalysisRecords&) = nullptr;
    std::string_view mime{};               // MIME type of the content
    std::string_view audioMime{};          // the MIME type without video, empty when the same
    std::string_view extensions{};         // usual extensions, lower case, blank-separated
    // Signature rows of formats the shared table does not know; tried after it.
    std::span<const SignatureRow> signatures{};
    FormatReader reader = FormatReader::kOwn;
    ReadStatus (*read)(CFileCache&, AnalysisRecords&) = nullptr;
    DemuxerCaps demuxer = DemuxerCaps::kNone;
    std::string_view demuxerCaps{};        // what the demuxer takes in
    // PCM needs no decoder once the demuxer hands it on; where no demuxer may
    // be installed, the status asks for one instead.
    bool pcmNeedsDemuxerSearch = false;
    // The headline of the named-format summary; empty where another summary
    // (or none) describes the container.
    std::string_view summary{};

    bool HasType(int32_t typeId) const;
    std::string_view MimeFor(bool hasVideo) const { return hasVideo || audioMime.empty() ? mime : audioMime; }
};

// Every descriptor, the more specific before the more general.
std::span<const FormatDescriptor> Formats();

// The descriptor with this short id, or nullptr.
const FormatDescriptor* FormatById(std::string_view id);

// The first descriptor of this type id, or nullptr (types the program names
// but does not read, PNG or ZIP say, have none).
const FormatDescriptor* FormatForType(int32_t typeId);

// The descriptor of what the analysis found: the type id, its layout and the
// content that tells formats of one type id apart. nullptr when none fits.
const FormatDescriptor* FormatOfContent(const AnalysisRecords& records);

// The first signature row that matches the header: the shared table's in
// its order, then the rows the descriptors add.
const SignatureRow* MatchSignature(ByteView header);

// The signature row of a type id: the shared table's, else a descriptor's.
const SignatureRow* FormatRowForType(int32_t typeId);

}  // namespace torvo
