#include "formats/containers/SupWav.h"

#include <algorithm>
#include <cinttypes>

#include "base/NumberRange.h"
#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "base/Translate.h"

namespace torvo {

namespace {

constexpr uint64_t kObjectHeaderSize = 24;  // GUID and 64-bit size
constexpr uint32_t kMaxObjects = 1024;
constexpr int kMaxDepth = 2;  // objects inside the header extension, and one stream object inside those
constexpr size_t kMaxMetadataName = 32;
constexpr size_t kMaxMetadataText = 64;
// 100-ns units from 1601-01-01 to 1970-01-01, in seconds.
constexpr int64_t kSeconds1601To1970 = 11644473600;

AsfGuid GuidAt(ByteView bytes, uint64_t pos) {
    AsfGuid guid{};
    bytes.Copy(pos, guid.data(), guid.size());
    return guid;
}

// A little-endian integer of up to eight bytes.
uint64_t LittleEndianValue(ByteView data) {
    uint64_t value = 0;
    for (size_t i = std::min<size_t>(data.size(), 8); i-- > 0;) value = value << 8 | data.U8(i);
    return value;
}

// A header object: its GUID and the range of its body.
struct Object {
    AsfGuid guid{};
    uint64_t body = 0, bodySize = 0;
};

// The object at position, when its size is sound and it fits in what its parent has left.
bool ObjectAt(CFileCache& reader, uint64_t position, uint64_t end, Object& object) {
    if (position > end || end - position < kObjectHeaderSize) return false;
    const ByteView head = reader.MapView(position, kObjectHeaderSize);
    const uint64_t size = head.Le64(16);
    if (head.empty() || size < kObjectHeaderSize || size > end - position) return false;
    object.guid = GuidAt(head, 0);
    object.body = position + kObjectHeaderSize;
    object.bodySize = size - kObjectHeaderSize;
    return true;
}

}  // namespace

CSupWav::CSupWav(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupWav::~CSupWav() = default;

ReadStatus CSupWav::CheckTopLevel() const {
    // The Header, Data and index objects follow each other to the end of the file.
    const uint64_t length = reader_.LogicalLength();
    uint64_t position = 0;
    bool data = false;
    for (uint32_t i = 0; i < kMaxObjects && position < length; ++i) {
        const uint64_t left = length - position;
        if (left < kObjectHeaderSize) return CutShort(position, "object header", kObjectHeaderSize, left);
        const ByteView head = reader_.MapView(position, kObjectHeaderSize);
        const AsfGuid guid = GuidAt(head, 0);
        const uint64_t size = head.Le64(16);
        const std::string name = guid == asf::kHeader ? "Header object" : guid == asf::kData ? "Data object" : "object";
        if (size < kObjectHeaderSize) return ReadStatus::Damaged(position, name + " is smaller than its header");
        if (size > left) return CutShort(position, name, size, left);
        data = data || guid == asf::kData;
        position += size;
    }
    // Every file has a Data object after its header.
    if (!data) return ReadStatus::Truncated(length, "no Data object before the end of the file");
    return ReadStatus::Ok();
}

ReadStatus CSupWav::ReadHeader() {
    const ByteView head = reader_.MapView(0, 30);
    headerRead_ = false;
    if (GuidAt(head, 0) != asf::kHeader || head.U8(29) != 2) return ReadStatus::Ok();
    headerRead_ = true;
    const uint64_t length = reader_.LogicalLength();
    const uint64_t headerSize = head.Le64(16);
    const uint32_t count = head.Le32(24);
    // A header cut short by the end of the file is walked as far as it goes.
    const uint64_t end = std::min(headerSize, length);
    uint64_t position = 30;
    Object object;
    for (uint32_t i = 0; i < count && i < kMaxObjects && ObjectAt(reader_, position, end, object); ++i) {
        Dispatch(object.guid, object.body, object.bodySize, 0);
        position = object.body + object.bodySize;
    }
    // Without an average time per frame the video's presentation times in
    // the first data packets give the frame period.
    if (videoFilled_ && streams_[videoStream_].timePerFrame == 0 && headerSize < length)
        ReadPayloadTimes(headerSize, length);
    Finish();
    return CheckTopLevel();
}

void CSupWav::Dispatch(const AsfGuid& guid, uint64_t body, uint64_t bodySize, int depth) {
    if (guid == asf::kHeaderExtension) {
        ReadHeaderExtension(body, bodySize, depth);
        return;
    }
    const ByteView bytes =
        reader_.MapView(body, static_cast<uint32_t>(std::min<uint64_t>(bodySize, CFileCache::kWindowSize)));
    if (bytes.size() != std::min<uint64_t>(bodySize, CFileCache::kWindowSize)) return;
    if (guid == asf::kFileProperties) ReadFileProperties(bytes);
    else if (guid == asf::kStreamProperties) ReadStreamProperties(bytes);
    else if (guid == asf::kCodecList) ReadCodecList(bytes);
    else if (guid == asf::kStreamBitrateProperties) ReadStreamBitrates(bytes);
    else if (guid == asf::kExtendedStreamProperties) ReadExtendedStreamProperties(bytes, body, depth);
    else if (guid == asf::kMetadata) ReadMetadata(bytes);
    else if (guid == asf::kContentDescription) ReadContentDescription(bytes);
}

void CSupWav::ReadFileProperties(ByteView body) {
    if (body.size() < kFilePropertiesSize) return;
    body.Copy(0, fileProperties_.data(), kFilePropertiesSize);
    ContainerInfo& container = records_.container;
    container.declaredLength = body.Le64(16);
    const int64_t created = static_cast<int64_t>(body.Le64(24) / 10000000) - kSeconds1601To1970;
    container.creationTime = IsShowableTime(created) ? created : 0;
    container.playDurationMs = static_cast<int64_t>((body.Le64(40) + 5) / 10 / 1000);
    // The play duration counts the preroll (milliseconds) before the first
    // presentation time; what plays is the rest.
    const uint64_t preroll = body.Le64(56);
    if (uint64_t(container.playDurationMs) > preroll)
        container.durationMs = container.playDurationMs - static_cast<int64_t>(preroll);
    const uint32_t flags = body.Le32(64);
    broadcast_ = flags & 1;
    seekable_ = flags & 2;
    packetSize_ = body.Le32(68);
    container.bitrateKbps = static_cast<int32_t>(body.Le32(76) / 1000);
}

void CSupWav::ReadStreamProperties(ByteView body) {
    if (body.size() < 80) return;
    const AsfGuid type = GuidAt(body, 0);
    const uint32_t specificLength = body.Le32(40);
    const uint16_t flags = body.Le16(48);
    const unsigned number = flags & 0x7F;
    const ByteView specific = body.Sub(54, std::min<uint64_t>(specificLength, body.size() - 54));
    StreamEntry& stream = streams_[number];
    stream.kind = asf::StreamKindName(type);
    stream.encrypted = flags & 0x8000;

    ContainerInfo& container = records_.container;
    if (type == asf::kAudioMedia) {
        if (static_cast<size_t>(container.audioCount) < kMaxAudioStreams && specific.size() >= 18) {
            StreamInfo& audio = records_.Stream(static_cast<size_t>(container.audioCount));
            audio.formatTag = specific.Le16(0);
            audio.channels = specific.Le16(2);
            audio.sampleRate = static_cast<int32_t>(std::min<uint32_t>(specific.Le32(4), INT32_MAX));
            audio.bitrateKbps = static_cast<int32_t>(uint64_t(specific.Le32(8)) * 8 / 1000);
            audio.bitsPerSample = specific.Le16(14);
            audio.sourceKind = kSourceContainerSound;
            audio.streamId = static_cast<int32_t>(number);
        }
        ++container.audioCount;
        container.soundPresent = true;
    } else if (type == asf::kVideoMedia) {
        if (!videoFilled_ && specific.size() > 50) {
            VideoInfo& video = records_.video;
            // Encoded width and height, then a BITMAPINFOHEADER after flags and its size.
            video.width = static_cast<int32_t>(std::min<uint32_t>(specific.Le32(0), INT32_MAX));
            video.height = static_cast<int32_t>(std::min<uint32_t>(specific.Le32(4), INT32_MAX));
            video.fourcc = specific.Le32(27);
            videoFilled_ = true;
            videoStream_ = number;
        }
        ++container.videoCount;
        container.videoPresent = true;
    }
}

void CSupWav::ReadHeaderExtension(uint64_t body, uint64_t bodySize, int depth) {
    if (bodySize < 22 || depth >= kMaxDepth) return;
    // Reserved GUID and 16-bit value, then the size of the nested objects.
    const uint64_t dataSize = reader_.MapView(body + 18, 4).Le32(0);
    const uint64_t start = body + 22;
    const uint64_t end = start + std::min(dataSize, bodySize - 22);
    Object object;
    uint64_t position = start;
    for (uint32_t i = 0; i < kMaxObjects && end - position > kObjectHeaderSize &&
                         ObjectAt(reader_, position, end, object);
         ++i) {
        Dispatch(object.guid, object.body, object.bodySize, depth + 1);
        position = object.body + object.bodySize;
    }
}

void CSupWav::ReadCodecList(ByteView body) {
    const uint32_t count = body.Le32(16);
    uint64_t pos = 20;
    auto text = [&](uint16_t chars, std::string& out) {
        const ByteView units = body.Sub(pos, 2ull * chars);
        out = Utf16LeToUtf8(units, kMaxCodecText);
        pos += 2ull * chars;
        return units.size() == 2ull * chars;
    };
    for (uint32_t i = 0; i < count && codecs_.size() < kMaxCodecEntries; ++i) {
        if (!body.Has(pos, 4)) return;
        CodecEntry entry;
        entry.type = body.Le16(pos);
        const uint16_t nameLength = body.Le16(pos + 2);
        pos += 4;
        if (!text(nameLength, entry.name)) return;
        const uint16_t descriptionLength = body.Le16(pos);
        pos += 2;
        if (!text(descriptionLength, entry.description)) return;
        pos += 2u + body.Le16(pos);  // codec-specific information, not used
        const std::string_view prefix = entry.type == 1 ? N_("вид") : entry.type == 2 ? N_("ауд") : "";
        // Lengths count the terminating zero.
        if (nameLength > 1) AddMetadataItem(std::string(prefix), entry.name, -1);
        if (descriptionLength > 1) AddMetadataItem(std::string(prefix), entry.description, -1);
        codecs_.push_back(std::move(entry));
    }
}

void CSupWav::ReadStreamBitrates(ByteView body) {
    const uint16_t count = body.Le16(0);
    if (count < 1 || count > 128 || body.size() < count * 6u + 2) return;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = 2 + 6ull * i;
        streams_[body.Le16(at) & 0x7F].averageBitrate = body.Le32(at + 2);
    }
}

void CSupWav::ReadExtendedStreamProperties(ByteView body, uint64_t bodyPosition, int depth) {
    if (body.size() < 64) return;
    StreamEntry& stream = streams_[body.Le16(48) & 0x7F];
    stream.extended = true;
    stream.dataBitrate = body.Le32(16);
    stream.timePerFrame = body.Le64(52);
    // Stream names, then payload extension systems; a stream properties
    // object may follow them for a stream described only here.
    uint64_t pos = 64;
    const uint16_t names = body.Le16(60), systems = body.Le16(62);
    for (uint32_t i = 0; i < names && body.Has(pos, 4); ++i) pos += 4u + body.Le16(pos + 2);
    for (uint32_t i = 0; i < systems && body.Has(pos, 22); ++i) pos += 22u + body.Le32(pos + 18);
    if (pos < body.size() && body.size() - pos > kObjectHeaderSize && GuidAt(body, pos) == asf::kStreamProperties) {
        Object object;
        if (ObjectAt(reader_, bodyPosition + pos, bodyPosition + body.size(), object))
            Dispatch(object.guid, object.body, object.bodySize, depth + 1);
    }
}

void CSupWav::ReadMetadata(ByteView body) {
    const uint16_t count = body.Le16(0);
    uint64_t pos = 2;
    for (uint32_t i = 0; i < count && body.Has(pos, 12); ++i) {
        const uint16_t stream = body.Le16(pos + 2);
        const uint16_t nameLength = body.Le16(pos + 4);
        const uint16_t type = body.Le16(pos + 6);
        const uint32_t dataLength = body.Le32(pos + 8);
        if (stream == 0 || stream >= 128) return;
        const ByteView nameBytes = body.Sub(pos + 12, nameLength);
        const ByteView data = body.Sub(pos + 12 + nameLength, dataLength);
        if (nameBytes.size() != nameLength || data.size() != dataLength) return;
        pos += 12u + nameLength + dataLength;

        const std::string name = Utf16LeToUtf8(nameBytes, nameLength / 2);
        const uint64_t value = LittleEndianValue(data);
        if (name == "AspectRatioX") {
            aspectX_ = static_cast<uint32_t>(value);
            haveAspectX_ = true;
        } else if (name == "AspectRatioY") {
            aspectY_ = static_cast<uint32_t>(value);
            haveAspectY_ = true;
        } else if (name == "IsVBR") {
            streams_[stream & 0x7F].isVbr = value != 0;
        } else {
            std::string text;
            switch (type) {
                case 0: text = Utf16LeToUtf8(data, kMaxMetadataText); break;
                case 1: text = Format("0x%02x, ...", data.U8(0)); break;
                case 2: text = value ? "TRUE" : "FALSE"; break;
                case 3: text = Format("%d", static_cast<int32_t>(data.Le32(0))); break;
                case 4: text = Format("%" PRId64, static_cast<int64_t>(data.Le64(0))); break;
                case 5: text = Format("%d", data.Le16(0)); break;
                default: text = N_("*ОШИБК*"); break;
            }
            AddMetadataItem(std::string(TruncateUtf8(name, kMaxMetadataName)), std::move(text), stream, type > 5);
        }
    }
}

void CSupWav::ReadPayloadTimes(uint64_t dataObject, uint64_t length) {
    // Data object: GUID, size, file id, packet count, reserved; then packets
    // of the fixed size the file properties state.
    constexpr uint64_t kDataHeader = 50;
    constexpr uint32_t kMaxPackets = 256, kMaxPayloads = 64;
    if (packetSize_ < 32 || packetSize_ > CFileCache::kWindowSize) return;
    const ByteView head = reader_.MapView(dataObject, kDataHeader);
    if (GuidAt(head, 0) != asf::kData) return;
    // A variable-length field of 0, 1, 2 or 4 bytes, its kind in two bits.
    auto field = [](ByteView b, uint64_t& pos, unsigned kind) -> uint32_t {
        static constexpr uint64_t kWidths[4] = {0, 1, 2, 4};
        const uint64_t width = kWidths[kind & 3];
        const uint32_t value = width == 1 ? b.U8(pos) : width == 2 ? b.Le16(pos) : width == 4 ? b.Le32(pos) : 0;
        pos += width;
        return value;
    };
    std::vector<uint32_t> times;
    uint32_t lastObject = UINT32_MAX;
    for (uint32_t n = 0; n < kMaxPackets; ++n) {
        const uint64_t start = dataObject + kDataHeader + uint64_t(n) * packetSize_;
        if (start >= length || length - start < packetSize_) break;
        const ByteView p = reader_.MapView(start, packetSize_);
        if (p.size() != packetSize_) break;
        uint64_t pos = 0;
        if (p.U8(0) & 0x80) pos += 1 + (p.U8(0) & 0x0F);  // error correction data
        const uint8_t lengthFlags = p.U8(pos), propertyFlags = p.U8(pos + 1);
        pos += 2;
        field(p, pos, lengthFlags >> 5);  // packet length
        field(p, pos, lengthFlags >> 1);  // sequence
        field(p, pos, lengthFlags >> 3);  // padding length
        pos += 6;                         // send time, duration
        const bool multiple = lengthFlags & 1;
        uint32_t payloads = 1;
        unsigned payloadLengthKind = 2;
        if (multiple) {
            payloads = p.U8(pos) & 0x3F;
            payloadLengthKind = p.U8(pos) >> 6;
            ++pos;
        }
        for (uint32_t i = 0; i < payloads && i < kMaxPayloads && pos < p.size(); ++i) {
            const unsigned stream = p.U8(pos++) & 0x7F;
            const uint32_t object = field(p, pos, propertyFlags >> 4);
            field(p, pos, propertyFlags >> 2);  // offset into the media object
            const uint32_t replicated = field(p, pos, propertyFlags);
            // Replicated data of 8 bytes or more: the object's size, then its presentation time.
            if (stream == videoStream_ && replicated >= 8 && object != lastObject && times.size() < kMaxPackets) {
                times.push_back(p.Le32(pos + 4));
                lastObject = object;
            }
            pos += replicated;
            const uint32_t size = multiple ? field(p, pos, payloadLengthKind) : 0;
            if (!multiple) break;
            pos += size;
        }
    }
    if (times.size() < 3) return;
    std::sort(times.begin(), times.end());
    // A dropped frame leaves a longer gap: the frame period is the mean of the
    // gaps up to half again the median one (the times are whole milliseconds,
    // so a 29.97 or 30 fps stream alternates 33 and 34).
    std::vector<uint32_t> gaps;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1]) gaps.push_back(times[i] - times[i - 1]);
    if (gaps.size() < 2) return;
    std::vector<uint32_t> ordered = gaps;
    std::nth_element(ordered.begin(), ordered.begin() + ptrdiff_t(ordered.size() / 2), ordered.end());
    const uint64_t median = ordered[ordered.size() / 2];
    uint64_t sum = 0, counted = 0;
    for (const uint32_t gap : gaps) {
        if (2 * uint64_t(gap) > 3 * median) continue;
        sum += gap;
        ++counted;
    }
    if (sum > 0) streams_[videoStream_].timePerFrame = sum * 10000 / counted;
}

void CSupWav::ReadContentDescription(ByteView body) {
    // Five lengths in bytes, then the five UTF-16 texts in the same order.
    static constexpr const char* kNames[] = {"Title", "Author", "Copyright", "Description", "Rating"};
    uint64_t pos = 10;
    for (size_t i = 0; i < std::size(kNames); ++i) {
        const uint16_t length = body.Le16(2 * i);
        const ByteView units = body.Sub(pos, length);
        if (units.size() != length) return;
        pos += length;
        std::string text = Utf16LeToUtf8(units, kMaxMetadataText);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        if (!text.empty()) AddMetadataItem(kNames[i], std::move(text), -1);
    }
}

void CSupWav::AddMetadataItem(std::string name, std::string text, int stream, bool composed) {
    std::vector<MetadataItem>& items = records_.container.metadata;
    if (items.size() >= kMaxMetadataItems) return;
    if (stream >= 0) metadataStreams_.emplace_back(items.size(), stream);
    items.push_back({std::move(name), std::move(text), {}, composed});
}

void CSupWav::Finish() {
    VideoInfo& video = records_.video;
    const int64_t playing = records_.container.durationMs;
    if (videoFilled_) {
        const StreamEntry& stream = streams_[videoStream_];
        if (playing > 0) video.durationMs = playing;
        if (stream.timePerFrame > 0) {
            video.usPerFrame = static_cast<int32_t>(std::min<uint64_t>((stream.timePerFrame + 5) / 10, INT32_MAX));
            // Both in 100-ns units: the play time over the frame period.
            const auto period = static_cast<int64_t>(std::min<uint64_t>(stream.timePerFrame, INT32_MAX));
            // The play time is a 64-bit count from the file: scaled in 128 bits.
            if (playing > 0)
                video.frameCount = SaturatingInt64(ScaleSaturating(uint64_t(playing), 10000, uint64_t(period), true));
        }
        if (stream.extended) {
            video.bitrateKbps = static_cast<int32_t>((uint64_t(stream.dataBitrate) + 500) / 1000);
        }
        if (video.bitrateKbps == 0) video.bitrateKbps = static_cast<int32_t>(stream.averageBitrate / 1000);
    }
    if (haveAspectX_ && haveAspectY_ && aspectY_ != 0) video.pixelAspect = double(aspectX_) / aspectY_;

    std::vector<MetadataItem>& items = records_.container.metadata;
    for (const auto& [index, stream] : metadataStreams_)
        items[index].name = Format("%.*s%d %s", static_cast<int>(streams_[stream & 0x7F].kind.size()),
                                   streams_[stream & 0x7F].kind.data(), stream, items[index].name.c_str());

    for (size_t slot = 0; slot < kMaxAudioStreams; ++slot) {
        StreamInfo* audio = records_.StreamIf(slot);
        if (!audio || audio->sourceKind != kSourceContainerSound) continue;
        audio->durationMs = playing;
        const int vbr = streams_[audio->streamId & 0x7F].isVbr;
        audio->bitrateType = vbr < 0 ? 0 : vbr ? 2 : 1;
    }
}

}  // namespace torvo
