// Codec ids as other media tools spell them ("pcm_s16be", "adpcm_ima_qt",
// "rv20"), so that a script can compare what this program reports with
// theirs. One table per way a file names its codec: the layout of PCM
// samples, the WAVEFORMATEX tag, and the four-character codes of video
// codecs and of sound sample entries (QuickTime, AIFF-C, RealAudio).
#pragma once

#include <cstdint>
#include <string_view>

namespace torvo {

// How PCM samples are stored.
enum class PcmLayout : uint8_t { kSignedLittle, kSignedBig, kUnsigned, kFloatLittle, kFloatBig };

// The id of PCM samples of `bits` bits (rounded up to whole bytes, as they
// are stored); empty for sizes no tool names (over 64 bits, or 36).
std::string_view PcmCodecId(int bits, PcmLayout layout);

// The id of a WAVEFORMATEX format tag (the SubFormat's tag for
// WAVE_FORMAT_EXTENSIBLE); PCM and IEEE float are named by `bits`,
// little-endian, and 8-bit integer PCM is unsigned.
std::string_view FormatTagCodecId(int tag, int bits);

// The id of a video codec's FourCC, compared without regard to case;
// empty when not known.
std::string_view VideoFourccCodecId(std::string_view fourcc);

// The id of a sound sample entry or compression type, compared exactly
// (QuickTime tells 'ulaw' and 'ULAW' alike but 'twos' from 'TWOS' not).
// The PCM types are named by `bits`; `littleEndian` is what an 'enda' atom
// says for the types that follow it (in24, in32, fl32, fl64).
std::string_view SoundFourccCodecId(uint32_t fourcc, int bits, bool littleEndian = false);

// The id of a QuickTime 'lpcm' entry by its format flags (bit 0 float, bit 1
// big-endian, bit 2 signed integer).
std::string_view LpcmCodecId(uint32_t flags, int bits);

}  // namespace torvo
