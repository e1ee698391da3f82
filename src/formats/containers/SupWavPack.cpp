#include "formats/containers/SupWavPack.h"

#include <algorithm>
#include <string>

#include "base/Text.h"
#include "formats/containers/SoundFormat.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint32_t kRates[15] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                 32000, 44100, 48000, 64000, 88200, 96000, 192000};
// Header flags.
constexpr uint32_t kMono = 1u << 2, kHybrid = 1u << 3, kFloat = 1u << 7, kInitialBlock = 1u << 11,
                   kFinalBlock = 1u << 12, kDsd = 1u << 31;
constexpr int kShiftBit = 13, kRateBit = 23;
// Sub-block ids (the low six bits; 0x20 marks the optional ones).
constexpr uint8_t kIdMask = 0x3F, kLargeSize = 0x80, kOddSize = 0x40;
constexpr uint8_t kChannelInfo = 0x0D, kSampleRate = 0x27;
constexpr int kMaxSubBlocks = 256;
// The stream versions WavPack writes (4.02 to 4.10).
constexpr uint16_t kFirstVersion = 0x402, kLastVersion = 0x410;

uint32_t Le24(ByteView bytes, uint64_t pos) {
    return bytes.Has(pos, 3) ? uint32_t(bytes.U8(pos)) | uint32_t(bytes.U8(pos + 1)) << 8 | uint32_t(bytes.U8(pos + 2)) << 16 : 0;
}
}  // namespace

bool ReadWavPackBlock(ByteView block, WavPackBlock& out) {
    if (block.size() < CSupWavPack::kHeaderSize || !block.Equals(0, "wvpk")) return false;
    out.blockSize = block.Le32(4);
    out.version = block.Le16(8);
    const uint32_t low = block.Le32(12);
    out.totalSamples = low == 0xFFFFFFFF ? UINT64_MAX : uint64_t(block.U8(11)) << 32 | low;
    out.blockSamples = block.Le32(20);
    out.flags = block.Le32(24);
    out.hybrid = out.flags & kHybrid;
    out.floatingPoint = out.flags & kFloat;
    out.dsd = out.flags & kDsd;
    const uint32_t bytesPerSample = (out.flags & 3) + 1;
    const uint32_t shift = out.flags >> kShiftBit & 0x1F;
    out.bitsPerSample = bytesPerSample * 8 > shift ? bytesPerSample * 8 - shift : bytesPerSample * 8;
    const uint32_t rateIndex = out.flags >> kRateBit & 0x0F;
    out.sampleRate = rateIndex < 15 ? kRates[rateIndex] : 0;
    out.channels = out.flags & kMono ? 1 : 2;

    // Sub-blocks: an id byte, a size in 16-bit words (one byte, or three when
    // flagged large), the data padded to even length.
    const ByteView body = block.Sub(CSupWavPack::kHeaderSize, std::min<uint64_t>(out.blockSize - 24u, block.size() - CSupWavPack::kHeaderSize));
    uint64_t pos = 0;
    for (int n = 0; n < kMaxSubBlocks && pos + 2 <= body.size(); ++n) {
        const uint8_t id = body.U8(pos);
        uint64_t words = body.U8(pos + 1), header = 2;
        if (id & kLargeSize) {
            words = Le24(body, pos + 1);
            header = 4;
        }
        const uint64_t size = words * 2;
        const ByteView data = body.Sub(pos + header, size - ((id & kOddSize) && size ? 1 : 0));
        if (!body.Has(pos + header, size)) break;
        if ((id & kIdMask) == kChannelInfo && !data.empty() && data.U8(0) > 0) {
            out.channels = data.U8(0);
        } else if ((id & kIdMask) == kSampleRate && data.size() >= 3) {
            out.sampleRate = Le24(data, 0);
        }
        pos += header + size;
    }
    return out.sampleRate > 0 || out.dsd;
}

CSupWavPack::CSupWavPack(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupWavPack::~CSupWavPack() = default;

ReadStatus CSupWavPack::Analyse() {
    const uint64_t fileEnd = reader_.LogicalLength();
    const ByteView head = ViewAt(reader_, 0, kHeaderSize);
    const uint32_t size = head.Le32(4);
    if (!head.Equals(0, "wvpk")) return ReadStatus::Ok();
    if (head.size() < kHeaderSize) return CutShort(0, "block header", kHeaderSize, head.size());
    if (size < kHeaderSize - 8 || size > kMaxBlockSize) return ReadStatus::Damaged(4, "first block's size is out of range");
    if (!ReadWavPackBlock(ViewAt(reader_, 0, uint64_t(size) + 8), first_))
        return ReadStatus::Damaged(0, "first block has no sample rate");

    // More than two channels take one block per pair; the blocks of the first
    // set up to its final block add their channels (unless the channel
    // information sub-block already gave the total).
    uint32_t channels = first_.channels;
    if ((first_.flags & kInitialBlock) && !(first_.flags & kFinalBlock) && first_.channels <= 2) {
        uint64_t position = uint64_t(size) + 8;
        for (int n = 0; n < kMaxBlocksForChannels && position + kHeaderSize <= fileEnd; ++n) {
            const ByteView next = ViewAt(reader_, position, kHeaderSize);
            WavPackBlock block;
            if (!ReadWavPackBlock(next, block)) break;
            channels += block.channels;
            if (block.flags & kFinalBlock) break;
            if (block.blockSize > kMaxBlockSize) break;
            position += uint64_t(block.blockSize) + 8;
        }
    }

    std::string name = first_.dsd ? "WavPack DSD" : first_.hybrid ? N_("WavPack (гибридный, с потерями)") : "WavPack";
    StreamInfo* sound = AddSoundStream(records_, name, 0);
    const ReadStatus status = CheckLastBlock(fileEnd);
    if (!sound) return status;
    sound->sampleRate = static_cast<int32_t>(std::min<uint32_t>(first_.sampleRate, INT32_MAX));
    sound->channels = static_cast<int32_t>(std::min<uint32_t>(channels, 255));
    sound->bitsPerSample = first_.floatingPoint ? 32 : static_cast<int32_t>(first_.bitsPerSample);
    sound->bitrateType = 2;
    if (first_.totalSamples != UINT64_MAX)
        SetSoundDuration(records_, *sound, SamplesToMs(first_.totalSamples, first_.sampleRate), fileEnd);
    ContainerTrack track;
    track.kind = N_("звук");
    // Stream versions are written in hexadecimal (0x410 is "4.10").
    track.codec = name + (first_.floatingPoint ? N_(", плав.точка") : "") +
                  Format(N_(", версия %x.%02x"), first_.version >> 8, first_.version & 0xFF);
    track.slot = 0;
    records_.container.tracks.push_back(std::move(track));
    return status;
}

ReadStatus CSupWavPack::CheckLastBlock(uint64_t fileEnd) {
    // The last block header in the tail: its data must be in the file and,
    // when the first block states the total, its samples must reach it.
    const uint64_t tailStart = fileEnd > CFileCache::kWindowSize ? fileEnd - CFileCache::kWindowSize : 0;
    const ByteView tail = ViewAt(reader_, tailStart, fileEnd - tailStart);
    uint64_t at = tail.size();
    for (int n = 0; n < kMaxTailCandidates && at > 0; ++n) {
        at = tail.FindLastByte('w', 0, at);
        if (at == ByteView::npos) break;
        WavPackBlock block;
        if (!tail.Equals(at, "wvpk") || !ReadWavPackBlock(tail.From(at), block) || block.blockSize > kMaxBlockSize ||
            block.blockSize < kHeaderSize - 8 || block.version < kFirstVersion || block.version > kLastVersion)
            continue;
        const uint64_t start = tailStart + at;
        const uint64_t end = start + 8 + block.blockSize;
        if (end > fileEnd) return CutShort(start, "block", 8 + uint64_t(block.blockSize), fileEnd - start);
        const uint64_t index = uint64_t(tail.U8(at + 10)) << 32 | tail.Le32(at + 16);
        const uint64_t total = first_.totalSamples;
        if (total != UINT64_MAX && block.blockSamples > 0 && index + block.blockSamples < total)
            return ReadStatus::Truncated(end, "blocks end at sample " + std::to_string(index + block.blockSamples) +
                                                  " of " + std::to_string(total));
        return ReadStatus::Ok();
    }
    return ReadStatus::Ok();
}

}  // namespace torvo
