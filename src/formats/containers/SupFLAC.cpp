#include "formats/containers/SupFLAC.h"

#include <algorithm>

#include "base/Text.h"
#include "formats/containers/CoverPicture.h"
#include "formats/containers/SoundFormat.h"
#include "base/Translate.h"

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

bool ReadFlacFrameHeader(ByteView h, uint32_t fixedBlockSize, FlacFrameSpan& out) {
    if (!h.Has(0, 5) || h.U8(0) != 0xFF || (h.U8(1) & 0xFE) != 0xF8) return false;
    const uint32_t sizeCode = h.U8(2) >> 4, rateCode = h.U8(2) & 0x0F;
    const uint32_t channelCode = h.U8(3) >> 4, depthCode = h.U8(3) >> 1 & 7;
    if (sizeCode == 0 || rateCode == 15 || channelCode > 10 || depthCode == 3 || (h.U8(3) & 1)) return false;
    // The frame or sample number, coded as UTF-8 is (up to 36 bits in seven bytes).
    const uint8_t lead = h.U8(4);
    int extra = 0;
    uint64_t number = lead;
    if (lead >= 0x80) {
        for (uint8_t mask = 0x40; (lead & mask) && extra < 6; mask >>= 1) ++extra;
        if (extra == 0 || (lead & (0x40 >> extra))) return false;
        number = lead & (0x3F >> extra);
    }
    uint64_t pos = 5;
    for (int i = 0; i < extra; ++i, ++pos) {
        if (!h.Has(pos, 1) || (h.U8(pos) & 0xC0) != 0x80) return false;
        number = number << 6 | (h.U8(pos) & 0x3F);
    }
    uint32_t blockSize = 0;
    if (sizeCode == 1) blockSize = 192;
    else if (sizeCode <= 5) blockSize = 576u << (sizeCode - 2);
    else if (sizeCode == 6) blockSize = h.U8(pos++) + 1u;
    else if (sizeCode == 7) {
        blockSize = h.Be16(pos) + 1u;
        pos += 2;
    } else blockSize = 256u << (sizeCode - 8);
    if (rateCode == 12) pos += 1;
    else if (rateCode == 13 || rateCode == 14) pos += 2;
    if (!h.Has(pos, 1)) return false;
    uint8_t crc = 0;
    for (uint64_t i = 0; i < pos; ++i) {
        crc ^= h.U8(i);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    if (crc != h.U8(pos)) return false;
    const bool variable = h.U8(1) & 1;
    out.firstSample = variable ? number : number * fixedBlockSize;
    out.blockSize = blockSize;
    return true;
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
    if (!body.Has(pos, 16)) return N_("Картинка (повреждена)");
    std::string text = N_("Картинка (");
    text += kind < std::size(kPictureKinds) ? kPictureKinds[kind] : "?";
    text += ")";
    if (!mime.empty()) text += ", " + std::string(reinterpret_cast<const char*>(mime.data()), mime.size());
    if (width > 0 && height > 0) text += Format(", %u x %u", width, height);
    return text;
}

CSupFLAC::CSupFLAC(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupFLAC::~CSupFLAC() = default;

ReadStatus CSupFLAC::Analyse() {
    const uint64_t fileEnd = reader_.LogicalLength();
    if (!ViewAt(reader_, 0, 4).Equals(0, "fLaC")) return ReadStatus::Ok();
    ReadStatus status;
    bool streamInfo = false;
    int pictures = 0;
    uint64_t position = 4;
    std::vector<MetadataItem>& items = records_.container.metadata;
    int count = 0;
    bool lastSeen = false;
    for (; count < kMaxBlocks && position + 4 <= fileEnd; ++count) {
        const ByteView head = ViewAt(reader_, position, 4);
        const bool last = head.U8(0) & 0x80;
        const uint32_t type = head.U8(0) & 0x7F;
        const uint32_t length = head.Be24(1);
        const uint64_t body = position + 4;
        if (length > fileEnd - body) {  // a block cut short ends the walk
            status = CutShort(position, "metadata block", length, fileEnd - body);
            break;
        }
        if (type == kStreamInfo && !streamInfo) {
            streamInfo = ReadFlacStreamInfoBody(ViewAt(reader_, body, length), info_);
        } else if (type == kVorbisComment) {
            const std::string vendor = ReadVorbisComments(ViewAt(reader_, body, length), items);
            AddMetadataItem(items, "ENCODER_VENDOR", vendor);
        } else if (type == kPicture) {
            ++pictures;
            const size_t before = items.size();
            AddMetadataItem(items, Format("PICTURE%d", pictures), DescribeFlacPicture(ViewAt(reader_, body, length)));
            if (items.size() > before) items.back().composed = true;
            // The picture's bytes follow the MIME type, the description, four
            // numbers and the data length.
            const uint64_t mimeLength = reader_.Be32At(body + 4);
            const uint64_t description = body + 8 + mimeLength;
            const uint64_t data = description + 4 + reader_.Be32At(description) + 20;
            if (data <= body + length) AddAttachedPicture(ViewAt(reader_, data, body + length - data), records_.container.pictures);
        }
        position = body + length;
        audioStart_ = position;
        lastSeen = last;
        if (last) break;
    }
    // The walk ran out of file before the block marked last.
    if (status.IsOk() && !lastSeen && count < kMaxBlocks)
        status = ReadStatus::Truncated(position, "metadata blocks end before the last one");
    if (!streamInfo) return status.Merge(ReadStatus::Damaged(4, "no STREAMINFO block"));

    StreamInfo* sound = AddSoundStream(records_, "FLAC", 0);
    status.Merge(CheckLastFrame(fileEnd));
    if (!sound) return status;
    SetSoundFormat(*sound, info_.sampleRate, info_.channels, info_.bitsPerSample, 2);  // lossless: the rate follows the signal
    const uint64_t audioBytes = fileEnd > audioStart_ ? fileEnd - audioStart_ : 0;
    SetSoundDuration(records_, *sound, SamplesToMs(info_.totalSamples, info_.sampleRate), audioBytes);
    AddOnlySoundTrack(records_, Format(N_("FLAC, блоки %u-%u отсчётов"), info_.minBlockSize, info_.maxBlockSize));
    return status;
}

ReadStatus CSupFLAC::CheckLastFrame(uint64_t fileEnd) {
    // Frames carry no length: the last header in the tail tells how many
    // samples the file holds, which falls short of the total when it was cut.
    if (info_.totalSamples == 0 || audioStart_ > fileEnd) return ReadStatus::Ok();
    if (audioStart_ == fileEnd) return ReadStatus::Truncated(fileEnd, "no audio frames after the metadata");
    const uint64_t tailStart = std::max<uint64_t>(audioStart_, fileEnd > kTailBytes ? fileEnd - kTailBytes : 0);
    const ByteView tail = ViewAt(reader_, tailStart, fileEnd - tailStart);
    for (uint64_t at = tail.size(); at > 0;) {
        at = tail.FindLastByte(0xFF, 0, at);
        if (at == ByteView::npos) break;
        FlacFrameSpan frame;
        if (!ReadFlacFrameHeader(tail.Sub(at, kMaxFrameHeader), info_.maxBlockSize, frame)) continue;
        const uint64_t reached = frame.firstSample + frame.blockSize;
        if (reached >= info_.totalSamples) return ReadStatus::Ok();
        return ReadStatus::Truncated(tailStart + at, "last frame ends at sample " + std::to_string(reached) + " of " +
                                                         std::to_string(info_.totalSamples));
    }
    return ReadStatus::Ok();
}

}  // namespace torvo
