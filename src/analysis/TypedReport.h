// The report of one file as data rather than display: the container and each
// stream with English names, numbers as numbers (seconds, bit/s, Hz) and the
// codec status as a code. Scripts and the JSON report read this; the panels
// and the report fields stay what the window shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/DriverScan.h"
#include "records/Records.h"

namespace torvo {

// The version of the typed report's shape; raised when a key changes meaning
// or disappears (new keys do not raise it).
inline constexpr int kTypedReportSchema = 1;

struct TypedContainer {
    int32_t typeId = 0;
    std::string name;                 // the signature row's description, empty when unknown
    std::string format;               // the registry's short id of the content, empty when none
    std::string mime;                 // of the content, else the row's; empty when the type has none
    uint64_t size = 0;                // bytes
    std::optional<double> duration;   // seconds
    std::optional<int64_t> bitRate;   // bit/s
};

struct TypedStream {
    int index = 0;                    // 0-based over the listed streams, video first
    bool video = false;               // else audio, or an image
    bool image = false;               // a picture the file carries (a cover): codec, width and height
    std::string codec;                // short id ("h264", "mp3"), empty when not known
    std::string fourcc;               // video: as stored in the file, empty when none
    std::optional<int> formatTag;     // audio: the WAVEFORMATEX tag
    std::optional<int> width, height;
    std::optional<double> frameRate;  // frames per second
    std::optional<int> sampleRate;    // Hz
    std::optional<int> channels;      // LFE counted
    std::optional<int> bitsPerSample; // audio: PCM, ADPCM and lossless codecs only
    std::optional<double> duration;   // seconds
    std::optional<int64_t> bitRate;   // bit/s
    std::string_view decoder;         // DecoderCode() of the codec status
    std::string language;             // as the container tags the stream, empty when it does not
    std::string title;
    int slot = -1;                    // audio: the records' stream slot
};

// What a container reader found wrong with the file.
struct TypedDiagnostic {
    std::string code;     // "truncated" or "damaged"
    uint64_t offset = 0;  // where the structure that is cut short or wrong starts
    std::string message;  // the reader's reason, English, one line
};

struct TypedReport {
    TypedContainer container;
    std::vector<TypedStream> streams;
    std::vector<TypedDiagnostic> diagnostics;  // empty for an intact file
};

// The codec status as a code: installed, not_installed, not_needed,
// undetermined or disabled.
std::string_view DecoderCode(int status);

// Short codec ids, as other media tools name codecs ("mpeg4", "msmpeg4v3").
std::string VideoCodecId(const VideoInfo& video, int32_t typeId);
std::string AudioCodecId(const StreamInfo& stream);

// The typed report of the analysed file: the video stream when the file has
// one, then each stream the audio list offers, then the attached pictures. `typeName` and `mime` describe
// the identified type (from its signature row); the registry's format of the
// content gives the MIME type where it knows one.
// A finished full scan, when given, times the video by the frames it
// counted and rates it by their bytes, as the report's fields do.
TypedReport BuildTypedReport(const AnalysisRecords& records, std::string_view typeName, std::string_view mime,
                             const ScanSummary* scan = nullptr);

}  // namespace torvo
