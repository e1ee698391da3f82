#include "formats/mpeg/SupDTS.h"
#include "base/Translate.h"

#include <array>

namespace torvo {
namespace {

constexpr std::array<int, 16> kSampleRates = {0,     8000, 16000, 32000, 0, 0, 11025, 22050,
                                              44100, 0,    0,     12000, 24000, 48000, 0, 0};
constexpr std::array<int, 32> kBitrates = {
    32000,   56000,   64000,   96000,   112000,  128000,  192000,  224000,  256000,  320000,  384000,
    448000,  512000,  576000,  640000,  768000,  960000,  1024000, 1152000, 1280000, 1344000, 1408000,
    1411200, 1472000, 1536000, 1920000, 2048000, 3072000, 3840000, 0,       0,       0};
constexpr std::array<int, 16> kChannels = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
constexpr std::array<const char*, 16> kArrangements = {
    N_("монофония "),
    N_("два  моно"),
    N_("стерео"),
    N_("(Л+П), (Л-П)"),
    "LT + RT",
    "C + L + R",
    "L + R + S",
    "C + L + R + S",
    "L + R + SL + SR",
    "C + L + R + SL + SR",
    "CL + CR + L + R + SL + SR",
    "C + L + R + LR + RR + OV",
    "CF + CR + LF + RF + LR + RR",
    "CL + C + CR + L + R + SL + SR",
    "CL + CR + L + R + SL1 + SL2 + SR1 + SR2",
    "CL + C + CR + L + R + SL + S + SR",
};

}  // namespace

bool CSupDTS::Analyse(ByteView data, AudioResult& result) const {
    if (data.Be32(0) != 0x7FFE8001) return false;
    const uint8_t b7 = data.U8(7), b8 = data.U8(8), b9 = data.U8(9);
    const size_t amode = static_cast<size_t>((b7 & 0x0F) << 2 | b8 >> 6);
    const size_t sfreq = (b8 >> 2) & 0x0F;
    const size_t rate = static_cast<size_t>((b8 & 3) << 3 | b9 >> 5);
    result.bitrateKbps = kBitrates[rate] / 1000;
    result.sampleRate = kSampleRates[sfreq];
    result.channels = amode < kChannels.size() ? kChannels[amode] : 0;
    // LFF, two bits after the rate and seven flag bits: a low-frequency channel.
    result.lfe = ((data.U8(10) >> 1) & 3) != 0 ? 1 : 0;
    result.channelModeText = amode < kArrangements.size() ? kArrangements[amode] : N_("пользователя");
    result.codecClass = kAudioClassDts;
    return true;
}

}  // namespace torvo
