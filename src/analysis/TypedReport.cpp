#include "analysis/TypedReport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "analysis/AudioDescription.h"
#include "analysis/FrameStatistics.h"
#include "analysis/PlayingTime.h"
#include "formats/containers/FormatRegistry.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

namespace torvo {
namespace {

// Codec ids by the words a container names a sound codec with (Matroska,
// FLV, MP4 sample entries: "MPEG-4 AAC LC"), found anywhere in the name
// without regard to case; the first in this order wins.
constexpr std::pair<std::string_view, std::string_view> kNamedAudioCodecs[] = {
    {"e-ac-3", "eac3"},     {"ac-3", "ac3"},          {"aac", "aac"},       {"mp3", "mp3"},
    {"mpeg layer 3", "mp3"}, {"mpeg layer 2", "mp2"}, {"mpeg layer 1", "mp1"}, {"dts", "dts"},
    {"vorbis", "vorbis"},   {"opus", "opus"},         {"flac", "flac"},     {"apple lossless", "alac"},
    {"dolby truehd", "truehd"}, {"wavpack", "wavpack"}, {"nellymoser", "nellymoser"}, {"speex", "speex"},
};

// FLV video codec ids of the tag header.
constexpr std::pair<int, std::string_view> kFlvVideoCodecs[] = {
    {2, "flv1"}, {3, "flashsv"}, {4, "vp6f"}, {5, "vp6a"}, {6, "flashsv2"}, {7, "h264"},
};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsNoCase(std::string_view text, std::string_view words) {
    return std::search(text.begin(), text.end(), words.begin(), words.end(),
                       [](char a, char b) { return AsciiLower(a) == AsciiLower(b); }) != text.end();
}

// The FourCC's four bytes as text, first byte first; empty for none or for
// bytes that are not printable (a BI_RGB compression of 0 is no FourCC).
std::string FourccChars(uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) return {};
        text += c;
    }
    return text;
}

template <typename T>
T FirstPositiveOf(const std::array<AudioResult, kAudioClassCount>& results, T AudioResult::*field) {
    for (const AudioResult& r : results)
        if (r.*field > T{}) return r.*field;
    return T{};
}

std::optional<double> Seconds(int64_t ms) {
    if (ms <= 0) return std::nullopt;
    return static_cast<double>(ms) / 1000.0;
}

std::optional<int64_t> BitsPerSecond(int64_t kbps) {
    if (kbps <= 0) return std::nullopt;
    return kbps * 1000;
}

// Three decimals, as the frame rate fields show it: 29.97002997 is 29.97.
double RoundTo3(double value) { return std::round(value * 1000.0) / 1000.0; }

// A system stream's mux rate is the ceiling its multiplexer allowed; in a
// variable-rate stream it says nothing of the rate used (some writers put
// any large number there).
bool MuxRateIsCeilingOnly(const ContainerInfo& c) { return c.muxRateKbps > 0 && c.variableRate; }

// The time of the frames a finished scan counted, 0 without one.
int64_t ScannedMs(const ScanSummary* scan, const PictureFigures& f) {
    if (!scan || scan->failed) return 0;
    return FramesPlayingTimeMs(scan->pictures, f.usPerFrame);
}

TypedStream VideoStream(const AnalysisRecords& records, const ScanSummary* scan) {
    const VideoInfo& v = records.video;
    const PictureFigures f = CollectPictureFigures(v);
    TypedStream s;
    s.video = true;
    s.codec = VideoCodecId(v, records.container.typeId);
    s.fourcc = FourccChars(v.fourcc);
    if (f.width > 0 && f.height > 0) {
        s.width = f.width;
        s.height = f.height;
    }
    // A size taken from the H.264 sequence parameters is the coded one; the
    // picture shown is what the frame cropping leaves of it.
    if (const VideoHeader& h = v.headers[kHeaderH264];
        v.h264 && f.width == h.width && f.height == h.height && h.croppedWidth > 0 && h.croppedHeight > 0) {
        s.width = h.croppedWidth;
        s.height = h.croppedHeight;
    }
    // HEVC's VUI rate is exact, where the frame period is rounded to whole microseconds or
    // taken from a transport stream's time stamps.
    if (const double vui = v.headers[kHeaderHevc].timingFrameRate; vui > 0.5 && vui < 1000)
        s.frameRate = RoundTo3(vui);
    else if (f.usPerFrame > 0) s.frameRate = RoundTo3(1000000.0 / f.usPerFrame);
    // An elementary stream's rate is the one its sequence parameters state.
    else if (const double rate = v.headers[kHeaderH264].timingFrameRate; v.h264 && rate > 0.5 && rate < 1000)
        s.frameRate = RoundTo3(rate);
    // MPEG-4 visual: the layer's fixed rate, else its VOPs' time steps.
    else if (const double vops = v.headers[kHeaderMpegVideo].timingFrameRate; v.mpeg4Vol && vops > 0.5 && vops < 1000)
        s.frameRate = RoundTo3(vops);
    // Raw DV states no rate: its system fixes it (625/50 or 525/60 lines).
    else if (s.codec == "dvvideo") s.frameRate = v.dvPal || f.height == 576 ? 25.0 : RoundTo3(30000.0 / 1001.0);
    s.duration = Seconds(v.stampedDurationMs > 0 ? v.stampedDurationMs : v.durationMs > 0 ? v.durationMs : f.durationMs);
    // The declared video bitrate, else the one left beside the audio.
    int64_t kbps = f.bitrateKbps;
    if (const int64_t scanned = ScannedMs(scan, f); scanned > 0) {
        s.duration = Seconds(scanned);
        kbps = static_cast<int64_t>(scan->videoBytes * 8 / uint64_t(scanned));
    }
    if (kbps <= 0 && !MuxRateIsCeilingOnly(records.container)) kbps = EstimateVideoBitrate(records, f.durationMs);
    s.bitRate = BitsPerSecond(kbps);
    s.decoder = DecoderCode(records.videoStatus);
    return s;
}

TypedStream AudioStream(const StreamInfo& stream, int slot, int status) {
    const auto results = EffectiveResults(stream);
    TypedStream s;
    s.slot = slot;
    s.codec = AudioCodecId(stream);
    if (const int tag = FirstPositiveOf(results, &AudioResult::formatTag); tag > 0) s.formatTag = tag;
    if (const int rate = FirstPositiveOf(results, &AudioResult::sampleRate); rate > 0) s.sampleRate = rate;
    if (const int channels = FirstPositiveOf(results, &AudioResult::channels); channels > 0)
        s.channels = channels + (FirstPositiveOf(results, &AudioResult::lfe) > 0 ? 1 : 0);
    // A stream no result describes (DVD linear PCM) has what its own header declared.
    if (!s.sampleRate && stream.sampleRate > 0) s.sampleRate = stream.sampleRate;
    if (!s.channels && stream.channels > 0) s.channels = stream.channels;
    if (stream.configSampleRate > 0) s.sampleRate = stream.configSampleRate;
    if (stream.configChannels > 0) s.channels = stream.configChannels;
    // A sample size means something for codecs that store samples, not for perceptual ones.
    const bool storesSamples = s.codec.starts_with("pcm_") || s.codec.starts_with("adpcm_") || s.codec == "flac" ||
                               s.codec == "alac" || s.codec == "wavpack";
    if (storesSamples && stream.bitsPerSample > 0) s.bitsPerSample = stream.bitsPerSample;
    // A PCM id names its sample size (pcm_s24be), whatever a fixed header field says.
    if (const size_t digits = s.codec.find_first_of("123456789"); s.codec.starts_with("pcm_") && digits != std::string::npos)
        s.bitsPerSample = std::atoi(s.codec.c_str() + digits);
    s.duration = Seconds(stream.stampedDurationMs > 0 ? stream.stampedDurationMs : stream.durationMs);
    if (!s.duration && stream.shortDurationSeconds > 0) s.duration = stream.shortDurationSeconds;
    // As the audio panel takes it: a variable rate's average first.
    int64_t kbps = 0;
    for (const AudioResult& r : results)
        if (r.rateMode == 2 && r.codecClass == kAudioClassMpeg && r.bitrateKbps > 0) kbps = r.bitrateKbps;
    if (kbps <= 0) kbps = FirstPositiveOf(results, &AudioResult::bitrateKbps);
    if (kbps <= 0) kbps = FirstPositiveOf(results, &AudioResult::secondBitrateKbps);
    s.bitRate = BitsPerSecond(kbps);
    s.decoder = DecoderCode(status);
    return s;
}

// The language and title of each stream, as the container's track list
// gives them: sound tracks by their slot, the video by the first video track.
void NameStreams(const AnalysisRecords& records, std::vector<TypedStream>& streams) {
    for (TypedStream& s : streams) {
        for (const ContainerTrack& track : records.container.tracks) {
            const bool match = s.video ? track.kind == N_("видео") : track.slot >= 0 && track.slot == s.slot;
            if (!match) continue;
            if (track.language != "und") s.language = track.language;
            s.title = track.title;
            break;
        }
    }
}

}  // namespace

std::string_view DecoderCode(int status) {
    switch (status) {
        case kStatusInstalled: return "installed";
        case kStatusMissing: return "not_installed";
        case kStatusNotNeeded: return "not_needed";
        case kStatusDisabled: return "disabled";
        default: return "undetermined";
    }
}

std::string VideoCodecId(const VideoInfo& v, int32_t typeId) {
    // What the elementary parsers saw outranks what the container declares.
    if (v.h264) return "h264";
    if (v.hevc) return "hevc";
    if (v.mpeg2) return "mpeg2video";
    if (v.mpeg4Vol) return "mpeg4";
    if (v.dv || typeId == kTypeDvIec61834 || typeId == kTypeDvSmpte314M) return "dvvideo";
    if (v.headers[kHeaderMpegVideo].present && v.headers[kHeaderMpegVideo].version == 2) return "mpeg1video";
    if (typeId == kTypeFlv) {
        for (const auto& [id, name] : kFlvVideoCodecs)
            if (id == v.flvCodecId) return std::string(name);
    }
    if (!v.codecId.empty()) return v.codecId;
    if (const std::string_view id = VideoFourccCodecId(FourccChars(v.fourcc)); !id.empty()) return std::string(id);
    if (const std::string_view id = VideoFourccCodecId(FourccChars(v.handler)); !id.empty()) return std::string(id);
    // A BITMAPINFOHEADER compression of 0 (BI_RGB) or 3 (BI_BITFIELDS) is uncompressed.
    if (typeId == kTypeAvi && v.fourcc < 4 && (v.width > 0 || v.altPictures[kPictureAviHeader].width > 0))
        return "rawvideo";
    return {};
}

std::string AudioCodecId(const StreamInfo& stream) {
    if (stream.substreamId >= 0xA0 && stream.substreamId <= 0xAF) return "pcm_dvd";
    const auto results = EffectiveResults(stream);
    for (const AudioResult& r : results) {
        if (r.codecClass <= 0) continue;
        if (r.codecClass == kAudioClassMpeg) {
            if (r.layerCode == 2) return "mp1";
            if (r.layerCode == 3) return "mp2";
            if (r.layerCode == 4) return "mp3";
        }
        if (r.codecClass == kAudioClassAc3) return "ac3";
        if (r.codecClass == kAudioClassDts) return "dts";
        if (r.codecClass == kAudioClassAac) return "aac";
    }
    if (!stream.codecId.empty()) return stream.codecId;
    int tag = FirstPositiveOf(results, &AudioResult::formatTag);
    if (tag == 0xFFFE) tag = stream.subFormatTag;  // WAVE_FORMAT_EXTENSIBLE
    // A header without a sample size has the usual one: 16 bits, or 32 for float.
    const int bits = stream.bitsPerSample > 0 ? stream.bitsPerSample : tag == 3 ? 32 : 16;
    if (const std::string_view id = FormatTagCodecId(tag, bits); !id.empty()) return std::string(id);
    for (const AudioResult& r : results) {
        // The codec text of a sample entry is "fourcc: name".
        std::string_view text = r.codecText;
        if (const size_t colon = text.find(": "); colon != std::string_view::npos) text.remove_prefix(colon + 2);
        for (const auto& [words, id] : kNamedAudioCodecs)
            if (!text.empty() && ContainsNoCase(text, words)) return std::string(id);
    }
    return {};
}

TypedReport BuildTypedReport(const AnalysisRecords& records, std::string_view typeName, std::string_view mime,
                             const ScanSummary* scan) {
    const ContainerInfo& c = records.container;
    TypedReport report;
    TypedContainer& container = report.container;
    container.typeId = c.typeId;
    // Descriptions are padded with blanks for the panel's column.
    while (!typeName.empty() && typeName.back() == ' ') typeName.remove_suffix(1);
    container.name = typeName;
    // Rows without a MIME type say "н.д." (no data).
    if (mime.find('/') != std::string_view::npos) container.mime = mime;
    // The row names the display's type (every MPEG file a video); the format
    // says what the content is (an MP3, an MP4 without video).
    if (const FormatDescriptor* format = FormatOfContent(records)) {
        container.format = format->id;
        container.mime = format->MimeFor(c.videoCount >= 1);
    }
    container.size = c.fileSize;

    // An FLV file counts as video whatever it holds; one without a video tag has no video stream.
    const bool flvWithoutVideo = c.typeId == kTypeFlv && records.video.flvCodecId == 0;
    if (c.videoCount >= 1 && !flvWithoutVideo) report.streams.push_back(VideoStream(records, scan));
    int listed = 0;
    for (size_t n = 0; n < kMaxAudioListEntries; ++n) {
        const int slot = records.audioList[n];
        const StreamInfo* stream = slot >= 0 ? records.StreamIf(static_cast<size_t>(slot)) : nullptr;
        if (!stream || static_cast<int>(n) >= c.audioCount) continue;
        report.streams.push_back(AudioStream(*stream, slot, records.audioStatus[n]));
        ++listed;
    }
    // Then the sound streams beyond the panel's four, as many as the container counts.
    for (size_t i = 0; i < records.audioBeyondList.size() && listed < c.audioCount; ++i) {
        const StreamInfo* stream = records.StreamIf(static_cast<size_t>(records.audioBeyondList[i]));
        if (!stream) continue;
        const int status = i < records.audioBeyondListStatus.size() ? records.audioBeyondListStatus[i] : 0;
        report.streams.push_back(AudioStream(*stream, records.audioBeyondList[i], status));
        ++listed;
    }
    // Whether a picture's decoder is installed is not asked; with codec
    // interaction switched off (every asked status says so) it is not asked either.
    const bool codecsOff = records.videoStatus == kStatusDisabled ||
                           std::any_of(records.audioStatus.begin(), records.audioStatus.end(),
                                       [](int status) { return status == kStatusDisabled; });
    for (const AttachedPicture& picture : c.pictures) {
        TypedStream& s = report.streams.emplace_back();
        s.image = true;
        s.codec = picture.codec;
        if (picture.width > 0 && picture.height > 0) {
            s.width = picture.width;
            s.height = picture.height;
        }
        s.decoder = DecoderCode(codecsOff ? kStatusDisabled : kStatusUndetermined);
    }
    for (size_t i = 0; i < report.streams.size(); ++i) report.streams[i].index = static_cast<int>(i);
    NameStreams(records, report.streams);

    // The file's playing time as CONT_DURATION gives it: the container's
    // stated time, else the longest stream's, else the scan's frames.
    int64_t fileMs = FilePlayingTime(records);
    if (c.durationMs <= 0) {
        fileMs = std::max(fileMs, ScannedMs(scan, CollectPictureFigures(records.video)));
        // Where the container states no time of its own, the longest stream sets it.
        for (const TypedStream& s : report.streams)
            if (s.duration) fileMs = std::max(fileMs, static_cast<int64_t>(std::llround(*s.duration * 1000.0)));
    }
    container.duration = Seconds(fileMs);
    // The size over the playing time is the overall rate where the stated one
    // is a mux rate; that only stands in for a constant-rate stream of unknown length.
    const bool statedIsMuxRate = c.muxRateKbps > 0 && c.bitrateKbps == c.muxRateKbps;
    if (!statedIsMuxRate || !MuxRateIsCeilingOnly(c)) container.bitRate = BitsPerSecond(c.bitrateKbps);
    const bool measured = container.duration && *container.duration > 0 && c.fileSize > 0;
    if (measured && (statedIsMuxRate || !container.bitRate))
        container.bitRate = static_cast<int64_t>(std::llround(static_cast<double>(c.fileSize) * 8.0 / *container.duration));
    // A file of a few samples lasts under a millisecond: its longest stream's
    // time, with no overall rate made from it (the headers would outweigh the sound).
    if (!container.duration)
        for (const TypedStream& s : report.streams)
            if (s.duration && (!container.duration || *s.duration > *container.duration)) container.duration = s.duration;
    for (const ReadStatus& problem : records.diagnostics)
        report.diagnostics.push_back({std::string(problem.Code()), problem.Offset(), problem.Reason()});
    return report;
}

}  // namespace torvo
