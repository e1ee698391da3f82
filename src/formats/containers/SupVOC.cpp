#include "formats/containers/SupVOC.h"

#include <algorithm>
#include <string>

#include "base/Text.h"
#include "formats/containers/SoundFormat.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint32_t kSignatureSize = 20;
enum BlockType : uint8_t {
    kTerminator = 0,
    kSoundData = 1,
    kContinuation = 2,
    kSilence = 3,
    kText = 5,
    kExtended = 8,
    kNewSoundData = 9,
};
constexpr uint32_t kMaxText = 255;

struct CodecRow {
    uint32_t number;
    VocCodec facts;
};
constexpr CodecRow kCodecs[] = {
    {0, {1, N_("PCM 8 бит без знака"), 8}},
    {1, {0x0200, N_("Creative ADPCM 4 бита"), 4}},
    {2, {0x0200, N_("Creative ADPCM 2,6 бита"), 3}},
    {3, {0x0200, N_("Creative ADPCM 2 бита"), 2}},
    {4, {1, N_("PCM 16 бит"), 16}},
    {6, {6, "A-law", 8}},
    {7, {7, "mu-law", 8}},
    {0x200, {0x0200, N_("Creative ADPCM 4 бита (16 бит)"), 4}},
};

uint32_t Le24(ByteView bytes, uint64_t pos) {
    return bytes.Has(pos, 3) ? uint32_t(bytes.U8(pos)) | uint32_t(bytes.U8(pos + 1)) << 8 | uint32_t(bytes.U8(pos + 2)) << 16 : 0;
}
}  // namespace

VocCodec FindVocCodec(uint32_t codec) {
    for (const CodecRow& row : kCodecs)
        if (row.number == codec) return row.facts;
    return {};
}

CSupVOC::CSupVOC(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupVOC::~CSupVOC() = default;

ReadStatus CSupVOC::Analyse() {
    const ByteView head = ViewAt(reader_, 0, 26);
    if (!head.Equals(0, "Creative Voice File")) return ReadStatus::Ok();
    ReadStatus status;
    const uint64_t fileEnd = reader_.LogicalLength();
    uint64_t position = std::max<uint64_t>(head.Le16(kSignatureSize), 26);

    // The format of the first sound block describes the stream; every sound
    // and silence block adds its own playing time.
    bool found = false;
    uint32_t rate = 0, channels = 0, codec = 0;
    uint32_t pendingRate = 0, pendingChannels = 0;  // an extended block describes the next sound block
    double seconds = 0;
    uint64_t soundBytes = 0;
    uint32_t blockRate = 0, blockFrameBits = 0;
    for (int count = 0; count < kMaxBlocks && position < fileEnd; ++count) {
        const ByteView block = ViewAt(reader_, position, 16);
        const uint8_t type = block.U8(0);
        if (type == kTerminator) break;
        const uint64_t size = Le24(block, 1);
        const uint64_t body = position + 4;
        if (body > fileEnd) {
            status = CutShort(position, "block header", 4, fileEnd - position);
            break;
        }
        const uint64_t available = std::min(size, fileEnd > body ? fileEnd - body : 0);
        uint32_t thisRate = 0, thisChannels = 0, thisCodec = 0;
        uint64_t dataBytes = 0;
        if (type == kSoundData && size >= 2) {
            // A time constant: 256 - 1,000,000 / rate (per channel).
            const uint32_t timeConstant = block.U8(4);
            thisChannels = pendingChannels ? pendingChannels : 1;
            thisRate = pendingRate ? pendingRate : 1000000 / (256 - timeConstant);
            thisCodec = block.U8(5);
            dataBytes = available - std::min<uint64_t>(available, 2);
            pendingRate = pendingChannels = 0;
        } else if (type == kNewSoundData && size >= 12) {
            thisRate = block.Le32(4);
            thisChannels = block.U8(9);
            thisCodec = block.Le16(10);
            dataBytes = available - std::min<uint64_t>(available, 12);
        } else if (type == kExtended && size >= 4) {
            // 65536 - 256,000,000 / (rate x channels), packing, and 1 for stereo.
            const uint32_t timeConstant = block.Le16(4);
            pendingChannels = block.U8(7) + 1u;
            pendingRate = 256000000 / (pendingChannels * (65536 - timeConstant));
        } else if (type == kContinuation) {
            dataBytes = available;
        } else if (type == kSilence && size >= 3 && blockRate == 0) {
            const uint32_t timeConstant = block.U8(6);
            seconds += (block.Le16(4) + 1.0) / (1000000.0 / (256 - timeConstant));
        } else if (type == kSilence && size >= 3) {
            seconds += (block.Le16(4) + 1.0) / blockRate;
        } else if (type == kText) {
            const ByteView text = ViewAt(reader_, body, std::min<uint64_t>(available, kMaxText));
            std::string value(reinterpret_cast<const char*>(text.data()), text.size());
            if (const size_t nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
            if (IsValidUtf8(value)) AddMetadataItem(records_.container.metadata, "TEXT", value);
        }
        if (thisRate > 0) {
            const VocCodec facts = FindVocCodec(thisCodec);
            blockRate = thisRate;
            blockFrameBits = facts.bits * std::max<uint32_t>(thisChannels, 1);
            if (!found) {
                found = true;
                rate = thisRate;
                channels = thisChannels;
                codec = thisCodec;
            }
        }
        if (dataBytes > 0 && blockRate > 0 && blockFrameBits > 0) {
            seconds += double(dataBytes) * 8 / blockFrameBits / blockRate;
            soundBytes += dataBytes;
        }
        if (size > fileEnd - body) {  // a block cut short ends the walk
            status = CutShort(position, "block", size, fileEnd - body);
            break;
        }
        position = body + size;
    }
    if (!found) return status.Merge(ReadStatus::Damaged(position, "no sound data block"));

    const VocCodec facts = FindVocCodec(codec);
    const std::string name = facts.name[0] ? facts.name : Format(N_("кодек %u"), codec);
    StreamInfo* sound = AddSoundStream(records_, name, facts.formatTag);
    if (!sound) return status;
    SetSoundFormat(*sound, rate, channels, facts.bits, 1);
    if (seconds > 0 && seconds < 1e8) {
        SetSoundDuration(records_, *sound, static_cast<int64_t>(seconds * 1000 + 0.5), soundBytes);
        SetShortDuration(*sound, static_cast<uint64_t>(seconds * 1e6 + 0.5), 1000000);
    }
    AddOnlySoundTrack(records_, name);
    return status;
}

}  // namespace torvo
