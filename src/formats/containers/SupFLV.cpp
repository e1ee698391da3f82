#include "formats/containers/SupFLV.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string>

#include "base/NumberRange.h"
#include "base/Text.h"
#include "formats/containers/CodecHeaders.h"
#include "formats/containers/ContainerUtil.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

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
        case 5: return N_("Nellymoser 8KГц mono");
        case 6: return "Nellymoser";
        case 10: return "AAC";
        default: return "";
    }
}

// The codec id of a SoundFormat; PCM is named by its sample size (format 0
// is in the writer's byte order, little-endian on every machine that wrote FLV).
std::string_view SoundFormatCodecId(int format, int bits) {
    switch (format) {
        case 0:
        case 3: return PcmCodecId(bits, bits == 8 ? PcmLayout::kUnsigned : PcmLayout::kSignedLittle);
        case 1: return "adpcm_swf";
        case 2:
        case 14: return "mp3";
        case 4:
        case 5:
        case 6: return "nellymoser";
        case 7: return "pcm_alaw";
        case 8: return "pcm_mulaw";
        case 10: return "aac";
        case 11: return "speex";
        default: return {};
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

// AMF0 (the script data of onMetaData): the two numbers wanted from the
// top-level array or object, and a skipper for the values in between.
class AmfReader {
public:
    explicit AmfReader(ByteView bytes) : b_(bytes) {}

    // Reads "onMetaData" and its array or object; false when the tag holds something else.
    bool ReadMetaData(double& duration, double& frameRate) {
        if (b_.U8(0) != kString || b_.Be16(1) != 10 || !b_.Equals(3, "onMetaData")) return false;
        pos_ = 13;
        const uint8_t type = b_.U8(pos_++);
        if (type == kEcmaArray) pos_ += 4;
        else if (type != kObject) return false;
        for (int i = 0; i < kMaxEntries && b_.Has(pos_, 3); ++i) {
            const uint16_t nameLength = b_.Be16(pos_);
            if (nameLength == 0 && b_.U8(pos_ + 2) == kObjectEnd) break;
            const ByteView name = b_.Sub(pos_ + 2, nameLength);
            if (name.size() != nameLength) return true;
            pos_ += 2u + nameLength;
            const std::string_view key(reinterpret_cast<const char*>(name.data()), name.size());
            if (b_.U8(pos_) == kNumber && (key == "duration" || key == "framerate")) {
                const double value = std::bit_cast<double>(b_.Be64(pos_ + 1));
                (key == "duration" ? duration : frameRate) = std::isfinite(value) ? value : 0;
            }
            if (!SkipValue(0)) return true;
        }
        return true;
    }

private:
    enum : uint8_t {
        kNumber = 0, kBoolean = 1, kString = 2, kObject = 3, kNull = 5, kUndefined = 6, kReference = 7,
        kEcmaArray = 8, kObjectEnd = 9, kStrictArray = 10, kDate = 11, kLongString = 12,
    };
    static constexpr int kMaxEntries = 256, kMaxDepth = 4;

    bool SkipEntries(int depth) {
        for (int i = 0; i < kMaxEntries && b_.Has(pos_, 3); ++i) {
            const uint16_t nameLength = b_.Be16(pos_);
            if (nameLength == 0 && b_.U8(pos_ + 2) == kObjectEnd) {
                pos_ += 3;
                return true;
            }
            pos_ += 2u + nameLength;
            if (!SkipValue(depth + 1)) return false;
        }
        return false;
    }

    bool SkipValue(int depth) {
        if (depth > kMaxDepth || !b_.Has(pos_, 1)) return false;
        switch (b_.U8(pos_++)) {
            case kNumber: pos_ += 8; break;
            case kBoolean: pos_ += 1; break;
            case kString: pos_ += 2u + b_.Be16(pos_); break;
            case kLongString: pos_ += 4u + b_.Be32(pos_); break;
            case kNull:
            case kUndefined: break;
            case kReference: pos_ += 2; break;
            case kDate: pos_ += 10; break;
            case kObject: return SkipEntries(depth);
            case kEcmaArray: pos_ += 4; return SkipEntries(depth);
            case kStrictArray: {
                const uint32_t count = b_.Be32(pos_);
                pos_ += 4;
                for (uint32_t i = 0; i < count; ++i)
                    if (i >= uint32_t(kMaxEntries) || !SkipValue(depth + 1)) return false;
                break;
            }
            default: return false;
        }
        return pos_ <= b_.size();
    }

    ByteView b_;
    uint64_t pos_ = 0;
};

}  // namespace

CSupFLV::CSupFLV(AnalysisRecords& records, size_t audioSlot)
    : records_(records), audioSlot_(std::min(audioSlot, kMaxStreams - 1)) {}

CSupFLV::~CSupFLV() = default;

ReadStatus CSupFLV::ReadFile(CFileCache& reader) {
    records_.Stream(audioSlot_) = StreamInfo{};
    StreamInfo& audio = records_.Stream(audioSlot_);
    VideoInfo& video = records_.video;
    videoTags_ = 0;
    avcLengthSize_ = 0;
    metaDuration_ = metaFrameRate_ = 0;
    firstVideoTime_ = lastVideoTime_ = 0;
    audioTags_ = 0;
    firstAudioTime_ = lastAudioTime_ = 0;

    const uint64_t size = reader.LogicalLength();
    const ByteView header = reader.MapView(0, 9);
    const uint64_t headerSize = header.Be32(5);
    ReadStatus status;
    if (header.Equals(0, "FLV") && header.U8(3) == 1 && headerSize + 10 < size) {
        uint64_t position = headerSize, lastTag = headerSize;
        for (; position + 10 < size;) {
            const uint64_t tag = position + 4;  // after the previous tag's size
            const uint8_t type = reader.U8At(tag);
            const uint32_t length = reader.Be24At(tag + 1);
            // 24 bits of milliseconds, then the extension's upper 8 bits.
            const uint32_t timestamp = reader.Be24At(tag + 4) | uint32_t(reader.U8At(tag + 7)) << 24;
            const uint64_t data = tag + kTagHeaderSize;
            if (type == kTagAudio) {
                ReadAudioTag(reader, data, length, audio);
                if (audioTags_++ == 0) firstAudioTime_ = timestamp;
                lastAudioTime_ = timestamp;
            } else if (type == kTagVideo) {
                ReadVideoTag(reader, data, length, timestamp);
            } else if (type == kTagScript) {
                AmfReader(reader.MapView(data, std::min(length, CFileCache::kWindowSize)))
                    .ReadMetaData(metaDuration_, metaFrameRate_);
            } else {
                return ReadStatus::Damaged(tag, Format("tag of unknown type %u", type));
            }
            lastTag = tag;
            position = data + length;
        }
        // The tags end where the file does, less the size of the last one.
        if (position + 4 > size) status = CutShort(lastTag, "tag", position + 4 - lastTag, size - lastTag);
        else if (position + 4 < size) status = CutShort(position + 4, "tag header", kTagHeaderSize, size - position - 4);
    } else if (header.Equals(0, "FLV")) {
        status = ReadStatus::Truncated(0, "no tag after the file header");
    }

    if (audioAnalysis_) audioAnalysis_(audio);
    // The sound lasts from its first tag to the end of its last: one frame
    // of the codec, else the tags' average spacing.
    if (audioTags_ >= 2 && lastAudioTime_ > firstAudioTime_) {
        const int64_t span = lastAudioTime_ - firstAudioTime_;
        int64_t lastMs = span / (audioTags_ - 1);
        for (const AudioResult& r : audio.audio)
            if (r.codecClass > 0 && r.frameDurationUs > 0) lastMs = r.frameDurationUs / 1000;
        audio.stampedDurationMs = span + lastMs;
    }
    records_.container.videoPresent = true;

    // The frame rate the metadata states, else the spacing of the video tags.
    if (metaFrameRate_ > 0.5 && metaFrameRate_ < 1000)
        video.usPerFrame = static_cast<int32_t>(std::lround(1e6 / metaFrameRate_));
    else if (videoTags_ >= 2 && lastVideoTime_ > firstVideoTime_)
        video.usPerFrame = SaturatingInt32(uint64_t(lastVideoTime_ - firstVideoTime_) * 1000 /
                                           static_cast<uint64_t>(videoTags_ - 1));
    const int64_t frameMs = video.usPerFrame / 1000;
    // The last tag starts at its timestamp and lasts one frame: two frames at
    // 1 fps play for 2 s. The last tag is found through the size written after it.
    int64_t lastTagEnd = 0;
    if (size >= 4) {
        const uint32_t last = reader.Be32At(size - 4);
        if (last < size && last >= kTagHeaderSize)
            lastTagEnd = (reader.Be24At(size - last) | int64_t(reader.U8At(size - last + 3)) << 24) + frameMs;
    }
    if (videoTags_ > 0) video.durationMs = lastVideoTime_ - firstVideoTime_ + frameMs;
    else video.durationMs = lastTagEnd;
    if (video.durationMs > 0 && video.usPerFrame > 0)
        video.frameCount = (video.durationMs * 1000 + video.usPerFrame / 2) / video.usPerFrame;
    const double statedMs = metaDuration_ * 1000;
    records_.container.durationMs = statedMs >= 1 && statedMs < 9e15 ? static_cast<int64_t>(std::llround(statedMs))
                                                                     : std::max(lastTagEnd, video.durationMs);
    return status;
}

void CSupFLV::ReadAudioTag(CFileCache& reader, uint64_t data, uint32_t length, StreamInfo& audio) {
    records_.container.soundPresent = true;
    if (length == 0) return;
    const uint8_t flags = reader.U8At(data);
    audio.sampleRate = kFlvSampleRates[flags >> 2 & 3];
    audio.bitsPerSample = flags & 2 ? 16 : 8;
    audio.channels = flags & 1 ? 2 : 1;
    audio.codecName = std::string(SoundFormatName(flags >> 4));
    audio.codecId = std::string(SoundFormatCodecId(flags >> 4, audio.bitsPerSample));
    // AAC's flags always say 44 kHz stereo; its sequence header (packet type
    // 0) holds the AudioSpecificConfig that tells.
    constexpr uint8_t kSoundFormatAac = 10;
    if (flags >> 4 == kSoundFormatAac && length >= 4 && reader.U8At(data + 1) == 0) {
        SoundHeader config;
        if (ReadAudioSpecificConfig(reader.MapView(data + 2, std::min<uint32_t>(length - 2, 64)), config))
            SetConfigFormat(audio, config);
    }
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
    if (videoTags_++ == 0) firstVideoTime_ = timestamp;
    lastVideoTime_ = std::max(lastVideoTime_, timestamp);
    if (timestamp != 0) video.bitrateKbps = SaturatingInt32(uint64_t(video.data.Count()) * 8 / timestamp);
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
