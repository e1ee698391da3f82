#include "formats/containers/SoundFormat.h"
#include "base/Translate.h"

#include <algorithm>

namespace torvo {

namespace {
constexpr int64_t kMaxShownMs = int64_t(100000) * 3600 * 1000;
constexpr size_t kMaxItemText = 255;
constexpr uint32_t kMaxComments = 1024;

// A text cut to max bytes without splitting a UTF-8 sequence.
std::string CutText(std::string_view text, size_t max) {
    if (text.size() <= max) return std::string(text);
    size_t end = max;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}
}  // namespace

ByteView ViewAt(CFileCache& reader, uint64_t position, uint64_t length) {
    const uint64_t end = reader.LogicalLength();
    if (position >= end) return {};
    length = std::min({length, end - position, static_cast<uint64_t>(CFileCache::kWindowSize)});
    return reader.MapView(position, static_cast<uint32_t>(length));
}

StreamInfo* AddSoundStream(AnalysisRecords& records, std::string_view codecName, int32_t formatTag) {
    size_t slot = 0;
    while (slot < kMaxStreams && records.StreamIf(slot)) ++slot;
    if (slot >= kMaxStreams) return nullptr;
    StreamInfo& stream = records.Stream(slot);
    stream.sourceKind = kSourceContainerSound;
    stream.codecName = std::string(codecName);
    stream.formatTag = formatTag;
    ContainerInfo& container = records.container;
    if (container.audioCount >= 0 && static_cast<size_t>(container.audioCount) < kMaxAudioListEntries)
        records.audioList[static_cast<size_t>(container.audioCount)] = static_cast<int>(slot);
    ++container.audioCount;
    container.soundPresent = true;
    return &stream;
}

void SetSoundFormat(StreamInfo& stream, uint64_t rate, uint64_t channels, uint64_t bits, int32_t bitrateType) {
    stream.sampleRate = static_cast<int32_t>(std::min<uint64_t>(rate, INT32_MAX));
    stream.channels = static_cast<int32_t>(std::min<uint64_t>(channels, 255));
    stream.bitsPerSample = static_cast<int32_t>(std::min<uint64_t>(bits, 255));
    stream.bitrateType = bitrateType;
}

void AddOnlySoundTrack(AnalysisRecords& records, std::string codec) {
    ContainerTrack track;
    track.kind = N_("звук");
    track.codec = std::move(codec);
    track.slot = 0;
    records.container.tracks.push_back(std::move(track));
}

int64_t SamplesToMs(uint64_t samples, uint64_t rate) {
    if (rate == 0) return 0;
    // Whole seconds first, so that no product overflows.
    const uint64_t seconds = samples / rate;
    if (seconds > static_cast<uint64_t>(kMaxShownMs / 1000)) return 0;
    return static_cast<int64_t>(seconds * 1000 + (samples % rate) * 1000 / rate);
}

void SetSoundDuration(AnalysisRecords& records, StreamInfo& stream, int64_t durationMs, uint64_t audioBytes) {
    if (durationMs <= 0 || durationMs > kMaxShownMs) return;
    stream.durationMs = durationMs;
    ContainerInfo& container = records.container;
    container.durationMs = std::max(container.durationMs, durationMs);
    if (stream.bitrateKbps == 0 && audioBytes > 0) {
        const uint64_t kbps = audioBytes * 8 / static_cast<uint64_t>(durationMs);
        stream.bitrateKbps = static_cast<int32_t>(std::min<uint64_t>(kbps, INT32_MAX));
    }
    // The file's own rate over the whole file, when its headers state none.
    if (container.bitrateKbps == 0 && container.fileSize > 0) {
        const uint64_t kbps = container.fileSize * 8 / static_cast<uint64_t>(container.durationMs);
        container.bitrateKbps = static_cast<int32_t>(std::min<uint64_t>(kbps, INT32_MAX));
    }
}

std::string ReadVorbisComments(ByteView block, std::vector<MetadataItem>& items) {
    uint64_t pos = 0;
    const uint32_t vendorLength = block.Le32(pos);
    const ByteView vendor = block.Sub(pos + 4, vendorLength);
    if (vendor.size() != vendorLength) return {};
    pos += 4 + uint64_t(vendorLength);
    const uint32_t count = std::min(block.Le32(pos), kMaxComments);
    pos += 4;
    for (uint32_t i = 0; i < count && items.size() < kMaxMetadataItems; ++i) {
        const uint32_t length = block.Le32(pos);
        const ByteView comment = block.Sub(pos + 4, length);
        if (comment.size() != length) break;
        pos += 4 + uint64_t(length);
        const std::string_view text(reinterpret_cast<const char*>(comment.data()), comment.size());
        const size_t eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        // Field names are case-insensitive; they are shown as the common upper-case form.
        std::string name(text.substr(0, std::min<size_t>(eq, 64)));
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        // Cover art in a comment is named, not copied.
        if (name == "METADATA_BLOCK_PICTURE" || name == "COVERART") {
            AddMetadataItem(items, name, N_("картинка, ") + std::to_string(length - eq - 1) + N_(" байт (base64)"));
            continue;
        }
        AddMetadataItem(items, name, CutText(text.substr(eq + 1), kMaxItemText));
    }
    return CutText(std::string_view(reinterpret_cast<const char*>(vendor.data()), vendor.size()), kMaxItemText);
}

void AddMetadataItem(std::vector<MetadataItem>& items, std::string name, std::string text) {
    if (name.empty() || text.empty() || items.size() >= kMaxMetadataItems) return;
    // Streams of one file often carry the same tags; each is listed once.
    for (const MetadataItem& item : items)
        if (item.name == name && item.text == text) return;
    items.push_back({std::move(name), std::move(text), {}});
}

}  // namespace torvo
