#include "inventory/CodecStatus.h"

#include <cctype>
#include <mutex>
#include <string>

#include "records/Records.h"
#include "base/Text.h"
#include "formats/containers/FormatRegistry.h"
#include "formats/containers/NamedFormats.h"
#include "inventory/CapsTypes.h"

namespace torvo {
namespace {

using namespace guids;

// The codec name of a Matroska track stored the Video for Windows way (V_MS/VFW/FOURCC).
constexpr std::string_view kMatroskaVfwName = "Video for Windows";

std::string FourccString(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

Guid UpperFourccGuid(uint32_t v) {
    std::string s = FourccString(v);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return FourccGuid(s);
}

MediaTypePair Caps(const char* caps) { return TypeForCaps(caps).value_or(MediaTypePair{}); }

// The source type of containers beyond the MPEG family: what their demuxer
// takes in, as the format registry names it.
std::optional<MediaTypePair> ContainerSource(int32_t typeId) {
    const FormatDescriptor* format = FormatForType(typeId);
    if (!format) return std::nullopt;
    switch (format->demuxer) {
        case DemuxerCaps::kGstreamer: return TypeForCaps(format->demuxerCaps).value_or(MediaTypePair{});
        case DemuxerCaps::kProject: return ProjectTypeForCaps(format->demuxerCaps);
        case DemuxerCaps::kNone: break;
    }
    return std::nullopt;
}

template <typename Names>
bool FourccIs(uint32_t fourcc, const Names& names) {
    for (const char* n : names)
        if (EqualsIgnoreAsciiCase(FourccString(fourcc), n)) return true;
    return false;
}
bool FourccIs(uint32_t fourcc, std::initializer_list<const char*> names) { return FourccIs<>(fourcc, names); }

bool IsRealMedia(int32_t typeId) { return typeId == kTypeRealMedia || typeId == kTypeRealAudio; }
MediaTypePair UnknownFourcc() { return ProjectTypeForCaps("video/x-unknown-fourcc"); }

// Video FourCCs that an AVI file may hold but its GStreamer demuxer cannot hand on.
constexpr const char* kAviDemuxerCannotOutput[] = {"VP90", "VP09"};

// The RealMedia demuxer registers open source caps, so its pads say nothing:
// it gives a type to these codes only and hands anything else on as an
// unknown FourCC that no decoder takes.
constexpr const char* kRealMediaVideoCarried[] = {"RV10", "RV20", "RV30", "RV40"};
constexpr const char* kRealMediaAudioCarried[] = {"14_4", "28_8", "dnet", "raac", "racp", "atrc", "cook", "ralf", "sipr"};

// Sample sizes the WAVE demuxer hands on as raw audio.
bool WavePcmBitsCarried(int32_t bits) { return bits == 0 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// The coded video as the analysis found it, through the caps table.
std::optional<MediaTypePair> VideoFromAnalysis(const AnalysisRecords& records) {
    const VideoInfo& v = records.video;
    if (v.h264) return Caps("video/x-h264");
    if (v.hevc) return Caps("video/x-h265");
    if (v.mpeg4Vol) return Caps("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false");
    if (v.dv) return Caps("video/x-dv, systemstream=(boolean)false");
    if (v.mpeg2) return Caps("video/mpeg, mpegversion=(int)2, systemstream=(boolean)false");
    const uint32_t f = v.fourcc;
    if (FourccIs(f, {"avc1", "avc3", "h264", "x264"})) return Caps("video/x-h264");
    if (FourccIs(f, {"hvc1", "hev1", "hevc"})) return Caps("video/x-h265");
    if (FourccIs(f, {"mp4v", "xvid", "divx", "dx50", "fmp4"})) return Caps("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false");
    if (FourccIs(f, {"jpeg", "mjpa", "mjpb", "mjpg", "avdj"})) return Caps("image/jpeg");
    if (FourccIs(f, {"h263", "s263"})) return Caps("video/x-h263");
    if (FourccIs(f, {"rle "})) return Caps("video/x-rle, layout=(string)quicktime");
    if (FourccIs(f, {"dvc ", "dvcp", "dvpp", "dv5n", "dv5p", "dvsd"})) return Caps("video/x-dv, systemstream=(boolean)false");
    if (FourccIs(f, {"svq1"})) return Caps("video/x-svq, svqversion=(int)1");
    if (FourccIs(f, {"svq3"})) return Caps("video/x-svq, svqversion=(int)3");
    if (FourccIs(f, {"vp80"})) return Caps("video/x-vp8");
    if (FourccIs(f, {"vp90", "vp09"})) return Caps("video/x-vp9");
    if (FourccIs(f, {"av01"})) return Caps("video/x-av1");
    if (FourccIs(f, {"theo"})) return ProjectTypeForCaps("video/x-theora");
    if (FourccIs(f, {"rv10"})) return Caps("video/x-pn-realvideo, rmversion=(int)1");
    if (FourccIs(f, {"rv20"})) return Caps("video/x-pn-realvideo, rmversion=(int)2");
    if (FourccIs(f, {"rv30"})) return Caps("video/x-pn-realvideo, rmversion=(int)3");
    if (FourccIs(f, {"rv40"})) return Caps("video/x-pn-realvideo, rmversion=(int)4");
    if (FourccIs(f, {"png "})) return ProjectTypeForCaps("image/png");
    if (FourccIs(f, {"rpza"})) return ProjectTypeForCaps("video/x-apple-video");
    if (FourccIs(f, {"cram", "msvc", "wham"})) return Caps("video/x-msvideocodec, msvideoversion=(int)1");
    if (FourccIs(f, {"iv31", "iv32"})) return Caps("video/x-indeo, indeoversion=(int)3");
    if (FourccIs(f, {"apch", "apcn", "apcs", "apco", "ap4h", "ap4x"})) return Caps("video/x-prores");
    for (const VideoHeader& h : v.headers) {
        if (h.version == 2) return Caps("video/mpeg, mpegversion=(int)1, systemstream=(boolean)false");
        if (h.version > 0) break;
    }
    return std::nullopt;
}

std::optional<MediaTypePair> FlvVideo(int32_t codecId) {
    switch (codecId) {
        case 2: return Caps("video/x-flash-video, flvversion=(int)1");
        case 3: return Caps("video/x-flash-screen");
        case 4: return Caps("video/x-vp6-flash");
        case 5: return Caps("video/x-vp6-alpha");
        case 6: return Caps("video/x-flash-screen2");
        case 7: return Caps("video/x-h264");
        default: return std::nullopt;
    }
}

int FirstVersionCode(const VideoInfo& v) {
    for (const VideoHeader& h : v.headers)
        if (h.version > 0) return h.version;
    return v.h264 ? 6 : v.mpeg2 ? 3 : 0;
}

bool VideoTypes(const AnalysisRecords& records, int videoStatusCode, StreamTypePairs& t) {
    const ContainerInfo& c = records.container;
    const VideoInfo& v = records.video;
    if (c.typeId == kTypeAvi) {
        t.source = {kMediaTypeStream, kSubtypeAvi};
        const uint32_t fourcc = v.fourcc >= 4 ? v.fourcc : v.handler;
        if (FourccIs(fourcc, kAviDemuxerCannotOutput)) {
            // The AVI demuxer's source caps have no type for these: whatever
            // decoder is installed never receives the stream.
            t.elementary = ProjectTypeForCaps("video/x-avi-unknown-" + FourccString(fourcc));
            return true;
        }
        t.elementary = videoStatusCode == kStatusNotNeeded ? MediaTypePair{kMediaTypeVideo, kSubtypeRgb8}
                                                           : MediaTypePair{kMediaTypeVideo, UpperFourccGuid(fourcc)};
        return true;
    }
    if (const auto source = ContainerSource(c.typeId)) {
        t.source = *source;
        std::optional<MediaTypePair> coded;
        if (c.typeId == kTypeFlv) coded = FlvVideo(v.flvCodecId);
        else if (c.typeId == kTypeDvIec61834 || c.typeId == kTypeDvSmpte314M) coded = Caps("video/x-dv, systemstream=(boolean)false");
        else if (c.typeId == kTypeAsf && v.fourcc >= 4) coded = MediaTypePair{kMediaTypeVideo, UpperFourccGuid(v.fourcc)};
        else if (IsRealMedia(c.typeId) && !FourccIs(v.fourcc, kRealMediaVideoCarried)) coded = UnknownFourcc();
        else if (c.typeId == kTypeMatroska && v.codecName == kMatroskaVfwName && v.fourcc != 0)
            coded = MediaTypePair{kMediaTypeVideo, UpperFourccGuid(v.fourcc)};  // as the AVI demuxer names it
        else coded = VideoFromAnalysis(records);
        // A codec id the Matroska demuxer does not know leaves it as unknown video, which no decoder takes.
        if (!coded && c.typeId == kTypeMatroska && v.codecName.starts_with("V_"))
            coded = ProjectTypeForCaps("video/x-unknown");
        if (!coded) return false;
        t.elementary = *coded;
        return true;
    }
    bool hasSource = true;
    switch (c.layout) {
        case StreamLayout::kVideoElementary:
            // H.264 and MPEG-4 Part 2 elementary streams arrive in their own type.
            if (v.h264) t.source = Caps("video/x-h264");
            else if (v.hevc) t.source = Caps("video/x-h265");
            else if (v.mpeg4Vol) t.source = Caps("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false");
            else t.source = {kMediaTypeStream, v.mpeg2 ? kSubtypeMpeg2Video : kSubtypeMpeg1Video};
            break;
        case StreamLayout::kMpeg1System: t.source = {kMediaTypeStream, kSubtypeMpeg1System}; break;
        case StreamLayout::kMpeg2Program: t.source = {kMediaTypeStream, kSubtypeMpeg2Program}; break;
        default: hasSource = false;
    }
    switch (FirstVersionCode(v)) {
        case 2: t.elementary = {kMediaTypeVideo, kSubtypeMpeg1Payload}; break;
        case 3: t.elementary = {kMediaTypeVideo, kSubtypeMpeg2Video}; break;
        case 5: t.elementary = Caps("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false"); break;
        case 6: t.elementary = {kMediaTypeVideo, FourccGuid("H264")}; break;
        default:
            if (v.hevc) {
                t.elementary = Caps("video/x-h265");
                break;
            }
            if (!v.mpeg4Vol) return false;
            t.elementary = Caps("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false");
    }
    return hasSource;
}

const StreamInfo* AudioStream(const AnalysisRecords& records, int entry) {
    if (entry < 0 || static_cast<size_t>(entry) >= kMaxAudioListEntries) return nullptr;
    const int slot = records.audioList[static_cast<size_t>(entry)];
    return slot >= 0 ? records.StreamIf(static_cast<size_t>(slot)) : nullptr;
}

int32_t FirstFormatTag(const StreamInfo& s) {
    for (const AudioResult& r : EffectiveResults(s))
        if (r.formatTag > 0) return r.formatTag;
    return s.formatTag;
}

// The coded audio as the elementary tests and the container found it.
std::optional<MediaTypePair> AudioFromAnalysis(const StreamInfo& s) {
    const auto& r = s.audio;
    if (r[kAudioClassAac].codecClass > 0) return MediaTypePair{kMediaTypeAudio, FormatTagGuid(0x00FF)};
    if (r[kAudioClassMpeg].codecClass > 0) return MediaTypePair{kMediaTypeAudio, FormatTagGuid(0x0055)};
    if (r[kAudioClassAc3].codecClass > 0) return MediaTypePair{kMediaTypeAudio, kSubtypeDolbyAc3};
    if (r[kAudioClassDts].codecClass > 0) return MediaTypePair{kMediaTypeAudio, kSubtypeDts};
    if (s.formatTag == 0x2000) return MediaTypePair{kMediaTypeAudio, kSubtypeDolbyAc3};
    const uint32_t f = s.fourcc;
    // MPEG audio layer 1/2 under QuickTime's "ms" + format tag name: the
    // movie demuxer has no caps for it, so no decoder can take it.
    if (f == (uint32_t('m') | uint32_t('s') << 8 | 0x50u << 24)) return ProjectTypeForCaps("audio/x-qt-ms-0050");
    if (s.formatTag > 0) return MediaTypePair{kMediaTypeAudio, FormatTagGuid(static_cast<uint16_t>(s.formatTag))};
    // RealAudio by the FourCC of its header, as the RealMedia demuxer hands it on.
    if (FourccIs(f, {"14_4"})) return Caps("audio/x-pn-realaudio, raversion=(int)1");
    if (FourccIs(f, {"28_8"})) return Caps("audio/x-pn-realaudio, raversion=(int)2");
    if (FourccIs(f, {"cook"})) return Caps("audio/x-pn-realaudio, raversion=(int)8");
    if (FourccIs(f, {"sipr"})) return ProjectTypeForCaps("audio/x-sipro");
    if (FourccIs(f, {"atrc"})) return ProjectTypeForCaps("audio/x-vnd.sony.atrac3");
    if (FourccIs(f, {"ralf"})) return ProjectTypeForCaps("audio/x-ralf-mpeg4-generic");
    if (FourccIs(f, {"mp4a"})) return MediaTypePair{kMediaTypeAudio, FormatTagGuid(0x00FF)};
    if (FourccIs(f, {".mp3", "ms\x00\x55"})) return MediaTypePair{kMediaTypeAudio, FormatTagGuid(0x0055)};
    if (FourccIs(f, {"ac-3"})) return MediaTypePair{kMediaTypeAudio, kSubtypeDolbyAc3};
    if (FourccIs(f, {"ima4"})) return Caps("audio/x-adpcm, layout=(string)quicktime");
    if (FourccIs(f, {"alaw"})) return Caps("audio/x-alaw");
    if (FourccIs(f, {"ulaw"})) return Caps("audio/x-mulaw");
    if (FourccIs(f, {"alac"})) return ProjectTypeForCaps("audio/x-alac");
    if (FourccIs(f, {"qdm2"})) return ProjectTypeForCaps("audio/x-qdm2");
    if (FourccIs(f, {"samr"})) return ProjectTypeForCaps("audio/AMR");
    if (FourccIs(f, {"sawb"})) return ProjectTypeForCaps("audio/AMR-WB");
    const std::string& name = s.codecName;
    if (name == "MP3") return MediaTypePair{kMediaTypeAudio, FormatTagGuid(0x0055)};
    if (name == "AAC") return MediaTypePair{kMediaTypeAudio, FormatTagGuid(0x00FF)};
    if (name == "ADPCM") return Caps("audio/x-adpcm, layout=(string)swf");
    if (name.starts_with("Nellymoser")) return Caps("audio/x-nellymoser");
    // Matroska/WebM codecs without a Windows format tag.
    if (name == "Vorbis") return ProjectTypeForCaps("audio/x-vorbis");
    if (name == "Opus") return ProjectTypeForCaps("audio/x-opus");
    if (name == "FLAC") return Caps("audio/x-flac");
    if (name == "Speex") return ProjectTypeForCaps("audio/x-speex");
    if (name.starts_with("WavPack")) return ProjectTypeForCaps("audio/x-wavpack");
    return std::nullopt;
}

bool AudioTypes(const AnalysisRecords& records, const StreamInfo* s, StreamTypePairs& t) {
    const ContainerInfo& c = records.container;
    if (c.typeId == kTypeWave && c.bigEndianWave) {
        // No demuxer takes the big-endian form in: nothing plays any of its streams.
        t.source = ProjectTypeForCaps("audio/x-rifx");
        t.elementary = {kMediaTypeAudio, kSubtypePcm};
        return true;
    }
    if (c.typeId == kTypeWave) {
        // The format tag names what the wave parser hands on.
        t.source = {kMediaTypeStream, kSubtypeWave};
        int32_t tag = s ? FirstFormatTag(*s) : 0;
        if (tag == 0xFFFE && s->subFormatTag > 0) tag = s->subFormatTag;
        if (tag <= 0) return false;
        constexpr int32_t kDolbyAc3Tag = 0x2000;
        if (tag == kDolbyAc3Tag) t.elementary = {kMediaTypeAudio, kSubtypeDolbyAc3};
        else if (tag == 1 && !WavePcmBitsCarried(s->bitsPerSample))
            t.elementary = ProjectTypeForCaps("audio/x-wav-pcm-" + std::to_string(s->bitsPerSample) + "bit");
        else t.elementary = {kMediaTypeAudio, FormatTagGuid(static_cast<uint16_t>(tag))};
        return true;
    }
    if (c.typeId == kTypeAvi) {
        t.source = {kMediaTypeStream, kSubtypeAvi};
        int32_t tag = s ? FirstFormatTag(*s) : 0;
        // WAVE_FORMAT_EXTENSIBLE: the AVI demuxer hands on what the sub-format names.
        if (tag == 0xFFFE && s->subFormatTag > 0) tag = s->subFormatTag;
        t.elementary = tag == 0x2000 ? MediaTypePair{kMediaTypeMpeg2Pes, kSubtypeDolbyAc3}
                                     : MediaTypePair{kMediaTypeAudio, FormatTagGuid(static_cast<uint16_t>(tag))};
        return true;
    }
    if (!s) return false;
    if (const auto source = ContainerSource(c.typeId)) {
        t.source = *source;
        if (IsRealMedia(c.typeId) && !FourccIs(s->fourcc, kRealMediaAudioCarried)) {
            t.elementary = UnknownFourcc();
            return true;
        }
        const auto coded = AudioFromAnalysis(*s);
        if (!coded) return false;
        t.elementary = *coded;
        return true;
    }
    // Elementary AC-3, DTS and AAC files arrive in their own type.
    if (c.typeId == kTypeAc3 || c.typeId == kTypeDts || c.typeId == kTypeAacAdts || c.typeId == kTypeAacAdif) {
        const auto coded = AudioFromAnalysis(*s);
        if (!coded) return false;
        t.source = t.elementary = *coded;
        return true;
    }
    bool hasSource = true;
    switch (c.layout) {
        case StreamLayout::kAudioElementary: t.source = {kMediaTypeStream, kSubtypeMpeg1Audio}; break;
        case StreamLayout::kMpeg1System: t.source = {kMediaTypeStream, kSubtypeMpeg1System}; break;
        case StreamLayout::kMpeg2Program: t.source = {kMediaTypeStream, kSubtypeMpeg2Program}; break;
        default: hasSource = false;
    }
    const auto& r = s->audio;
    if (r[kAudioClassMpeg].codecClass > 0) {
        const int32_t version = r[kAudioClassMpeg].versionCode;
        if (version < 2 || version > 4) return false;
        t.elementary = {kMediaTypeAudio, FormatTagGuid(0x0055)};
    } else if (r[kAudioClassAc3].codecClass > 0) {
        t.elementary = {kMediaTypeAudio, kSubtypeDolbyAc3};
    } else if (r[kAudioClassDts].codecClass > 0) {
        t.elementary = {kMediaTypeAudio, kSubtypeDts};
    } else if (r[kAudioClassAac].codecClass > 0) {
        t.elementary = {kMediaTypeAudio, FormatTagGuid(0x00FF)};
    } else if ((s->substreamId >= 0xA0 && s->substreamId <= 0xAF) || (s->streamId >= 0xA0 && s->streamId <= 0xAF)) {
        t.elementary = {kMediaTypeAudio, kSubtypeDvdLpcm};
    } else {
        return false;
    }
    return hasSource;
}

int SearchTable(CodecInventory& inventory, const StreamTypePairs& types, StreamKind kind) {
    CodecEntry* entries = inventory.Entries();
    const int count = inventory.Count();
    CGraph graph(entries, count);
    ClearSearchState(inventory);
    Guid renderer = kClsidDSoundRender;
    if (kind == kVideoStream) {
        renderer = kClsidVideoRenderer;
        for (int i = 0; i < count; ++i)
            if (SameType(entries[i].clsid, kClsidVideoRendererDefault)) renderer = kClsidVideoRendererDefault;
    }
    return ChainSearch(graph, types.source, types.elementary, renderer, "", kind == kVideoStream) ? 1 : 2;
}

int Search(CodecInventory& inventory, const StreamTypePairs& types, StreamKind kind) {
    const std::lock_guard lock(inventory.searchMutex);
    if (inventory.rememberSearches)
        for (const CodecInventory::SearchAnswer& a : inventory.searchAnswers)
            if (a.kind == kind && a.source == types.source && a.elementary == types.elementary) return a.result;
    if (inventory.bringTable) {
        const auto bring = std::move(inventory.bringTable);
        inventory.bringTable = nullptr;
        bring(inventory);
    }
    const int result = SearchTable(inventory, types, kind);
    if (inventory.rememberSearches) inventory.searchAnswers.push_back({kind, types.source, types.elementary, result});
    return result;
}

}  // namespace

bool StreamTypes(const AnalysisRecords& records, StreamKind kind, int audioEntry, int videoStatusCode,
                 StreamTypePairs& types) {
    types = {};
    return kind == kVideoStream ? VideoTypes(records, videoStatusCode, types)
                                : AudioTypes(records, AudioStream(records, audioEntry), types);
}

namespace {

// An inventory that can answer: published, and its platform could be asked.
bool CanAnswer(const CodecInventory* inventory) { return inventory && inventory->unavailable.empty(); }

}  // namespace

int VideoCodecStatus(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, int videoStatusCode) {
    StreamTypePairs types;
    if (!useCodecInfo || !CanAnswer(inventory) || !StreamTypes(records, kVideoStream, 0, videoStatusCode, types)) return 0;
    return Search(*inventory, types, kVideoStream);
}

namespace {

int AudioCodecStatusOf(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo,
                       const StreamInfo* stream) {
    StreamTypePairs types;
    if (!useCodecInfo || !CanAnswer(inventory) || !AudioTypes(records, stream, types)) return 0;
    return Search(*inventory, types, kAudioStream);
}

bool IsPcmStream(const AnalysisRecords& records, const StreamInfo* s) {
    if (!s) return false;
    // Where the demuxer itself may be missing, PCM asks for it like any codec.
    if (const FormatDescriptor* format = FormatForType(records.container.typeId); format && format->pcmNeedsDemuxerSearch)
        return false;
    // A type-1 DV AVI's sound is the PCM inside its DV frames, handed on raw
    // by the DV demuxer whatever the empty stream format says.
    if (records.container.dvType1 && s->codecId.starts_with("pcm_")) return true;
    if (FirstFormatTag(*s) == 1 || s->subFormatTag == 1) {
        // PCM the WAVE demuxer cannot hand on needs what nothing here has.
        if (records.container.typeId == kTypeWave && records.container.bigEndianWave) return false;
        return records.container.typeId != kTypeWave || WavePcmBitsCarried(s->bitsPerSample);
    }
    // The AIFF-C and AU parsers hand floating-point samples on as raw audio.
    const int32_t typeId = records.container.typeId;
    constexpr int32_t kIeeeFloatTag = 3;
    if (FirstFormatTag(*s) == kIeeeFloatTag && (typeId == kTypeAifc || typeId == kTypeSunAu)) return true;
    // Containers that store PCM under their own names.
    return FourccIs(s->fourcc, {"sowt", "twos", "raw ", "lpcm", "in24", "in32", "fl32", "fl64", "NONE"}) ||
           s->codecName == "uncompressed";
}

int AudioStatusCodeOf(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo,
                      const StreamInfo* stream) {
    if (IsPcmStream(records, stream)) return kStatusNotNeeded;
    if (!useCodecInfo) return kStatusDisabled;
    switch (AudioCodecStatusOf(inventory, records, useCodecInfo, stream)) {
        case 1: return kStatusInstalled;
        case 2: return kStatusMissing;
        default: return 9;
    }
}

}  // namespace

int AudioCodecStatus(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, int audioEntry) {
    return AudioCodecStatusOf(inventory, records, useCodecInfo, AudioStream(records, audioEntry));
}

int VideoStatusCode(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, bool noCodecNeeded) {
    if (noCodecNeeded || IsUncompressedVideo(records)) return kStatusNotNeeded;
    if (!useCodecInfo) return kStatusDisabled;
    switch (VideoCodecStatus(inventory, records, useCodecInfo, 0)) {
        case 1: return kStatusInstalled;
        case 2: return kStatusMissing;
        default: return kStatusUndetermined;
    }
}

bool IsUncompressedVideo(const AnalysisRecords& records) {
    const uint32_t f = records.video.fourcc;
    // BI_RGB and BI_BITFIELDS bitmaps, and the raw sample entries of QuickTime.
    if (records.container.typeId == kTypeAvi) return f == 0 || f == 3;
    return (records.container.typeId == kTypeQuickTime || records.container.typeId == kTypeMp4) &&
           FourccIs(f, {"raw ", "2vuy", "yuv2", "v210", "v308", "v408"});
}

bool IsPcmAudio(const AnalysisRecords& records, int audioEntry) {
    return IsPcmStream(records, AudioStream(records, audioEntry));
}

int AudioStatusCode(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo, int audioEntry) {
    return AudioStatusCodeOf(inventory, records, useCodecInfo, AudioStream(records, audioEntry));
}

int StreamAudioStatusCode(CodecInventory* inventory, const AnalysisRecords& records, bool useCodecInfo,
                          const StreamInfo& stream) {
    return AudioStatusCodeOf(inventory, records, useCodecInfo, &stream);
}

}  // namespace torvo
