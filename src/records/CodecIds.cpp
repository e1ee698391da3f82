#include "records/CodecIds.h"

#include <algorithm>
#include <utility>

namespace torvo {
namespace {

struct PcmRow {
    int bits;
    PcmLayout layout;
    std::string_view id;
};
constexpr PcmRow kPcmCodecs[] = {
    {8, PcmLayout::kSignedLittle, "pcm_s8"},     {8, PcmLayout::kSignedBig, "pcm_s8"},
    {8, PcmLayout::kUnsigned, "pcm_u8"},         {16, PcmLayout::kSignedLittle, "pcm_s16le"},
    {16, PcmLayout::kSignedBig, "pcm_s16be"},    {16, PcmLayout::kUnsigned, "pcm_u16le"},
    {24, PcmLayout::kSignedLittle, "pcm_s24le"}, {24, PcmLayout::kSignedBig, "pcm_s24be"},
    {24, PcmLayout::kUnsigned, "pcm_u24le"},     {32, PcmLayout::kSignedLittle, "pcm_s32le"},
    {32, PcmLayout::kSignedBig, "pcm_s32be"},    {32, PcmLayout::kUnsigned, "pcm_u32le"},
    {32, PcmLayout::kFloatLittle, "pcm_f32le"},  {32, PcmLayout::kFloatBig, "pcm_f32be"},
    {64, PcmLayout::kSignedLittle, "pcm_s64le"}, {64, PcmLayout::kSignedBig, "pcm_s64be"},
    {64, PcmLayout::kFloatLittle, "pcm_f64le"},  {64, PcmLayout::kFloatBig, "pcm_f64be"},
};

// WAVEFORMATEX tags other than PCM (1) and IEEE float (3).
constexpr std::pair<int, std::string_view> kFormatTagCodecs[] = {
    {0x0002, "adpcm_ms"},      {0x0006, "pcm_alaw"},    {0x0007, "pcm_mulaw"},   {0x0011, "adpcm_ima_wav"},
    {0x0022, "truespeech"},    {0x0031, "gsm_ms"},      {0x0040, "adpcm_g726"},  {0x0045, "adpcm_g726"},
    {0x0050, "mp2"},           {0x0055, "mp3"},         {0x0061, "adpcm_ima_dk4"}, {0x0062, "adpcm_ima_dk3"},
    {0x0092, "ac3"},           {0x00FF, "aac"},         {0x0130, "sipr"},        {0x0160, "wmav1"},
    {0x0161, "wmav2"},         {0x0162, "wmapro"},      {0x0163, "wmalossless"}, {0x0200, "adpcm_ct"},
    {0x0270, "atrac3"},        {0x0401, "imc"},         {0x1600, "aac"},         {0x1601, "aac"},
    {0x2000, "ac3"},           {0x2001, "dts"},         {0x674F, "vorbis"},      {0x6750, "vorbis"},
    {0x6751, "vorbis"},        {0x706D, "aac"},         {0xA109, "speex"},       {0xF1AC, "flac"},
};

// Video FourCCs, compared without regard to case.
constexpr std::pair<std::string_view, std::string_view> kVideoFourccCodecs[] = {
    {"XVID", "mpeg4"},     {"DIVX", "mpeg4"},     {"DX50", "mpeg4"},     {"FMP4", "mpeg4"},
    {"MP4V", "mpeg4"},     {"3IV2", "mpeg4"},     {"M4S2", "mpeg4"},     {"MP4S", "mpeg4"},
    {"RMP4", "mpeg4"},     {"DIV3", "msmpeg4v3"}, {"DIV4", "msmpeg4v3"}, {"MP43", "msmpeg4v3"},
    {"MP42", "msmpeg4v2"}, {"MPG4", "msmpeg4v1"}, {"WMV1", "wmv1"},      {"WMV2", "wmv2"},
    {"WMV3", "wmv3"},      {"WVC1", "vc1"},       {"WMVA", "vc1"},       {"H264", "h264"},
    {"X264", "h264"},      {"AVC1", "h264"},      {"AVC3", "h264"},      {"HEVC", "hevc"},
    {"HVC1", "hevc"},      {"HEV1", "hevc"},      {"MJPG", "mjpeg"},     {"JPEG", "mjpeg"},
    {"MJPA", "mjpeg"},     {"AVRN", "mjpeg"},     {"MJPB", "mjpegb"},    {"DVSD", "dvvideo"},
    {"DV25", "dvvideo"},   {"DVHD", "dvvideo"},   {"DVSL", "dvvideo"},   {"CDVC", "dvvideo"},
    {"DVC ", "dvvideo"},   {"DVCP", "dvvideo"},   {"DVPP", "dvvideo"},   {"DV5N", "dvvideo"},
    {"DV5P", "dvvideo"},   {"MPG1", "mpeg1video"}, {"MPG2", "mpeg2video"}, {"VP80", "vp8"},
    {"VP90", "vp9"},       {"AV01", "av1"},       {"H263", "h263"},      {"S263", "h263"},
    {"CVID", "cinepak"},   {"MSVC", "msvideo1"},  {"CRAM", "msvideo1"},  {"WHAM", "msvideo1"},
    {"IV31", "indeo3"},    {"IV32", "indeo3"},    {"IV41", "indeo4"},    {"IV50", "indeo5"},
    {"HFYU", "huffyuv"},   {"FFVH", "ffvhuff"},   {"FFV1", "ffv1"},      {"THEO", "theora"},
    {"SVQ1", "svq1"},      {"SVQ3", "svq3"},      {"APCN", "prores"},    {"APCH", "prores"},
    {"APCS", "prores"},    {"APCO", "prores"},    {"AP4H", "prores"},    {"AP4X", "prores"},
    {"PNG ", "png"},       {"MPNG", "png"},       {"RPZA", "rpza"},      {"RLE ", "qtrle"},
    {"SMC ", "smc"},       {"8BPS", "8bps"},      {"RV10", "rv10"},      {"RV13", "rv10"},
    {"RV20", "rv20"},      {"RV30", "rv30"},      {"RV40", "rv40"},      {"TSCC", "tscc"},
    {"ZMBV", "zmbv"},      {"CSCD", "cscd"},      {"VP60", "vp6"},       {"VP61", "vp6"},
    {"VP62", "vp6"},       {"VP6F", "vp6f"},      {"FLV1", "flv1"},      {"AVDN", "dnxhd"},
    {"V210", "v210"},      {"LAGS", "lagarith"},  {"ULRG", "utvideo"},   {"ULY0", "utvideo"},
    {"ULY2", "utvideo"},   {"YUY2", "rawvideo"},  {"UYVY", "rawvideo"},  {"I420", "rawvideo"},
    {"YV12", "rawvideo"},  {"2VUY", "rawvideo"},  {"YUV2", "rawvideo"},  {"RAW ", "rawvideo"},
};

// Sound sample entries and compression types; an empty id is PCM of the layout given.
struct SoundRow {
    std::string_view fourcc;
    std::string_view id;
    PcmLayout layout;
    bool followsEnda;  // the byte order an 'enda' atom states applies
};
constexpr PcmLayout kBig = PcmLayout::kSignedBig;
constexpr SoundRow kSoundFourccCodecs[] = {
    {"NONE", "", kBig, false},          {"twos", "", kBig, false},
    {"sowt", "", PcmLayout::kSignedLittle, false}, {"raw ", "", PcmLayout::kUnsigned, false},
    {"in24", "", kBig, true},           {"in32", "", kBig, true},
    {"fl32", "", PcmLayout::kFloatBig, true}, {"FL32", "", PcmLayout::kFloatBig, true},
    {"fl64", "", PcmLayout::kFloatBig, true}, {"FL64", "", PcmLayout::kFloatBig, true},
    {"alaw", "pcm_alaw", kBig, false},  {"ALAW", "pcm_alaw", kBig, false},
    {"ulaw", "pcm_mulaw", kBig, false}, {"ULAW", "pcm_mulaw", kBig, false},
    {"ima4", "adpcm_ima_qt", kBig, false}, {"GSM ", "gsm", kBig, false},
    {"agsm", "gsm", kBig, false},       {"MAC3", "mace3", kBig, false},
    {"MAC6", "mace6", kBig, false},     {"QDM2", "qdm2", kBig, false},
    {"QDMC", "qdmc", kBig, false},      {"Qclp", "qcelp", kBig, false},
    {"samr", "amr_nb", kBig, false},    {"sawb", "amr_wb", kBig, false},
    {"alac", "alac", kBig, false},      {".mp3", "mp3", kBig, false},
    {"ac-3", "ac3", kBig, false},       {"ec-3", "eac3", kBig, false},
    {"Opus", "opus", kBig, false},      {"fLaC", "flac", kBig, false},
    {"dvca", "pcm_s16le", kBig, false}, {"lpcJ", "ra_144", kBig, false},
    {"14_4", "ra_144", kBig, false},    {"28_8", "ra_288", kBig, false},
    {"cook", "cook", kBig, false},      {"sipr", "sipr", kBig, false},
    {"atrc", "atrac3", kBig, false},    {"dnet", "ac3", kBig, false},
    {"raac", "aac", kBig, false},       {"racp", "aac", kBig, false},
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The four bytes of a FourCC as stored, first byte in the low byte.
bool FourccIs(uint32_t fourcc, std::string_view text) {
    for (size_t i = 0; i < 4; ++i)
        if (static_cast<char>((fourcc >> (8 * i)) & 0xFF) != text[i]) return false;
    return true;
}

}  // namespace

std::string_view PcmCodecId(int bits, PcmLayout layout) {
    const int stored = (bits + 7) / 8 * 8;
    for (const PcmRow& row : kPcmCodecs)
        if (row.bits == stored && row.layout == layout) return row.id;
    return {};
}

std::string_view FormatTagCodecId(int tag, int bits) {
    if (tag == 1) return PcmCodecId(bits, bits <= 8 ? PcmLayout::kUnsigned : PcmLayout::kSignedLittle);
    if (tag == 3) return PcmCodecId(bits, PcmLayout::kFloatLittle);
    for (const auto& [key, id] : kFormatTagCodecs)
        if (key == tag) return id;
    return {};
}

std::string_view VideoFourccCodecId(std::string_view fourcc) {
    if (fourcc.size() != 4) return {};
    for (const auto& [key, id] : kVideoFourccCodecs)
        if (std::equal(key.begin(), key.end(), fourcc.begin(), [](char a, char b) { return a == Upper(b); }))
            return id;
    return {};
}

std::string_view SoundFourccCodecId(uint32_t fourcc, int bits, bool littleEndian) {
    for (const SoundRow& row : kSoundFourccCodecs) {
        if (!FourccIs(fourcc, row.fourcc)) continue;
        if (!row.id.empty()) return row.id;
        PcmLayout layout = row.layout;
        if (row.followsEnda && littleEndian)
            layout = layout == PcmLayout::kFloatBig ? PcmLayout::kFloatLittle : PcmLayout::kSignedLittle;
        // The sample size is part of the type for these.
        const int stored = FourccIs(fourcc, "in24") ? 24 : FourccIs(fourcc, "in32") ? 32
                           : row.fourcc[2] == '6'  ? 64
                           : row.fourcc[2] == '3'  ? 32
                           : layout == PcmLayout::kUnsigned ? 8 : bits;
        return PcmCodecId(stored, layout);
    }
    return {};
}

std::string_view LpcmCodecId(uint32_t flags, int bits) {
    const bool big = flags & 2;
    if (flags & 1) return PcmCodecId(bits, big ? PcmLayout::kFloatBig : PcmLayout::kFloatLittle);
    if (!(flags & 4) && bits == 8) return PcmCodecId(bits, PcmLayout::kUnsigned);
    return PcmCodecId(bits, big ? PcmLayout::kSignedBig : PcmLayout::kSignedLittle);
}

}  // namespace torvo
