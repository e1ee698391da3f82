// The first bytes of codecs that have no parser of their own here, read for
// their picture size or sound format: VP8 and VP9 key frames, the AV1
// sequence header, the Theora,
// Vorbis, Opus and FLAC stream headers, ALAC's magic cookie, AAC's AudioSpecificConfig, and the
// three-part Xiph lacing that Matroska keeps the Xiph headers in.
#pragma once

#include <cstdint>
#include <vector>

#include "base/ByteView.h"

namespace torvo {

struct PictureHeader {
    int32_t width = 0, height = 0;
    int32_t frameRateNumerator = 0, frameRateDenominator = 0;  // Theora only
    int32_t profile = -1, bitDepth = 0;                         // VP9 only
};

struct StreamInfo;

struct SoundHeader {
    int32_t sampleRate = 0, channels = 0, bitsPerSample = 0, bitrateKbps = 0;
    bool spectralBandReplication = false, parametricStereo = false;  // HE-AAC (v2)
};

// A VP8 key frame (RFC 6386 9.1): the start code and the 14-bit sizes.
bool ReadVp8KeyFrame(ByteView frame, PictureHeader& out);
// A VP9 key frame's uncompressed header up to the frame size.
bool ReadVp9KeyFrame(ByteView frame, PictureHeader& out);
// The first sequence header OBU (AV1 5.5) among low-overhead OBUs: the
// maximum frame size and the profile.
bool ReadAv1SequenceHeader(ByteView obus, PictureHeader& out);
// Theora's identification header (0x80 "theora").
bool ReadTheoraIdentification(ByteView header, PictureHeader& out);

// Vorbis identification header (0x01 "vorbis").
bool ReadVorbisIdentification(ByteView header, SoundHeader& out);
// "OpusHead": channels; Opus always decodes at 48 kHz.
bool ReadOpusHead(ByteView header, SoundHeader& out);
// "fLaC" and the STREAMINFO block, or the STREAMINFO block's body alone.
bool ReadFlacStreamInfo(ByteView header, SoundHeader& out);
// Apple Lossless's magic cookie (ALACSpecificConfig: the source's bit
// depth, channels and rate), bare or inside its "frma" and "alac" atoms, as
// a CAF "kuki" chunk or an MP4 "alac" box holds it.
bool ReadAlacCookie(ByteView cookie, SoundHeader& out);
// The channels and rate a codec's own configuration states, as the stream's
// typed facts where the container's fields may say otherwise (none for 0).
void SetConfigFormat(StreamInfo& sound, const SoundHeader& config);
// AudioSpecificConfig (ISO/IEC 14496-3 1.6.2.1): sampling frequency and
// channels, as decoded: HE-AAC's output rate and parametric stereo's two channels.
bool ReadAudioSpecificConfig(ByteView config, SoundHeader& out);

// The packets of a Xiph-laced block (a count, then 255-run sizes, the last
// one taking the rest); empty when the sizes do not fit or there are more
// than maxPackets (the three stream headers of Vorbis and Theora by default).
std::vector<ByteView> SplitXiphLacing(ByteView laced, size_t maxPackets = 8);

}  // namespace torvo
