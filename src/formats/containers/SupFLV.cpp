#include "formats/containers/SupFLV.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/NumberRange.h"
#include "formats/containers/ContainerUtil.h"

namespace torvo {

namespace {

constexpr uint8_t kTagAudio = 8, kTagVideo = 9, kTagScript = 18;
constexpr uint32_t kTagHeaderSize = 11;  // type, data size, timestamp, extended timestamp, stream id
constexpr int32_t kFlvSampleRates[4] = {5500, 11000, 22050, 44100};

enum FlvVideoCodec : int { kSorenson = 2, kScreen = 3, kVp6 = 4, kVp6Alpha = 5, kScreen2 = 6, kAvc = 7 };

std::string_view SoundFormatName(int format) {
    switch (format) {
        case 0: return "uncompressed";
        case 1: return "ADPCM";
        case 2: return "MP3";
        case 5: return "Nellymoser 8KГц mono";
        case 6: return "Nellymoser";
        case 10: return "AAC";
        default: return "";
    }
}

struct PictureSize {
    bool known = false;
    int32_t width = 0, height = 0;
};

// The picture size from the first bytes after a video tag's flags byte.
PictureSize ReadPictureSize(int codec, int frameType, ByteView b) {
    switch (codec) {
        case kSorenson: {
            // Sorenson H.263 picture header: 17-bit start code, version, temporal reference, size code.
            const int code = (b.U8(3) & 3) * 2 + (b.U8(4) >> 7);
            static constexpr std::array<PictureSize, 8> kFixed = {{{true, 0, 0},
                                                                    {true, 0, 0},
                                                                    {true, 352, 288},
                                                                    {true, 176, 144},
                                                                    {true, 128, 96},
                                                                    {true, 320, 240},
                                                                    {true, 160, 120},
                                                                    {true, 0, 0}}};
            if (code == 0)
                return {true, (b.U8(4) & 0x7F) * 2 + (b.U8(5) >> 7), (b.U8(5) & 0x7F) * 2 + (b.U8(6) >> 7)};
            if (code == 1)
                return {true, (b.U8(4) & 0x7F) * 512 + b.U8(5) * 2 + (b.U8(6) >> 7),
                        (b.U8(6) & 0x7F) * 512 + b.U8(7) * 2 + (b.U8(8) >> 7)};
            return kFixed[static_cast<size_t>(code)];
        }
        case kVp6:
            if (frameType == 1) return {true, b.U8(4) * 16, b.U8(3) * 16};
            return {};
        case kVp6Alpha:
            if (frameType == 1) return {true, b.U8(7) * 16, b.U8(6) * 16};
            return {};
        case kScreen:
        case kScreen2: return {true, b.Be16(0) & 0x0FFF, b.Be16(2) & 0x0FFF};
        default: return {};
    }
}

}  // namespace

CSupFLV::CSupFLV(AnalysisRecords& records, size_t audioSlot)
    : records_(records), audioSlot_(std::min(audioSlot, kMaxStreams - 1)) {}

CSupFLV::~CSupFLV() = default;

bool CSupFLV::ReadFile(CFileCache& reader) {
    records_.Stream(audioSlot_) = StreamInfo{};
    StreamInfo& audio = records_.Stream(audioSlot_);
    VideoInfo& video = records_.video;
    videoTags_ = 0;
    avcLengthSize_ = 0;

    const uint64_t size = reader.LogicalLength();
    const ByteView header = reader.MapView(0, 9);
    const uint64_t headerSize = header.Be32(5);
    if (header.Equals(0, "FLV") && header.U8(3) == 1 && headerSize + 10 < size) {
        for (uint64_t position = headerSize; position + 10 < size;) {
            const uint64_t tag = position + 4;  // after the previous tag's size
            const uint8_t type = reader.U8At(tag);
            const uint32_t length = reader.Be24At(tag + 1);
            const uint32_t timestamp = reader.Be24At(tag + 4);
            const uint64_t data = tag + kTagHeaderSize;
            if (type == kTagAudio) {
                ReadAudioTag(reader, data, length, audio);
            } else if (type == kTagVideo) {
                ReadVideoTag(reader, data, length, timestamp);
            } else if (type != kTagScript) {
                return false;
            }
            position = data + length;
        }
    }

    if (audioAnalysis_) audioAnalysis_(audio);
    records_.container.videoPresent = true;

    // The duration is the timestamp of the last tag, found through the size
    // written after it.
    if (size >= 4) {
        const uint32_t last = reader.Be32At(size - 4);
        if (last < size) video.durationMs = reader.Be24At(size - last);
    }
    if (video.durationMs > 0 && video.usPerFrame > 0) video.frameCount = video.durationMs * 1000 / video.usPerFrame;
    return true;
}

void CSupFLV::ReadAudioTag(CFileCache& reader, uint64_t data, uint32_t length, StreamInfo& audio) {
    records_.container.soundPresent = true;
    if (length == 0) return;
    const uint8_t flags = reader.U8At(data);
    audio.sampleRate = kFlvSampleRates[flags >> 2 & 3];
    audio.bitsPerSample = flags & 2 ? 16 : 8;
    audio.channels = flags & 1 ? 2 : 1;
    audio.codecName = std::string(SoundFormatName(flags >> 4));
    AppendFromReader(reader, data + 1, length - 1, audio.data);
}

void CSupFLV::ReadVideoTag(CFileCache& reader, uint64_t data, uint32_t length, uint32_t timestamp) {
    VideoInfo& video = records_.video;
    if (length > 0) {
        const uint8_t flags = reader.U8At(data);
        const int codec = flags & 0x0F;
        video.flvCodecId = codec;
        if (codec == kAvc) {
            ReadAvcPacket(reader, data + 1, length - 1);
        } else {
            std::array<uint8_t, 16> first{};
            reader.ReadAt(data + 1, first.data(), std::min<size_t>(length - 1, first.size()));
            AppendFromReader(reader, data + 1, length - 1, video.data);
            const PictureSize picture = ReadPictureSize(codec, flags >> 4, ByteView(first.data(), first.size()));
            if (picture.known) {
                video.width = picture.width;
                video.height = picture.height;
            }
        }
    }
    ++videoTags_;
    if (timestamp != 0) {
        video.bitrateKbps = SaturatingInt32(uint64_t(video.data.Count()) * 8 / timestamp);
        video.usPerFrame = SaturatingInt32(uint64_t(timestamp) * 1000 / static_cast<uint64_t>(videoTags_));
    }
}

void CSupFLV::ReadAvcPacket(CFileCache& reader, uint64_t data, uint32_t length) {
    // Packet type, 24-bit composition time, then the configuration record or
    // length-prefixed NAL units (ISO/IEC 14496-15).
    constexpr uint32_t kAvcHeader = 4;
    if (length <= kAvcHeader) return;
    const uint8_t packetType = reader.U8At(data);
    const uint32_t bodyLength = length - kAvcHeader;
    ElementaryBuffer& out = records_.video.data;
    if (bodyLength > out.Room()) return;
    std::string body;
    if (!ReadExactly(reader, data + kAvcHeader, bodyLength, body)) return;
    const ByteView bytes(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    if (packetType == 0) {
        avcLengthSize_ = AppendAvcConfig(bytes, out);
    } else if (packetType == 1) {
        // Without a sequence header, four-byte prefixes are by far the usual ones.
        AppendAvcSample(bytes, avcLengthSize_ ? avcLengthSize_ : 4, out);
    }
}

}  // namespace torvo
