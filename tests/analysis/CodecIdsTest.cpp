// Codec ids as ffprobe spells them, from the sample layout each kind of
// container states (the ids checked here are those ffprobe gave for files
// of that layout).
#include <gtest/gtest.h>

#include "records/CodecIds.h"

namespace torvo {
namespace {

constexpr uint32_t Tag(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

TEST(CodecIds, SampleLayoutsAndCodes) {
    const struct {
        std::string_view got, expected;
    } cases[] = {
        {PcmCodecId(8, PcmLayout::kSignedBig), "pcm_s8"},          // AIFF, AU 8-bit
        {PcmCodecId(20, PcmLayout::kSignedLittle), "pcm_s24le"},   // 20 bits in three bytes
        {PcmCodecId(64, PcmLayout::kFloatBig), "pcm_f64be"},
        {PcmCodecId(36, PcmLayout::kSignedLittle), ""},           // no tool names 40-bit samples
        {FormatTagCodecId(1, 8), "pcm_u8"},                        // WAVE 8-bit is unsigned
        {FormatTagCodecId(1, 24), "pcm_s24le"},
        {FormatTagCodecId(3, 64), "pcm_f64le"},
        {FormatTagCodecId(0x31, 0), "gsm_ms"},
        {FormatTagCodecId(0x11, 4), "adpcm_ima_wav"},
        {FormatTagCodecId(0x1234, 16), ""},
        {SoundFourccCodecId(Tag("twos"), 8), "pcm_s8"},
        {SoundFourccCodecId(Tag("twos"), 16), "pcm_s16be"},
        {SoundFourccCodecId(Tag("sowt"), 16), "pcm_s16le"},
        {SoundFourccCodecId(Tag("raw "), 16), "pcm_u8"},
        {SoundFourccCodecId(Tag("in24"), 16), "pcm_s24be"},        // the type fixes the size
        {SoundFourccCodecId(Tag("in24"), 24, true), "pcm_s24le"},  // after an 'enda' of 1
        {SoundFourccCodecId(Tag("fl64"), 0), "pcm_f64be"},
        {SoundFourccCodecId(Tag("fl32"), 32, true), "pcm_f32le"},
        {SoundFourccCodecId(Tag("ima4"), 16), "adpcm_ima_qt"},
        {SoundFourccCodecId(Tag("GSM "), 16), "gsm"},
        {SoundFourccCodecId(Tag("QDM2"), 16), "qdm2"},
        {SoundFourccCodecId(Tag("samr"), 16), "amr_nb"},
        {SoundFourccCodecId(Tag("TWOS"), 16), ""},
        {LpcmCodecId(1 | 2, 64), "pcm_f64be"},
        {LpcmCodecId(4, 24), "pcm_s24le"},
        {LpcmCodecId(0, 8), "pcm_u8"},
        {VideoFourccCodecId("rpza"), "rpza"},
        {VideoFourccCodecId("apch"), "prores"},
        {VideoFourccCodecId("cvid"), "cinepak"},
        {VideoFourccCodecId("RV40"), "rv40"},
        {VideoFourccCodecId("png "), "png"},
        {VideoFourccCodecId("png"), ""},
    };
    for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << "case " << i;
}

}  // namespace
}  // namespace torvo
