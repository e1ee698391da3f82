#include "formats/containers/SupAU.h"

#include <algorithm>
#include <string>

#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/SoundFormat.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint32_t kMaxAnnotation = 255;

struct EncodingRow {
    uint32_t number;
    AuEncoding facts;
};
constexpr EncodingRow kEncodings[] = {
    {1, {7, "mu-law", 8}},        {2, {1, N_("PCM 8 бит"), 8}},      {3, {1, N_("PCM 16 бит"), 16}},
    {4, {1, N_("PCM 24 бит"), 24}},   {5, {1, N_("PCM 32 бит"), 32}},    {6, {3, N_("PCM (плав.точка 32)"), 32}},
    {7, {3, N_("PCM (плав.точка 64)"), 64}}, {23, {0x0040, "G.721 ADPCM", 4}}, {24, {0x0065, "G.722 ADPCM", 0}},
    {25, {0x0014, N_("G.723 ADPCM (3 бита)"), 3}}, {26, {0x0014, N_("G.723 ADPCM (5 бит)"), 5}}, {27, {6, "A-law", 8}},
};

// Sun's linear encodings are signed big-endian (2-5) and IEEE float (6, 7);
// G.721 and G.723 are the G.726 rates, packed as Sun does.
std::string_view AuCodecId(uint32_t number, const AuEncoding& encoding) {
    if (encoding.formatTag == 1) return PcmCodecId(static_cast<int>(encoding.bits), PcmLayout::kSignedBig);
    if (encoding.formatTag == 3) return PcmCodecId(static_cast<int>(encoding.bits), PcmLayout::kFloatBig);
    switch (number) {
        case 1: return "pcm_mulaw";
        case 27: return "pcm_alaw";
        case 23:
        case 25:
        case 26: return "adpcm_g726le";
        case 24: return "adpcm_g722";
        default: return {};
    }
}

}  // namespace

AuEncoding FindAuEncoding(uint32_t encoding) {
    for (const EncodingRow& row : kEncodings)
        if (row.number == encoding) return row.facts;
    return {};
}

CSupAU::CSupAU(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupAU::~CSupAU() = default;

ReadStatus CSupAU::Analyse() {
    const ByteView head = ViewAt(reader_, 0, kHeaderSize);
    if (!head.Equals(0, ".snd")) return ReadStatus::Ok();
    if (head.size() < kHeaderSize) return CutShort(0, "header", kHeaderSize, head.size());
    const uint64_t fileEnd = reader_.LogicalLength();
    const uint64_t dataOffset = std::min<uint64_t>(head.Be32(4), fileEnd);
    const uint32_t declaredSize = head.Be32(8);
    const uint32_t encodingNumber = head.Be32(12);
    const uint32_t rate = head.Be32(16);
    const uint32_t channels = head.Be32(20);

    // The annotation between the header and the data is text by custom.
    if (dataOffset > kHeaderSize) {
        const ByteView note = ViewAt(reader_, kHeaderSize, std::min<uint64_t>(dataOffset - kHeaderSize, kMaxAnnotation));
        std::string text(reinterpret_cast<const char*>(note.data()), note.size());
        if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        if (IsValidUtf8(text)) AddMetadataItem(records_.container.metadata, "ANNOTATION", text);
    }

    const AuEncoding encoding = FindAuEncoding(encodingNumber);
    const std::string name = encoding.name[0] ? encoding.name : Format(N_("кодировка %u"), encodingNumber);
    StreamInfo* sound = AddSoundStream(records_, name, encoding.formatTag);
    // The data the header declares, when it says, is all in the file.
    ReadStatus status;
    if (head.Be32(4) > fileEnd) status = ReadStatus::Truncated(0, "data offset lies beyond the end of the file");
    else if (declaredSize != kUnknownSize && declaredSize > fileEnd - dataOffset)
        status = CutShort(dataOffset, "sound data", declaredSize, fileEnd - dataOffset);
    if (!sound) return status;
    SetSoundFormat(*sound, rate, channels, encoding.bits, 1);
    sound->codecId = AuCodecId(encodingNumber, encoding);
    // A size of all ones means "to the end of the file"; a size beyond the end is cut.
    const uint64_t left = fileEnd - dataOffset;
    const uint64_t dataBytes = declaredSize == kUnknownSize ? left : std::min<uint64_t>(declaredSize, left);
    if (declaredSize != kUnknownSize) records_.container.declaredLength = dataOffset + uint64_t(declaredSize);
    const uint64_t bitsPerFrame = uint64_t(encoding.bits) * channels;
    if (bitsPerFrame > 0) {
        SetSoundDuration(records_, *sound, SamplesToMs(dataBytes * 8 / bitsPerFrame, rate), dataBytes);
        SetShortDuration(*sound, dataBytes * 8 / bitsPerFrame, rate);
    }
    AddOnlySoundTrack(records_, name);
    return status;
}

}  // namespace torvo
