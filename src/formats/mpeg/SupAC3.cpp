#include "formats/mpeg/SupAC3.h"

#include "base/PatternScan.h"

#include <array>

#include "formats/mpeg/AudioFrames.h"
#include "formats/mpeg/BitReader.h"
#include "base/Translate.h"

namespace torvo {
namespace {

// ATSC A/52 frame-size-code table: nominal kbit/s and 16-bit words per frame
// at 48, 44.1 and 32 kHz; code 38 stands for every invalid code.
struct FrameSize {
    int kbps;
    std::array<int, 3> words;
};
constexpr std::array<FrameSize, 39> kFrameSizes = {{
    {32, {64, 69, 96}},       {32, {64, 70, 96}},       {40, {80, 87, 120}},      {40, {80, 88, 120}},
    {48, {96, 104, 144}},     {48, {96, 105, 144}},     {56, {112, 121, 168}},    {56, {112, 122, 168}},
    {64, {128, 139, 192}},    {64, {128, 140, 192}},    {80, {160, 174, 240}},    {80, {160, 175, 240}},
    {96, {192, 208, 288}},    {96, {192, 209, 288}},    {112, {224, 243, 336}},   {112, {224, 244, 336}},
    {128, {256, 278, 384}},   {128, {256, 279, 384}},   {160, {320, 348, 480}},   {160, {320, 349, 480}},
    {192, {384, 417, 576}},   {192, {384, 418, 576}},   {224, {448, 487, 672}},   {224, {448, 488, 672}},
    {256, {512, 557, 768}},   {256, {512, 558, 768}},   {320, {640, 696, 960}},   {320, {640, 697, 960}},
    {384, {768, 835, 1152}},  {384, {768, 836, 1152}},  {448, {896, 975, 1344}},  {448, {896, 976, 1344}},
    {512, {1024, 1114, 1536}}, {512, {1024, 1115, 1536}}, {576, {1152, 1253, 1728}}, {576, {1152, 1254, 1728}},
    {640, {1280, 1393, 1920}}, {640, {1280, 1394, 1920}}, {-1, {-1, -1, -1}},
}};

constexpr std::array<int, 4> kSampleRates = {48000, 44100, 32000, 0};
constexpr std::array<int, 8> kChannels = {2, 1, 2, 3, 3, 4, 4, 5};
// By acmod * 2 + lfeon.
constexpr std::array<const char*, 16> kLayouts = {
    N_("два канала(1+1)"), N_("3 канала(1+1 .1)"), N_("моно (1/0)"),      N_("2 канала(1/0 .1)"),
    N_("стерео (2/0)"),    N_("3 канала(2/0 .1)"), N_("3 канала(3/0)"),   N_("4 канала(3/0 .1)"),
    N_("3 канала(2/1)"),   N_("4 канала(2/1 .1)"), N_("4 канала(3/1)"),   N_("5 канал.(3/1 .1)"),
    N_("4 канала(2/2)"),   N_("5 канал.(2/2 .1)"), N_("5 канал.(3/2)"),   N_("6 канал.(3/2 .1)"),
};
constexpr std::array<const char*, 8> kServices = {"CM", "ME", "VI", "HI", "D", "C", "E", "VO"};

// Syncs closer than this to the end are never tried: a whole frame of the
// largest size must be able to follow.
constexpr uint64_t kTail = 1924;

const FrameSize& SizeEntry(int frmsizecod) { return kFrameSizes[frmsizecod < 38 ? frmsizecod : 38]; }

}  // namespace

int CSupAC3::FrameBytes(int fscod, int frmsizecod) {
    if (fscod < 0 || fscod > 2 || frmsizecod < 0) return -2;
    return 2 * SizeEntry(frmsizecod).words[static_cast<size_t>(fscod)];
}

bool CSupAC3::Analyse(ByteView data, AudioResult& result) const {
    result = AudioResult{};
    if (data.size() <= kTail) return false;
    const uint64_t limit = data.size() - kTail;  // positions below this are tried
    static constexpr BytePattern kSyncWord = {{0, 0xFF, 0x0B}, {1, 0xFF, 0x77}};
    auto nextSync = [&](uint64_t from) { return FindPattern(data, kSyncWord, from, limit); };

    for (uint64_t r = nextSync(0); r != ByteView::npos;) {
        const int fscod = data.U8(r + 4) >> 6, frmsizecod = data.U8(r + 4) & 0x3F;
        const int bsmod = data.U8(r + 5) & 7;
        BitReader bits(data, r + 6);
        const unsigned acmod = bits.Bits(3);
        if ((acmod & 1) && acmod != 1) bits.Skip(2);  // cmixlev
        if (acmod & 4) bits.Skip(2);                  // surmixlev
        if (acmod == 2) bits.Skip(2);                 // dsurmod
        const unsigned lfeon = bits.Bits(1);
        const int size = FrameBytes(fscod, frmsizecod);

        const uint64_t from = size > 0 ? r + static_cast<uint64_t>(size) : r + 2;
        const uint64_t next = nextSync(from);
        if (next == ByteView::npos) break;
        if (size != 0 && static_cast<int64_t>(next) <= static_cast<int64_t>(r) + size + 8) {
            ++result.frameCount;
            result.channels = kChannels[acmod];
            result.channelModeText = kLayouts[acmod * 2 + lfeon];
            result.serviceText = kServices[static_cast<size_t>(bsmod)];
            result.bitrateKbps = SizeEntry(frmsizecod).kbps;
            result.lfe = static_cast<int32_t>(lfeon);
            result.sampleRate = kSampleRates[static_cast<size_t>(fscod)];
            StoreFrameEnd(result, result.frameCount, static_cast<uint64_t>(static_cast<int64_t>(r) + size));
        } else {
            ++result.breakCount;
        }
        r = next;
    }

    if (!EnoughFrames(result.frameCount, result.breakCount)) {
        result = AudioResult{};
        return false;
    }
    result.codecClass = kAudioClassAc3;
    result.rateMode = 1;
    result.frameDurationUs = 32000;
    return true;
}

}  // namespace torvo
