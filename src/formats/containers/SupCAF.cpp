#include "formats/containers/SupCAF.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Text.h"
#include "formats/containers/CodecHeaders.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/containers/SoundFormat.h"
#include "base/Translate.h"
#include "records/CodecIds.h"

namespace torvo {

namespace {
constexpr uint32_t F(const char (&code)[5]) { return FourCCOf(code); }
constexpr double kMaxRate = 1e7;
constexpr uint64_t kDescriptionSize = 32;
constexpr uint64_t kMaxChunkSize = uint64_t(1) << 62;  // sizes are signed; larger ones are not sizes
constexpr uint64_t kMaxInfoBytes = 4096;
constexpr uint32_t kMaxInfoEntries = 16;
constexpr size_t kMaxText = 255;
// Linear PCM flags of the audio description.
constexpr uint32_t kFlagIsFloat = 1;

struct CodecRow {
    uint32_t formatId;
    int32_t formatTag;
    const char* name;
};
// The format ids Apple's Core Audio Format documentation names, and their kin.
constexpr CodecRow kCodecs[] = {
    {F("ulaw"), 7, "mu-law"},        {F("alaw"), 6, "A-law"},         {F("aac "), 0x00FF, "AAC"},
    {F("alac"), 0, "ALAC"},          {F("ima4"), 0, "IMA ADPCM"},     {F("MAC3"), 0, "MACE 3:1"},
    {F("MAC6"), 0, "MACE 6:1"},      {F("mp1 "), 0x0050, "MPEG Layer 1"}, {F("mp2 "), 0x0050, "MPEG Layer 2"},
    {F("mp3 "), 0x0055, "MP3"},      {F("opus"), 0, "Opus"},          {F("flac"), 0, "FLAC"},
    {F("QDM2"), 0, "QDesign Music 2"}, {F("samr"), 0, "AMR"},         {F("ac-3"), 0x2000, "AC3"},
};

// The IEEE 754 double of the description's sample rate, in whole hertz; 0
// when it is not a rate (negative, not finite, beyond 10 MHz).
uint32_t DoubleToRate(uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    if (!(value >= 1 && value <= kMaxRate)) return 0;
    return static_cast<uint32_t>(std::lround(value));
}
}  // namespace

CafCodec FindCafCodec(uint32_t formatId, uint32_t formatFlags, uint32_t bitsPerChannel) {
    if (formatId == F("lpcm")) {
        if (formatFlags & kFlagIsFloat) return {3, Format(N_("PCM (плав.точка %u)"), bitsPerChannel)};
        return {1, "PCM"};
    }
    for (const CodecRow& row : kCodecs)
        if (row.formatId == formatId) return {row.formatTag, row.name};
    return {};
}

CSupCAF::CSupCAF(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupCAF::~CSupCAF() = default;

ReadStatus CSupCAF::Analyse() {
    const ByteView head = ViewAt(reader_, 0, kFileHeaderSize);
    if (head.size() < kFileHeaderSize || !head.Equals(0, "caff") || head.Be16(4) != 1) return ReadStatus::Ok();
    const uint64_t fileEnd = reader_.LogicalLength();

    uint64_t position = kFileHeaderSize;
    uint64_t dataBytes = 0;
    bool sizesKnown = true;
    ReadStatus status;
    for (int count = 0; count < kMaxChunks && position + kChunkHeaderSize <= fileEnd; ++count) {
        const ByteView chunk = ViewAt(reader_, position, kChunkHeaderSize);
        const uint32_t id = chunk.Le32(0);
        const uint64_t size = chunk.Be64(4);
        const uint64_t body = position + kChunkHeaderSize;
        // Only the data chunk may leave its size open (-1): it then runs to the end.
        const bool open = size == UINT64_MAX && id == F("data");
        if (!open && size > kMaxChunkSize) {
            status = ReadStatus::Damaged(position, "chunk " + FourCCText(id) + " declares an implausible size");
            sizesKnown = false;
            break;
        }
        const uint64_t available = open ? fileEnd - body : std::min(size, fileEnd - body);
        if (id == F("desc")) ReadDescription(ViewAt(reader_, body, available));
        else if (id == F("data")) dataBytes = available > 4 ? available - 4 : 0;  // the edit count first
        else if (id == F("pakt")) ReadPacketTable(ViewAt(reader_, body, available));
        else if (id == F("kuki")) ReadCookie(ViewAt(reader_, body, std::min(available, kMaxInfoBytes)));
        else if (id == F("info")) ReadInformation(ViewAt(reader_, body, std::min(available, kMaxInfoBytes)));
        if (!described_) break;  // the description must come first
        if (open) {
            sizesKnown = false;
            break;
        }
        position = body + size;
        if (size > fileEnd - body) {  // the length check tells how much is missing
            status = CutShort(body - kChunkHeaderSize, "chunk " + FourCCText(id), size, fileEnd - body);
            break;
        }
    }
    if (!described_) return status.Merge(ReadStatus::Damaged(kFileHeaderSize, "no audio description chunk first"));
    if (sizesKnown) records_.container.declaredLength = position;

    const CafCodec codec = FindCafCodec(formatId_, formatFlags_, bits_);
    const std::string name = codec.name.empty() ? FourCCText(formatId_) : codec.name;
    StreamInfo* sound = AddSoundStream(records_, name, codec.formatTag);
    if (!sound) return status;
    if (codec.formatTag == 0) sound->fourcc = formatId_;
    // The codec id names the sample layout: Apple's flags mark floats and
    // little-endian samples (big-endian is the default); integers are signed.
    constexpr uint32_t kFlagIsLittleEndian = 2, kLpcmBigEndian = 2, kLpcmSigned = 4;
    if (formatId_ == F("lpcm"))
        sound->codecId = LpcmCodecId((formatFlags_ & kFlagIsFloat) | (formatFlags_ & kFlagIsLittleEndian ? 0 : kLpcmBigEndian) |
                                         kLpcmSigned, static_cast<int>(bits_));
    else sound->codecId = SoundFourccCodecId(formatId_, static_cast<int>(bits_));
    // Compressed formats state no bits per channel; their rate comes from the bytes.
    SetSoundFormat(*sound, rate_, channels_, bits_, bytesPerPacket_ > 0 ? 1 : 2);
    if (cookie_.bitsPerSample > 0) sound->bitsPerSample = cookie_.bitsPerSample;
    SetConfigFormat(*sound, cookie_);
    SetSoundDuration(records_, *sound, DurationMs(dataBytes), dataBytes);
    AddOnlySoundTrack(records_, FourCCText(formatId_) + (codec.name.empty() ? "" : " «" + codec.name + "»"));
    return status;
}

void CSupCAF::ReadDescription(ByteView desc) {
    if (desc.size() < kDescriptionSize || described_) return;
    described_ = true;
    rate_ = DoubleToRate(desc.Be64(0));
    formatId_ = desc.Le32(8);
    formatFlags_ = desc.Be32(12);
    bytesPerPacket_ = desc.Be32(16);
    framesPerPacket_ = desc.Be32(20);
    channels_ = desc.Be32(24);
    bits_ = desc.Be32(28);
}

void CSupCAF::ReadCookie(ByteView kuki) {
    // Apple Lossless states the source's bit depth only in its cookie.
    if (SoundHeader alac; formatId_ == F("alac") && ReadAlacCookie(kuki, alac)) cookie_ = alac;
}

void CSupCAF::ReadPacketTable(ByteView pakt) {
    if (pakt.size() < 24) return;
    const uint64_t frames = pakt.Be64(8);
    if (frames <= uint64_t(INT64_MAX)) validFrames_ = static_cast<int64_t>(frames);
}

void CSupCAF::ReadInformation(ByteView info) {
    // A count, then that many pairs of NUL-terminated UTF-8 key and value.
    if (info.size() < 4) return;
    const uint32_t entries = std::min(info.Be32(0), kMaxInfoEntries);
    const std::string_view text(reinterpret_cast<const char*>(info.data()) + 4, info.size() - 4);
    size_t at = 0;
    auto next = [&]() -> std::string {
        const size_t nul = text.find('\0', at);
        if (nul == std::string_view::npos) {
            at = text.size();
            return {};
        }
        std::string part(text.substr(at, std::min(nul - at, kMaxText)));
        at = nul + 1;
        return part;
    };
    for (uint32_t i = 0; i < entries && at < text.size(); ++i) {
        std::string key = next();
        std::string value = next();
        if (IsValidUtf8(key) && IsValidUtf8(value)) AddMetadataItem(records_.container.metadata, key, value);
    }
}

int64_t CSupCAF::DurationMs(uint64_t dataBytes) const {
    const uint64_t rate = rate_;
    if (validFrames_ >= 0) return SamplesToMs(static_cast<uint64_t>(validFrames_), rate);
    // Constant packets: the data holds whole packets of a known frame count.
    if (bytesPerPacket_ == 0 || framesPerPacket_ == 0) return 0;
    return SamplesToMs(dataBytes / bytesPerPacket_ * framesPerPacket_, rate);
}

}  // namespace torvo
