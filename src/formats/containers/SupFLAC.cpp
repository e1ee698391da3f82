#include "formats/containers/SupFLAC.h"

#include "base/Text.h"
#include "formats/containers/SoundFormat.h"

namespace torvo {

namespace {
constexpr uint32_t kStreamInfoSize = 34;
constexpr uint64_t kMaxPictureText = 255;

// The picture kinds of the ID3v2 APIC frame, which FLAC uses as they are.
constexpr const char* kPictureKinds[] = {
    "other", "file icon", "other file icon", "front cover", "back cover", "leaflet page", "media",
    "lead artist", "artist", "conductor", "band", "composer", "lyricist", "recording location",
    "during recording", "during performance", "screen capture", "bright coloured fish", "illustration",
    "band logotype", "publisher logotype"};
}  // namespace

bool ReadFlacStreamInfoBody(ByteView body, FlacStreamInfo& out) {
    if (body.size() < kStreamInfoSize) return false;
    out.minBlockSize = body.Be16(0);
    out.maxBlockSize = body.Be16(2);
    // Rate (20 bits), channels - 1 (3), bits - 1 (5), total samples (36).
    const uint64_t packed = body.Be64(10);
    out.sampleRate = static_cast<uint32_t>(packed >> 44);
    out.channels = static_cast<uint32_t>((packed >> 41 & 7) + 1);
    out.bitsPerSample = static_cast<uint32_t>((packed >> 36 & 0x1F) + 1);
    out.totalSamples = packed & 0xFFFFFFFFFull;
    return out.sampleRate > 0;
}

std::string DescribeFlacPicture(ByteView body) {
    const uint32_t kind = body.Be32(0);
    uint64_t pos = 4;
    const uint32_t mimeLength = body.Be32(pos);
    const ByteView mime = body.Sub(pos + 4, std::min<uint64_t>(mimeLength, kMaxPictureText));
    pos += 4 + uint64_t(mimeLength);
    const uint32_t descriptionLength = body.Be32(pos);
    pos += 4 + uint64_t(descriptionLength);
    const uint32_t width = body.Be32(pos), height = body.Be32(pos + 4);
    if (!body.Has(pos, 16)) return "Картинка (повреждена)";
    std::string text = "Картинка (";
    text += kind < std::size(kPictureKinds) ? kPictureKinds[kind] : "?";
    text += ")";
    if (!mime.empty()) text += ", " + std::string(reinterpret_cast<const char*>(mime.data()), mime.size());
    if (width > 0 && height > 0) text += Format(", %u x %u", width, height);
    return text;
}

CSupFLAC::CSupFLAC(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupFLAC::~CSupFLAC() = default;

bool CSupFLAC::Analyse() {
    const uint64_t fileEnd = reader_.LogicalLength();
    if (!ViewAt(reader_, 0, 4).Equals(0, "fLaC")) return false;
    bool streamInfo = false;
    int pictures = 0;
    uint64_t position = 4;
    std::vector<MetadataItem>& items = records_.container.metadata;
    for (int count = 0; count < kMaxBlocks && position + 4 <= fileEnd; ++count) {
        const ByteView head = ViewAt(reader_, position, 4);
        const bool last = head.U8(0) & 0x80;
        const uint32_t type = head.U8(0) & 0x7F;
        const uint32_t length = head.Be24(1);
        const uint64_t body = position + 4;
        if (length > fileEnd - body) break;  // a block cut short ends the walk
        if (type == kStreamInfo && !streamInfo) {
            streamInfo = ReadFlacStreamInfoBody(ViewAt(reader_, body, length), info_);
        } else if (type == kVorbisComment) {
            const std::string vendor = ReadVorbisComments(ViewAt(reader_, body, length), items);
            AddMetadataItem(items, "ENCODER_VENDOR", vendor);
        } else if (type == kPicture) {
            ++pictures;
            AddMetadataItem(items, Format("PICTURE%d", pictures), DescribeFlacPicture(ViewAt(reader_, body, length)));
        }
        position = body + length;
        audioStart_ = position;
        if (last) break;
    }
    if (!streamInfo) return false;

    StreamInfo* sound = AddSoundStream(records_, "FLAC", 0);
    if (!sound) return true;
    SetSoundFormat(*sound, info_.sampleRate, info_.channels, info_.bitsPerSample, 2);  // lossless: the rate follows the signal
    const uint64_t audioBytes = fileEnd > audioStart_ ? fileEnd - audioStart_ : 0;
    SetSoundDuration(records_, *sound, SamplesToMs(info_.totalSamples, info_.sampleRate), audioBytes);
    AddOnlySoundTrack(records_, Format("FLAC, блоки %u-%u отсчётов", info_.minBlockSize, info_.maxBlockSize));
    return true;
}

}  // namespace torvo
