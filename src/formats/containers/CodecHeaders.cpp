#include "formats/containers/CodecHeaders.h"

#include "formats/mpeg/BitReader.h"

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

bool ReadAudioSpecificConfig(ByteView config, SoundHeader& out) {
    BitReader bits(config);
    unsigned objectType = bits.Bits(5);
    if (objectType == 31) objectType = 32 + bits.Bits(6);
    const unsigned index = bits.Bits(4);
    const int32_t rate = index == 15 ? static_cast<int32_t>(bits.Bits(24)) : index < 13 ? kAacRates[index] : 0;
    const unsigned configuration = bits.Bits(4);
    if (config.size() < 2 || objectType == 0 || rate <= 0) return false;
    out.sampleRate = rate;
    out.channels = configuration < 8 ? kAacChannels[configuration] : 0;
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
