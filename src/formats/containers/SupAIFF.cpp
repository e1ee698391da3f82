#include "formats/containers/SupAIFF.h"

#include <algorithm>
#include <cmath>

#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/containers/SoundFormat.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint32_t F(const char (&code)[5]) { return FourCCOf(code); }
constexpr int kExtendedBias = 16383;
constexpr double kMaxRate = 1e7;
constexpr size_t kMaxText = 255;

struct CompressionRow {
    uint32_t fourcc;
    AiffCompression facts;
};
// The compression types AIFF-C writers use (Apple's list and its kin).
constexpr CompressionRow kCompressions[] = {
    {F("NONE"), {1, "PCM", 1}},
    {F("twos"), {1, "PCM (big-endian)", 1}},
    {F("sowt"), {1, "PCM (little-endian)", 1}},
    {F("raw "), {1, N_("PCM (8 бит без знака)"), 1}},
    {F("in24"), {1, N_("PCM 24 бит"), 1}},
    {F("in32"), {1, N_("PCM 32 бит"), 1}},
    {F("fl32"), {3, N_("PCM (плав.точка 32)"), 1}},
    {F("FL32"), {3, N_("PCM (плав.точка 32)"), 1}},
    {F("fl64"), {3, N_("PCM (плав.точка 64)"), 1}},
    {F("FL64"), {3, N_("PCM (плав.точка 64)"), 1}},
    {F("alaw"), {6, "A-law", 1}},
    {F("ALAW"), {6, "A-law", 1}},
    {F("ulaw"), {7, "mu-law", 1}},
    {F("ULAW"), {7, "mu-law", 1}},
    {F("ima4"), {0, "IMA ADPCM", 64}},
    {F("GSM "), {0x31, "GSM 6.10", 160}},
    {F("MAC3"), {0, "MACE 3:1", 6}},
    {F("MAC6"), {0, "MACE 6:1", 6}},
    {F("QDM2"), {0, "QDesign Music 2", 2048}},
    {F("QDMC"), {0, "QDesign Music", 512}},
};
}  // namespace

uint32_t ExtendedToRate(ByteView ten) {
    if (ten.size() < 10) return 0;
    const uint16_t signExponent = ten.Be16(0);
    const uint64_t mantissa = ten.Be64(2);
    if ((signExponent & 0x8000) || mantissa == 0) return 0;
    const int exponent = (signExponent & 0x7FFF) - kExtendedBias;
    // A rate of 10 MHz needs no more than 24 bits of exponent; anything far
    // outside that (infinities and NaNs included) is rejected before scaling.
    if (exponent < -1 || exponent > 40) return 0;
    const double value = std::ldexp(static_cast<double>(mantissa), exponent - 63);
    if (!(value >= 1 && value <= kMaxRate)) return 0;
    return static_cast<uint32_t>(std::lround(value));
}

AiffCompression FindAiffCompression(uint32_t fourcc) {
    for (const CompressionRow& row : kCompressions)
        if (row.fourcc == fourcc) return row.facts;
    return {0, "", 1};
}

CSupAIFF::CSupAIFF(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupAIFF::~CSupAIFF() = default;

ReadStatus CSupAIFF::Analyse() {
    const ByteView head = ViewAt(reader_, 0, 12);
    if (!head.Equals(0, "FORM") || !(head.Equals(8, "AIFF") || head.Equals(8, "AIFC"))) return ReadStatus::Ok();
    ReadStatus status;
    aifc_ = head.Equals(8, "AIFC");
    const uint64_t fileEnd = reader_.LogicalLength();
    const uint64_t formEnd = std::min<uint64_t>(fileEnd, 8 + uint64_t(head.Be32(4)));
    records_.container.declaredLength = 8 + uint64_t(head.Be32(4));

    uint64_t position = 12;
    for (int count = 0; count < kMaxChunks && position + 8 <= formEnd; ++count) {
        const ByteView chunk = ViewAt(reader_, position, 8);
        const uint32_t id = chunk.Le32(0);
        const uint64_t size = chunk.Be32(4);
        const uint64_t body = position + 8;
        // A chunk that claims more than its FORM has left is read as far as the file goes.
        const uint64_t available = std::min(size, formEnd - body);
        if (id == F("COMM")) ReadCommon(ViewAt(reader_, body, available));
        else if (id == F("SSND")) soundBytes_ = available > 8 ? available - 8 : 0;  // offset and block size first
        else if (id == F("NAME") || id == F("AUTH") || id == F("(c) ") || id == F("ANNO"))
            ReadText(id, ViewAt(reader_, body, std::min<uint64_t>(available, kMaxText)));
        if (size > formEnd - body) {
            status = CutShort(position, "chunk " + FourCCText(id), size, formEnd - body);
            break;
        }
        position = body + size + (size & 1);  // chunks are padded to even sizes
    }
    // A FORM that declares more than the file holds ends inside a chunk or between them.
    if (status.IsOk() && formEnd < records_.container.declaredLength)
        status = ReadStatus::Truncated(position, "FORM declares " + std::to_string(records_.container.declaredLength) +
                                                     " bytes, the file has " + std::to_string(fileEnd));
    if (!common_) return status.Merge(ReadStatus::Damaged(12, "no COMM chunk"));

    const AiffCompression codec = FindAiffCompression(compression_);
    std::string name = aifc_ ? (codec.name[0] ? codec.name : FourCCText(compression_)) : "PCM";
    StreamInfo* sound = AddSoundStream(records_, name, codec.formatTag);
    if (!sound) return status;
    if (aifc_ && codec.formatTag == 0) sound->fourcc = compression_;
    SetSoundFormat(*sound, rate_, channels_, bits_, 1);
    // Plain AIFF holds signed big-endian samples; AIFF-C says how in its compression type.
    sound->codecId = aifc_ ? SoundFourccCodecId(compression_, static_cast<int>(bits_))
                           : PcmCodecId(static_cast<int>(bits_), PcmLayout::kSignedBig);
    const uint64_t samples = uint64_t(frames_) * codec.samplesPerFrame;
    SetSoundDuration(records_, *sound, SamplesToMs(samples, rate_), soundBytes_);
    SetShortDuration(*sound, samples, rate_);
    // The track line says what the file calls its compression.
    AddOnlySoundTrack(records_, aifc_ ? FourCCText(compression_) + (compressionName_.empty() ? "" : " «" + compressionName_ + "»")
                                      : "PCM");
    return status;
}

void CSupAIFF::ReadCommon(ByteView comm) {
    if (comm.size() < 18 || common_) return;
    common_ = true;
    channels_ = comm.Be16(0);
    frames_ = comm.Be32(2);
    bits_ = comm.Be16(6);
    rate_ = ExtendedToRate(comm.Sub(8, 10));
    compression_ = aifc_ ? comm.Le32(18) : F("NONE");
    if (aifc_ && comm.size() >= 23) {  // a Pascal string: length, then the text
        const ByteView text = comm.Sub(23, comm.U8(22));
        compressionName_ = Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    }
}

void CSupAIFF::ReadText(uint32_t id, ByteView text) {
    std::string value(reinterpret_cast<const char*>(text.data()), text.size());
    while (!value.empty() && (value.back() == '\0' || value.back() == ' ')) value.pop_back();
    if (const size_t nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
    AddMetadataItem(records_.container.metadata, FourCCText(id), IsValidUtf8(value) ? value : Latin1ToUtf8(value));
}

}  // namespace torvo
