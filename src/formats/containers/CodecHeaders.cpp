#include "formats/containers/CodecHeaders.h"

#include <algorithm>
#include <climits>

#include "formats/mpeg/BitReader.h"
#include "records/Records.h"

namespace torvo {

namespace {
constexpr int32_t kAacRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};
constexpr int32_t kAacChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};
}  // namespace

bool ReadVp8KeyFrame(ByteView frame, PictureHeader& out) {
    // Bit 0 of the frame tag is clear for a key frame.
    if (frame.size() < 10 || (frame.U8(0) & 1) || frame.Be24(3) != 0x9D012A) return false;
    out.width = frame.Le16(6) & 0x3FFF;
    out.height = frame.Le16(8) & 0x3FFF;
    return out.width > 0 && out.height > 0;
}

bool ReadVp9KeyFrame(ByteView frame, PictureHeader& out) {
    BitReader bits(frame);
    if (bits.Bits(2) != 2) return false;  // frame_marker
    const int low = static_cast<int>(bits.Bits(1)), high = static_cast<int>(bits.Bits(1));
    const int profile = high << 1 | low;
    if (profile == 3) bits.Skip(1);
    if (bits.Bit()) return false;  // show_existing_frame
    if (bits.Bit()) return false;  // frame_type 1: not a key frame
    bits.Skip(2);                  // show_frame, error_resilient_mode
    if (bits.Bits(24) != 0x498342) return false;
    int bitDepth = 8;
    if (profile >= 2) bitDepth = bits.Bit() ? 12 : 10;
    const unsigned colourSpace = bits.Bits(3);
    if (colourSpace != 7) {  // not sRGB
        bits.Skip(1);        // color_range
        if (profile == 1 || profile == 3) bits.Skip(3);
    } else if (profile == 1 || profile == 3) {
        bits.Skip(1);
    }
    out.width = static_cast<int32_t>(bits.Bits(16)) + 1;
    out.height = static_cast<int32_t>(bits.Bits(16)) + 1;
    out.profile = profile;
    out.bitDepth = bitDepth;
    return !bits.Exhausted();
}

namespace {
// AV1 4.10.3: a variable-length code of up to 32 leading zeros.
uint32_t Uvlc(BitReader& bits) {
    unsigned zeros = 0;
    while (!bits.Bit()) {
        if (++zeros >= 32 || bits.Exhausted()) return UINT32_MAX;
    }
    return zeros ? bits.Bits(zeros) + ((1u << zeros) - 1) : 0;
}

bool ParseAv1SequenceHeader(ByteView payload, PictureHeader& out) {
    BitReader bits(payload);
    const int profile = static_cast<int>(bits.Bits(3));
    bits.Skip(1);  // still_picture
    if (bits.Bit()) {
        bits.Skip(5);  // reduced_still_picture_header: seq_level_idx only
    } else {
        bool decoderModel = false;
        unsigned bufferDelayBits = 0;
        if (bits.Bit()) {  // timing_info
            bits.Skip(64);
            if (bits.Bit()) Uvlc(bits);
            decoderModel = bits.Bit();
            if (decoderModel) {
                bufferDelayBits = bits.Bits(5) + 1;
                bits.Skip(32 + 5 + 5);
            }
        }
        const bool initialDisplayDelay = bits.Bit();
        const unsigned operatingPoints = bits.Bits(5) + 1;
        for (unsigned i = 0; i < operatingPoints && !bits.Exhausted(); ++i) {
            bits.Skip(12);
            if (bits.Bits(5) > 7) bits.Skip(1);  // seq_tier
            if (decoderModel && bits.Bit()) bits.Skip(2 * bufferDelayBits + 1);
            if (initialDisplayDelay && bits.Bit()) bits.Skip(4);
        }
    }
    const unsigned widthBits = bits.Bits(4) + 1, heightBits = bits.Bits(4) + 1;
    out.width = static_cast<int32_t>(bits.Bits(widthBits)) + 1;
    out.height = static_cast<int32_t>(bits.Bits(heightBits)) + 1;
    out.profile = profile;
    return !bits.Exhausted();
}
}  // namespace

bool ReadAv1SequenceHeader(ByteView obus, PictureHeader& out) {
    constexpr int kSequenceHeader = 1, kMaxObus = 64;
    uint64_t pos = 0;
    for (int n = 0; n < kMaxObus && pos < obus.size(); ++n) {
        const uint8_t header = obus.U8(pos);
        const int type = header >> 3 & 0x0F;
        uint64_t at = pos + 1 + (header >> 2 & 1);  // an extension byte follows when flagged
        if (!(header & 2)) {                        // no size field: the OBU runs to the end
            return type == kSequenceHeader && ParseAv1SequenceHeader(obus.From(at), out);
        }
        uint64_t size = 0;
        for (int i = 0; i < 8; ++i) {  // leb128
            const uint8_t b = obus.U8(at++);
            size |= uint64_t(b & 0x7F) << (7 * i);
            if (!(b & 0x80)) break;
        }
        if (!obus.Has(at, size)) return false;
        if (type == kSequenceHeader) return ParseAv1SequenceHeader(obus.Sub(at, size), out);
        pos = at + size;
    }
    return false;
}

bool ReadTheoraIdentification(ByteView h, PictureHeader& out) {
    if (h.size() < 34 || h.U8(0) != 0x80 || !h.Equals(1, "theora")) return false;
    out.width = static_cast<int32_t>(h.Be24(14));
    out.height = static_cast<int32_t>(h.Be24(17));
    out.frameRateNumerator = static_cast<int32_t>(h.Be32(22) & 0x7FFFFFFF);
    out.frameRateDenominator = static_cast<int32_t>(h.Be32(26) & 0x7FFFFFFF);
    return out.width > 0 && out.height > 0;
}

bool ReadVorbisIdentification(ByteView h, SoundHeader& out) {
    if (h.size() < 30 || h.U8(0) != 0x01 || !h.Equals(1, "vorbis") || h.Le32(7) != 0) return false;
    out.channels = h.U8(11);
    out.sampleRate = static_cast<int32_t>(h.Le32(12) & 0x7FFFFFFF);
    const auto nominal = static_cast<int32_t>(h.Le32(20));
    if (nominal > 0) out.bitrateKbps = (nominal + 500) / 1000;
    return out.channels > 0 && out.sampleRate > 0;
}

bool ReadOpusHead(ByteView h, SoundHeader& out) {
    if (h.size() < 19 || !h.Equals(0, "OpusHead")) return false;
    out.channels = h.U8(9);
    out.sampleRate = 48000;
    return out.channels > 0;
}

bool ReadFlacStreamInfo(ByteView h, SoundHeader& out) {
    // With the signature: "fLaC", then a metadata block header (type 0, length 34).
    ByteView info = h;
    if (h.Equals(0, "fLaC")) {
        if ((h.U8(4) & 0x7F) != 0) return false;
        info = h.Sub(8, 34);
    }
    if (info.size() < 18) return false;
    const uint32_t packed = info.Be32(10);  // rate (20 bits), channels - 1 (3), bits - 1 (5 of 8 here)
    out.sampleRate = static_cast<int32_t>(packed >> 12);
    out.channels = static_cast<int32_t>((packed >> 9 & 7) + 1);
    out.bitsPerSample = static_cast<int32_t>((packed >> 4 & 0x1F) + 1);
    return out.sampleRate > 0;
}

bool ReadAlacCookie(ByteView cookie, SoundHeader& out) {
    // Atoms that may come first: "frma" (12 bytes) and the "alac" atom's
    // size, type, version and flags (12 bytes before the configuration).
    constexpr uint32_t kFrma = 0x66726D61, kAlac = 0x616C6163;
    constexpr uint64_t kConfigSize = 24;
    uint64_t at = 0;
    if (cookie.Be32(at + 4) == kFrma && cookie.Be32(at) == 12) at += 12;
    if (cookie.Be32(at + 4) == kAlac && cookie.Be32(at) >= 12 + kConfigSize) at += 12;
    // frameLength (4), compatibleVersion 0, bitDepth, three tuning bytes,
    // numChannels, maxRun (2), maxFrameBytes (4), avgBitRate (4), sampleRate (4).
    if (!cookie.Has(at, kConfigSize) || cookie.U8(at + 4) != 0) return false;
    const int depth = cookie.U8(at + 5);
    if (depth != 16 && depth != 20 && depth != 24 && depth != 32) return false;
    out.bitsPerSample = depth;
    out.channels = cookie.U8(at + 9);
    out.sampleRate = static_cast<int32_t>(std::min<uint32_t>(cookie.Be32(at + 20), INT32_MAX));
    return true;
}

void SetConfigFormat(StreamInfo& sound, const SoundHeader& config) {
    if (config.sampleRate > 0) sound.configSampleRate = config.sampleRate;
    if (config.channels > 0) sound.configChannels = config.channels;
}

bool ReadAudioSpecificConfig(ByteView config, SoundHeader& out) {
    BitReader bits(config);
    auto objectTypeOf = [&bits] {
        const unsigned type = bits.Bits(5);
        return type == 31 ? 32 + bits.Bits(6) : type;
    };
    auto rateOf = [&bits] {
        const unsigned index = bits.Bits(4);
        return index == 15 ? static_cast<int32_t>(bits.Bits(24)) : index < 13 ? kAacRates[index] : 0;
    };
    constexpr unsigned kSbr = 5, kPs = 29;
    unsigned objectType = objectTypeOf();
    const int32_t rate = rateOf();
    const unsigned configuration = bits.Bits(4);
    if (config.size() < 2 || objectType == 0 || rate <= 0) return false;
    out.sampleRate = rate;
    out.channels = configuration < 8 ? kAacChannels[configuration] : 0;
    // HE-AAC signalled explicitly: the output rate follows, then the core's type.
    int32_t outputRate = 0;
    bool ps = false;
    if (objectType == kSbr || objectType == kPs) {
        ps = objectType == kPs;
        outputRate = rateOf();
        objectType = objectTypeOf();
    } else if (configuration != 0 && (objectType == 2 || objectType == 4)) {
        // Backward-compatible signalling: after the core's GASpecificConfig
        // (frame length, core coder, extension flags) a sync extension may follow.
        bits.Skip(1);
        if (bits.Bit()) bits.Skip(14);
        bits.Skip(1);
        if (config.size() * 8 >= bits.BitPosition() + 16 && bits.Bits(11) == 0x2B7 && objectTypeOf() == kSbr &&
            bits.Bit()) {
            outputRate = rateOf();
            if (config.size() * 8 >= bits.BitPosition() + 12 && bits.Bits(11) == 0x548) ps = bits.Bit();
        }
    }
    if (outputRate > 0) out.sampleRate = outputRate;
    // Parametric stereo makes two channels of a mono core.
    if (ps && out.channels == 1) out.channels = 2;
    out.spectralBandReplication = outputRate > 0;
    out.parametricStereo = ps;
    return true;
}

std::vector<ByteView> SplitXiphLacing(ByteView laced, size_t maxPackets) {
    std::vector<ByteView> packets;
    const size_t count = laced.U8(0) + 1u;
    if (laced.empty() || count > maxPackets) return {};
    std::vector<uint64_t> sizes;
    uint64_t pos = 1;
    for (size_t i = 0; i + 1 < count; ++i) {
        uint64_t size = 0;
        uint8_t b = 0;
        do {
            if (!laced.Has(pos, 1)) return {};
            b = laced.U8(pos++);
            size += b;
        } while (b == 255);
        sizes.push_back(size);
    }
    for (const uint64_t size : sizes) {
        if (!laced.Has(pos, size)) return {};
        packets.push_back(laced.Sub(pos, size));
        pos += size;
    }
    packets.push_back(laced.From(pos));
    return packets;
}

}  // namespace torvo
