#include "inventory/CapsTypes.h"

#include <string>

namespace torvo {
namespace {

using namespace guids;
constexpr Guid V = kMediaTypeVideo;
constexpr Guid A = kMediaTypeAudio;
constexpr Guid S = kMediaTypeStream;
constexpr Guid Fcc(const char* f) { return FourccGuid(f); }
constexpr Guid Tag(uint16_t t) { return FormatTagGuid(t); }

// Project GUIDs: version 5 UUIDs (URL namespace) of "torvo:caps:" + the caps
// name, as tools/codecdb/make_database.py writes them into the database.
constexpr Guid kFlvStream = G("{9F51FE6C-ACBC-5F17-91CB-52E963BB4E84}");
constexpr Guid kMatroskaStream = G("{832271A8-C72E-5A60-A114-7448558F4BD1}");
constexpr Guid kWebmStream = G("{B948DE11-CDC3-508F-A493-5B5668F1A988}");
constexpr Guid kDvStream = G("{EB5B3B33-33EA-5F3A-B03A-C188A4E335B8}");
constexpr Guid kOggStream = G("{E447E1C8-0F9D-51A3-AD63-CF11B070552D}");

// Rows are tried in order: the first row of a type is the one the analysis
// asks for and the one a format text names.
constexpr CapsTypeRow kRows[] = {
    // Containers: what their demuxers take in.
    {"video/x-msvideo", {S, kSubtypeAvi}},
    {"audio/x-wav", {S, kSubtypeWave}},
    {"video/mpeg, systemstream=(boolean)true, mpegversion=(int)1", {S, kSubtypeMpeg1System}},
    {"video/mpeg, systemstream=(boolean)true, mpegversion=(int)2", {S, kSubtypeMpeg2Program}},
    {"video/mpegts", {S, kSubtypeMpeg2Transport}},
    {"video/quicktime", {S, kSubtypeQtMovie}},
    {"video/x-ms-asf", {S, kSubtypeAsf}},
    {"video/x-flv", {S, kFlvStream}},
    {"video/x-matroska", {S, kMatroskaStream}},
    {"video/webm", {S, kWebmStream}},
    {"video/x-dv, systemstream=(boolean)true", {S, kDvStream}},
    {"application/ogg", {S, kOggStream}},
    // MPEG video.
    {"video/mpeg, mpegversion=(int)1, systemstream=(boolean)false", {V, kSubtypeMpeg1Payload}},
    {"video/mpeg, mpegversion=(int)2, systemstream=(boolean)false", {V, kSubtypeMpeg2Video}},
    {"video/mpeg, mpegversion=(int)1, systemstream=(boolean)false", {S, kSubtypeMpeg1Video}},
    {"video/mpeg, mpegversion=(int)2, systemstream=(boolean)false", {S, kSubtypeMpeg2Video}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("MP4V")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("XVID")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("FMP4")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("DIVX")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("DX50")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("M4S2")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("MP4S")}},
    {"video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", {V, Fcc("3IV2")}},
    {"video/x-xvid", {V, Fcc("XVID")}},
    {"video/x-divx, divxversion=(int)3", {V, Fcc("DIV3")}},
    {"video/x-divx, divxversion=(int)3", {V, Fcc("DIV4")}},
    {"video/x-divx, divxversion=(int)4", {V, Fcc("DIVX")}},
    {"video/x-divx, divxversion=(int)5", {V, Fcc("DX50")}},
    {"video/x-msmpeg, msmpegversion=(int)41", {V, Fcc("MPG4")}},
    {"video/x-msmpeg, msmpegversion=(int)42", {V, Fcc("MP42")}},
    {"video/x-msmpeg, msmpegversion=(int)43", {V, Fcc("MP43")}},
    {"video/x-msmpeg, msmpegversion=(int)43", {V, Fcc("DIV3")}},
    {"video/x-wmv, wmvversion=(int)1", {V, Fcc("WMV1")}},
    {"video/x-wmv, wmvversion=(int)2", {V, Fcc("WMV2")}},
    {"video/x-wmv, wmvversion=(int)3", {V, Fcc("WMV3")}},
    {"video/x-wmv, wmvversion=(int)3, format=(string)WVC1", {V, Fcc("WVC1")}},
    {"video/x-h264", {V, Fcc("H264")}},
    {"video/x-h264", {V, Fcc("AVC1")}},
    {"video/x-h264", {V, Fcc("X264")}},
    {"video/x-h265", {V, Fcc("HEVC")}},
    {"video/x-h265", {V, Fcc("HVC1")}},
    {"video/x-h263", {V, Fcc("H263")}},
    {"video/x-h263", {V, Fcc("S263")}},
    {"video/x-flash-video, flvversion=(int)1", {V, Fcc("FLV1")}},
    {"video/x-flash-screen", {V, Fcc("FSV1")}},
    {"video/x-flash-screen2", {V, Fcc("FSV2")}},
    {"video/x-vp6-flash", {V, Fcc("VP6F")}},
    {"video/x-vp6-alpha", {V, Fcc("VP6A")}},
    {"video/x-vp8", {V, Fcc("VP80")}},
    {"video/x-vp9", {V, Fcc("VP90")}},
    {"video/x-av1", {V, Fcc("AV01")}},
    {"image/jpeg", {V, Fcc("MJPG")}},
    {"image/jpeg", {V, Fcc("JPEG")}},
    {"video/x-dv, systemstream=(boolean)false", {V, Fcc("dvsd")}},
    {"video/x-rle, layout=(string)microsoft", {V, Fcc("MRLE")}},
    {"video/x-rle, layout=(string)quicktime", {V, Fcc("rle ")}},
    {"video/x-svq, svqversion=(int)1", {V, Fcc("SVQ1")}},
    {"video/x-svq, svqversion=(int)3", {V, Fcc("SVQ3")}},
    {"video/x-huffyuv", {V, Fcc("HFYU")}},
    {"video/x-ffv", {V, Fcc("FFV1")}},
    {"video/x-cinepak", {V, Fcc("CVID")}},
    {"video/x-msvideocodec, msvideoversion=(int)1", {V, Fcc("CRAM")}},
    {"video/x-msvideocodec, msvideoversion=(int)1", {V, Fcc("MSVC")}},
    {"video/x-msvideocodec, msvideoversion=(int)1", {V, Fcc("WHAM")}},
    {"video/x-indeo, indeoversion=(int)3", {V, Fcc("IV32")}},
    {"video/x-indeo, indeoversion=(int)3", {V, Fcc("IV31")}},
    {"video/x-prores", {V, Fcc("apcn")}},
    // RealVideo: one decoder per version, as the RealMedia demuxer tells them apart.
    {"video/x-pn-realvideo, rmversion=(int)1", {V, Fcc("RV10")}},
    {"video/x-pn-realvideo, rmversion=(int)2", {V, Fcc("RV20")}},
    {"video/x-pn-realvideo, rmversion=(int)3", {V, Fcc("RV30")}},
    {"video/x-pn-realvideo, rmversion=(int)4", {V, Fcc("RV40")}},
    // Uncompressed video: DirectShow's subtypes for the formats it has, the
    // "any" subtype for every raw format.
    {"video/x-raw, format=(string)I420", {V, Fcc("IYUV")}},
    {"video/x-raw, format=(string)YV12", {V, Fcc("YV12")}},
    {"video/x-raw, format=(string)YUY2", {V, Fcc("YUY2")}},
    {"video/x-raw, format=(string)UYVY", {V, Fcc("UYVY")}},
    {"video/x-raw, format=(string)YVYU", {V, Fcc("YVYU")}},
    {"video/x-raw, format=(string)AYUV", {V, Fcc("AYUV")}},
    {"video/x-raw, format=(string)NV12", {V, Fcc("NV12")}},
    {"video/x-raw, format=(string)BGR", {V, G("{E436EB7D-524F-11CE-9F53-0020AF0BA770}")}},
    {"video/x-raw, format=(string)BGRx", {V, G("{E436EB7E-524F-11CE-9F53-0020AF0BA770}")}},
    {"video/x-raw, format=(string)RGB16", {V, G("{E436EB7B-524F-11CE-9F53-0020AF0BA770}")}},
    {"video/x-raw, format=(string)RGB15", {V, G("{E436EB7C-524F-11CE-9F53-0020AF0BA770}")}},
    {"video/x-raw", {V, kNull}},
    // Audio.
    {"audio/mpeg, mpegversion=(int)1, layer=(int)3", {A, Tag(0x0055)}},
    {"audio/mpeg, mpegversion=(int)1, layer=(int)2", {A, Tag(0x0050)}},
    {"audio/mpeg, mpegversion=(int)1, layer=(int)1", {A, Tag(0x0050)}},
    {"audio/mpeg, mpegversion=(int)1", {S, kSubtypeMpeg1Audio}},
    {"audio/mpeg, mpegversion=(int)4", {A, Tag(0x00FF)}},
    {"audio/mpeg, mpegversion=(int)4", {A, Tag(0x1600)}},
    {"audio/mpeg, mpegversion=(int)2", {A, Tag(0x00FF)}},
    {"audio/mpeg, mpegversion=(int)2", {A, Tag(0x1600)}},
    {"audio/x-ac3", {A, kSubtypeDolbyAc3}},
    {"audio/x-ac3", {kMediaTypeMpeg2Pes, kSubtypeDolbyAc3}},
    {"audio/x-private1-ac3", {A, kSubtypeDolbyAc3}},
    {"audio/x-dts", {A, kSubtypeDts}},
    {"audio/x-private1-dts", {A, kSubtypeDts}},
    {"audio/x-private1-lpcm", {A, kSubtypeDvdLpcm}},
    {"audio/x-lpcm", {A, kSubtypeDvdLpcm}},
    {"audio/x-wma, wmaversion=(int)1", {A, Tag(0x0160)}},
    {"audio/x-wma, wmaversion=(int)2", {A, Tag(0x0161)}},
    {"audio/x-wma, wmaversion=(int)3", {A, Tag(0x0162)}},
    {"audio/x-wma, wmaversion=(int)4", {A, Tag(0x0163)}},
    {"audio/x-wms", {A, Tag(0x000A)}},
    {"audio/x-adpcm, layout=(string)microsoft", {A, Tag(0x0002)}},
    {"audio/x-adpcm, layout=(string)dvi", {A, Tag(0x0011)}},
    {"audio/x-adpcm, layout=(string)quicktime", {A, Fcc("ima4")}},
    {"audio/x-adpcm, layout=(string)swf", {A, Tag(0x5346)}},
    {"audio/x-alaw", {A, Tag(0x0006)}},
    {"audio/x-mulaw", {A, Tag(0x0007)}},
    {"audio/x-gsm", {A, Tag(0x0031)}},
    {"audio/ms-gsm", {A, Tag(0x0031)}},
    {"audio/x-flac", {A, Tag(0xF1AC)}},
    {"audio/x-nellymoser", {A, Fcc("NELL")}},
    // RealAudio 1.0, 2.0 and G2 (Cook) by the version the demuxer gives them.
    {"audio/x-pn-realaudio, raversion=(int)1", {A, Fcc("14_4")}},
    {"audio/x-pn-realaudio, raversion=(int)2", {A, Fcc("28_8")}},
    {"audio/x-pn-realaudio, raversion=(int)8", {A, Fcc("cook")}},
    {"audio/x-raw", {A, kSubtypePcm}},
    {"audio/x-raw, format=(string)F32LE", {A, Tag(0x0003)}},
    {"audio/x-raw, format=(string)F64LE", {A, Tag(0x0003)}},
};

}  // namespace

std::span<const CapsTypeRow> CapsTypeTable() { return kRows; }

uint64_t CapsTypeTableHash() {
    static constexpr uint64_t kHash = [] {
        uint64_t hash = 1469598103934665603ull;
        const auto mix = [&hash](uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
        for (const CapsTypeRow& row : kRows) {
            for (const char* c = row.caps; *c; ++c) mix(static_cast<uint8_t>(*c));
            for (const Guid& g : {row.pair.major, row.pair.subtype}) {
                mix(g.data1);
                mix(uint64_t(g.data2) << 16 | g.data3);
                for (const uint8_t b : g.data4) mix(b);
            }
        }
        return hash;
    }();
    return kHash;
}

std::optional<MediaTypePair> TypeForCaps(std::string_view caps) {
    for (const CapsTypeRow& row : kRows)
        if (caps == row.caps) return row.pair;
    return std::nullopt;
}

MediaTypePair ProjectTypeForCaps(std::string_view name) {
    Guid major = S;
    if (name.starts_with("video/") || name.starts_with("image/")) major = V;
    else if (name.starts_with("audio/")) major = A;
    // Container formats stand for byte streams however they are named.
    for (std::string_view container : {"application/mxf", "video/x-ivf", "application/x-id3", "audio/x-flac-stream"})
        if (name == container) major = S;
    return {major, NameBasedGuid("torvo:caps:" + std::string(name))};
}

}  // namespace torvo
