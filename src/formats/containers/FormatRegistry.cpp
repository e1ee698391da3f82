#include "formats/containers/FormatRegistry.h"

#include "formats/containers/NamedFormats.h"
#include "formats/containers/SupAIFF.h"
#include "formats/containers/SupAU.h"
#include "formats/containers/SupCAF.h"
#include "formats/containers/SupFLAC.h"
#include "formats/containers/SupMKV.h"
#include "formats/containers/SupOgg.h"
#include "formats/containers/SupRM.h"
#include "formats/containers/SupTS.h"
#include "formats/containers/SupVOC.h"
#include "formats/containers/SupWav.h"
#include "formats/containers/SupWavPack.h"

namespace torvo {
namespace {

// The readers, one adapter each: the only place that knows how a reader is
// constructed and what it answers.
ReadStatus ReadAsf(CFileCache& r, AnalysisRecords& records) { return CSupWav(r, records).ReadHeader(); }
ReadStatus ReadMatroska(CFileCache& r, AnalysisRecords& records) { return CSupMKV(r, records).Analyse(); }
ReadStatus ReadTransport(CFileCache& r, AnalysisRecords& records) { return CSupTS(r, records).Analyse(); }
ReadStatus ReadRealMedia(CFileCache& r, AnalysisRecords& records) { return CSupRM(r, records).Analyse(); }
ReadStatus ReadOgg(CFileCache& r, AnalysisRecords& records) { return CSupOgg(r, records).Analyse(); }
ReadStatus ReadAiff(CFileCache& r, AnalysisRecords& records) { return CSupAIFF(r, records).Analyse(); }
ReadStatus ReadAu(CFileCache& r, AnalysisRecords& records) { return CSupAU(r, records).Analyse(); }
ReadStatus ReadWavPack(CFileCache& r, AnalysisRecords& records) { return CSupWavPack(r, records).Analyse(); }
ReadStatus ReadVoc(CFileCache& r, AnalysisRecords& records) { return CSupVOC(r, records).Analyse(); }
ReadStatus ReadFlac(CFileCache& r, AnalysisRecords& records) { return CSupFLAC(r, records).Analyse(); }
ReadStatus ReadRifx(CFileCache& r, AnalysisRecords& records) {
    ReadStatus status;
    AnalyseRifx(r, records, status);
    return status;
}
ReadStatus ReadCaf(CFileCache& r, AnalysisRecords& records) { return CSupCAF(r, records).Analyse(); }

// 3GPP and 3GPP2 files name themselves by a major brand that starts "3g"
// (brands are kept as read, the first byte lowest).
bool IsThirdGeneration(const AnalysisRecords& records) {
    return (records.container.majorBrand & 0xFFFFu) == (uint32_t('3') | uint32_t('g') << 8);
}
bool IsWebm(const AnalysisRecords& records) { return records.container.docType == "webm"; }
bool IsBigEndianWave(const AnalysisRecords& records) { return records.container.bigEndianWave; }
bool IsElementaryVideo(const AnalysisRecords& records) {
    return records.container.layout == StreamLayout::kVideoElementary && !records.video.h264 &&
           !records.video.hevc && !records.video.mpeg4Vol;
}
bool IsElementaryMpeg4(const AnalysisRecords& records) {
    return records.container.layout == StreamLayout::kVideoElementary && !records.video.h264 &&
           !records.video.hevc && records.video.mpeg4Vol;
}
bool IsElementaryH264(const AnalysisRecords& records) {
    return records.container.layout == StreamLayout::kVideoElementary && records.video.h264;
}
bool IsElementaryHevc(const AnalysisRecords& records) {
    return records.container.layout == StreamLayout::kVideoElementary && records.video.hevc;
}
// MPEG audio: frames found by content, or a file that starts with the sync
// word the signature table names.
bool IsMpegAudio(const AnalysisRecords& records) {
    return records.container.layout == StreamLayout::kAudioElementary || records.container.typeId == kTypeMpegAudio;
}

constexpr int32_t kTypeCaf = 87;
constexpr SignatureRow kCafSignature[] = {
    {"caff\x00\x01", 0, 6, "Core Audio Format (.CAF)", "audio/x-caf", kTypeCaf},
};

constexpr FormatDescriptor kFormats[] = {
    {.id = "avi", .title = "AVI", .typeIds = {kTypeAvi}, .mime = "video/x-msvideo", .extensions = "avi divx",
     .reader = FormatReader::kRiff},
    {.id = "rifx", .title = "WAVE, big-endian (RIFX)", .typeIds = {kTypeWave}, .matches = IsBigEndianWave,
     .mime = "audio/wav", .extensions = "wav", .reader = FormatReader::kContent, .read = ReadRifx,
     .summary = "RIFX (WAVE, big-endian)"},
    {.id = "wav", .title = "WAVE", .typeIds = {kTypeWave}, .mime = "audio/wav", .extensions = "wav",
     .reader = FormatReader::kRiff},
    {.id = "cdxa", .title = "Video CD (RIFF CDXA)", .typeIds = {kTypeCdxa}, .mime = "video/mpeg", .extensions = "dat",
     .reader = FormatReader::kRiff},
    {.id = "asf", .title = "ASF (WMV, WMA)", .typeIds = {kTypeAsf}, .mime = "video/x-ms-asf",
     .audioMime = "audio/x-ms-wma", .extensions = "asf wmv wma", .read = ReadAsf, .demuxer = DemuxerCaps::kGstreamer,
     .demuxerCaps = "video/x-ms-asf"},
    {.id = "mpeg-video", .title = "MPEG-1/2 video elementary stream", .typeIds = {kTypeMpeg},
     .matches = IsElementaryVideo, .mime = "video/mpeg", .extensions = "m1v m2v mpv",
     .reader = FormatReader::kMpegSystem},
    {.id = "mpeg4-video", .title = "MPEG-4 Visual elementary stream", .typeIds = {kTypeMpeg},
     .matches = IsElementaryMpeg4, .mime = "video/mp4v-es", .extensions = "m4v", .reader = FormatReader::kMpegSystem},
    {.id = "h264", .title = "H.264 elementary stream", .typeIds = {kTypeMpeg}, .matches = IsElementaryH264,
     .mime = "video/h264", .extensions = "264 h264", .reader = FormatReader::kMpegSystem},
    {.id = "hevc", .title = "H.265/HEVC elementary stream", .typeIds = {kTypeMpeg}, .matches = IsElementaryHevc,
     .mime = "video/h265", .extensions = "hevc h265 265", .reader = FormatReader::kMpegSystem},
    {.id = "mp3", .title = "MPEG audio (MP3, MP2)", .typeIds = {kTypeMpegAudio, kTypeMpeg}, .matches = IsMpegAudio,
     .mime = "audio/mpeg", .extensions = "mp3 mp2 mpa", .reader = FormatReader::kMpegAudio},
    {.id = "mpeg-ps", .title = "MPEG program stream", .typeIds = {kTypeMpeg}, .mime = "video/mpeg",
     .extensions = "mpg mpeg mpe vob m2p", .reader = FormatReader::kMpegSystem},
    {.id = "ac3", .title = "AC-3", .typeIds = {kTypeAc3}, .mime = "audio/ac3", .extensions = "ac3",
     .reader = FormatReader::kContent},
    {.id = "dts", .title = "DTS", .typeIds = {kTypeDts}, .mime = "audio/vnd.dts", .extensions = "dts",
     .reader = FormatReader::kContent},
    {.id = "aac-adts", .title = "AAC (ADTS)", .typeIds = {kTypeAacAdts}, .mime = "audio/aac", .extensions = "aac",
     .reader = FormatReader::kContent},
    {.id = "aac-adif", .title = "AAC (ADIF)", .typeIds = {kTypeAacAdif}, .mime = "audio/aac", .extensions = "aac",
     .reader = FormatReader::kNone},
    {.id = "mov", .title = "QuickTime", .typeIds = {kTypeQuickTime}, .mime = "video/quicktime",
     .extensions = "mov qt", .reader = FormatReader::kMovie, .demuxer = DemuxerCaps::kGstreamer,
     .demuxerCaps = "video/quicktime"},
    {.id = "3gp", .title = "3GPP", .typeIds = {kTypeMp4}, .matches = IsThirdGeneration, .mime = "video/3gpp",
     .audioMime = "audio/3gpp", .extensions = "3gp 3g2", .reader = FormatReader::kMovie,
     .demuxer = DemuxerCaps::kGstreamer, .demuxerCaps = "video/quicktime"},
    {.id = "mp4", .title = "MP4", .typeIds = {kTypeMp4}, .mime = "video/mp4", .audioMime = "audio/mp4",
     .extensions = "mp4 m4v m4a", .reader = FormatReader::kMovie, .demuxer = DemuxerCaps::kGstreamer,
     .demuxerCaps = "video/quicktime"},
    {.id = "rm", .title = "RealMedia", .typeIds = {kTypeRealMedia}, .mime = "application/vnd.rn-realmedia",
     .extensions = "rm rmvb", .read = ReadRealMedia, .demuxer = DemuxerCaps::kProject,
     .demuxerCaps = "application/vnd.rn-realmedia", .summary = "RealMedia"},
    {.id = "ra", .title = "RealAudio", .typeIds = {kTypeRealAudio}, .mime = "audio/x-pn-realaudio",
     .extensions = "ra", .read = ReadRealMedia, .demuxer = DemuxerCaps::kProject,
     .demuxerCaps = "application/x-pn-realaudio", .summary = "RealAudio"},
    {.id = "ogg", .title = "Ogg", .typeIds = {kTypeOgg}, .mime = "video/ogg", .audioMime = "audio/ogg",
     .extensions = "ogg ogv oga ogm opus spx", .read = ReadOgg, .demuxer = DemuxerCaps::kGstreamer,
     .demuxerCaps = "application/ogg", .summary = "Ogg"},
    {.id = "aiff", .title = "AIFF", .typeIds = {kTypeAiff}, .mime = "audio/aiff", .extensions = "aif aiff",
     .read = ReadAiff, .demuxer = DemuxerCaps::kProject, .demuxerCaps = "audio/x-aiff", .summary = "AIFF"},
    {.id = "aifc", .title = "AIFF-C", .typeIds = {kTypeAifc}, .mime = "audio/aiff", .extensions = "aifc aif",
     .read = ReadAiff, .demuxer = DemuxerCaps::kProject, .demuxerCaps = "audio/x-aiff", .summary = "AIFF-C"},
    {.id = "au", .title = "NeXT/Sun AU", .typeIds = {kTypeSunAu}, .mime = "audio/basic", .extensions = "au snd",
     .read = ReadAu, .demuxer = DemuxerCaps::kProject, .demuxerCaps = "audio/x-au", .summary = "NeXT/Sun AU"},
    {.id = "webm", .title = "WebM", .typeIds = {kTypeMatroska}, .matches = IsWebm, .mime = "video/webm",
     .audioMime = "audio/webm", .extensions = "webm", .read = ReadMatroska, .demuxer = DemuxerCaps::kGstreamer,
     .demuxerCaps = "video/x-matroska"},
    {.id = "matroska", .title = "Matroska", .typeIds = {kTypeMatroska}, .mime = "video/x-matroska",
     .audioMime = "audio/x-matroska", .extensions = "mkv mka mks", .read = ReadMatroska,
     .demuxer = DemuxerCaps::kGstreamer, .demuxerCaps = "video/x-matroska"},
    {.id = "wavpack", .title = "WavPack", .typeIds = {kTypeWavPack}, .mime = "audio/x-wavpack", .extensions = "wv",
     .read = ReadWavPack, .demuxer = DemuxerCaps::kProject, .demuxerCaps = "audio/x-wavpack", .summary = "WavPack"},
    {.id = "flv", .title = "Flash Video", .typeIds = {kTypeFlv}, .mime = "video/x-flv", .extensions = "flv",
     .reader = FormatReader::kFlv, .demuxer = DemuxerCaps::kGstreamer, .demuxerCaps = "video/x-flv"},
    {.id = "dv", .title = "DV", .typeIds = {kTypeDvIec61834, kTypeDvSmpte314M}, .mime = "video/dv",
     .extensions = "dv dif", .reader = FormatReader::kContent, .demuxer = DemuxerCaps::kGstreamer,
     .demuxerCaps = "video/x-dv, systemstream=(boolean)true"},
    {.id = "voc", .title = "Creative Voice", .typeIds = {kTypeCreativeVoice}, .mime = "audio/x-voc",
     .extensions = "voc", .read = ReadVoc, .demuxer = DemuxerCaps::kProject, .demuxerCaps = "audio/x-voc",
     .summary = "Creative Voice"},
    {.id = "flac", .title = "FLAC", .typeIds = {kTypeFlac}, .mime = "audio/flac", .extensions = "flac",
     .read = ReadFlac, .demuxer = DemuxerCaps::kGstreamer, .demuxerCaps = "audio/x-flac", .summary = "FLAC"},
    {.id = "mpeg-ts", .title = "MPEG transport stream", .typeIds = {kTypeTransportStream}, .mime = "video/mp2t",
     .extensions = "ts m2ts mts tp", .reader = FormatReader::kContent, .read = ReadTransport,
     .demuxer = DemuxerCaps::kGstreamer, .demuxerCaps = "video/mpegts"},
    {.id = "caf", .title = "Core Audio Format", .typeIds = {kTypeCaf}, .mime = "audio/x-caf", .extensions = "caf",
     .signatures = kCafSignature, .read = ReadCaf, .demuxer = DemuxerCaps::kProject, .demuxerCaps = "audio/x-caf",
     .pcmNeedsDemuxerSearch = true, .summary = "CAF"},
};

}  // namespace

bool FormatDescriptor::HasType(int32_t typeId) const {
    if (typeId == kTypeUnknown) return false;
    for (const int32_t own : typeIds)
        if (own == typeId) return true;
    return false;
}

std::span<const FormatDescriptor> Formats() { return kFormats; }

const FormatDescriptor* FormatById(std::string_view id) {
    for (const FormatDescriptor& format : kFormats)
        if (format.id == id) return &format;
    return nullptr;
}

const FormatDescriptor* FormatForType(int32_t typeId) {
    // The general descriptor of a type id (MP4 rather than 3GP), else the only one.
    const FormatDescriptor* any = nullptr;
    for (const FormatDescriptor& format : kFormats) {
        if (!format.HasType(typeId)) continue;
        if (!format.matches) return &format;
        if (!any) any = &format;
    }
    return any;
}

const FormatDescriptor* FormatOfContent(const AnalysisRecords& records) {
    for (const FormatDescriptor& format : kFormats)
        if (format.HasType(records.container.typeId) && (!format.matches || format.matches(records))) return &format;
    return nullptr;
}

const SignatureRow* MatchSignature(ByteView header) {
    for (const SignatureRow& row : SignatureRows())
        if (RowMatches(row, header)) return &row;
    for (const FormatDescriptor& format : kFormats)
        for (const SignatureRow& row : format.signatures)
            if (RowMatches(row, header)) return &row;
    return nullptr;
}

const SignatureRow* FormatRowForType(int32_t typeId) {
    if (const SignatureRow* row = RowForType(typeId)) return row;
    for (const FormatDescriptor& format : kFormats)
        for (const SignatureRow& row : format.signatures)
            if (row.typeId == typeId) return &row;
    return nullptr;
}

}  // namespace torvo
