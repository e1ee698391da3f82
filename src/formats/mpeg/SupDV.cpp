#include "formats/mpeg/SupDV.h"

#include <algorithm>

#include "base/PatternScan.h"

namespace torvo {
namespace {

// DIF block type (top three bits of the ID's first byte), sequence and block number.
bool BlockIs(ByteView data, uint64_t pos, unsigned type, unsigned block) {
    return (data.U8(pos) >> 5) == type && (data.U8(pos + 1) >> 4) < 16 && data.U8(pos + 2) == block;
}

constexpr unsigned kSubcode = 1, kVaux = 2;
constexpr uint8_t kSourcePack = 0x60, kSourceControlPack = 0x61;

}  // namespace

bool CSupDV::IsFrameStart(ByteView data, uint64_t p) {
    if (!(data.U8(p) < 0x20 && data.U8(p + 1) < 0x10 && data.U8(p + 2) == 0 && data.Has(p, 6 * kBlockBytes)))
        return false;
    return BlockIs(data, p + 80, kSubcode, 0) && BlockIs(data, p + 160, kSubcode, 1) &&
           BlockIs(data, p + 240, kVaux, 0) && BlockIs(data, p + 320, kVaux, 1) && BlockIs(data, p + 400, kVaux, 2);
}

void CSupDV::ReadPacks(ByteView data, uint64_t source, uint64_t control, DvInfo& info) {
    if (data.U8(source) != kSourcePack || data.U8(control) != kSourceControlPack) return;
    const uint8_t s3 = data.U8(source + 3), c2 = data.U8(control + 2), c3 = data.U8(control + 3);
    info.is50 = (s3 >> 5) & 1;
    info.stype4 = (s3 & 0x1F) == 4;
    info.wide = (c2 >> 1) & 1;
    info.frameFlag = (c3 >> 7) & 1;
    info.firstSecond = (c3 >> 6) & 1;
    info.frameChange = (c3 >> 5) & 1;
    info.interlacedDv = (c3 >> 4) & 1;
}

uint64_t CSupDV::FindFrameStart(ByteView data, uint64_t room) {
    room = std::max(room, 6 * kBlockBytes);
    if (data.size() < room) return ByteView::npos;
    const uint64_t last = data.size() - room;  // the last position a frame can start at
    // The block numbers of the second and third VAUX blocks (bytes 322 and
    // 402; 0 and 1, the numbers of the others, are far commoner bytes) rule
    // out nearly every position; the few left get the whole test.
    static constexpr BytePattern kBlockNumbers = {{322, 0xFF, 1}, {402, 0xFF, 2}};
    for (uint64_t p = FindPattern(data, kBlockNumbers, 0, last + 1); p != ByteView::npos;
         p = FindPattern(data, kBlockNumbers, p + 1, last + 1))
        if (IsFrameStart(data, p)) return p;
    return ByteView::npos;
}

bool CSupDV::ReadAudio(ByteView data, Audio& audio) {
    audio = Audio{};
    const uint64_t p = FindFrameStart(data);
    if (p == ByteView::npos) return false;
    constexpr unsigned kAudioBlock = 3;
    constexpr uint8_t kAauxSourcePack = 0x50;
    // Each DIF sequence holds nine audio blocks, every sixteenth block from
    // block 6; the AAUX packs open their payloads. The first two sequences
    // between them carry the source pack of both channel halves.
    for (uint64_t sequence = 0; sequence < 2; ++sequence) {
        for (uint64_t i = 0; i < 9; ++i) {
            const uint64_t block = p + sequence * kSequenceBytes + (6 + 16 * i) * kBlockBytes;
            if ((data.U8(block) >> 5) != kAudioBlock || data.U8(block + 3) != kAauxSourcePack) continue;
            static constexpr int32_t kRates[3] = {48000, 44100, 32000};
            const uint8_t pc2 = data.U8(block + 5), pc4 = data.U8(block + 7);
            const unsigned smp = (pc4 >> 3) & 7, quantisation = pc4 & 7;
            if (smp > 2 || quantisation > 1) return false;
            audio.sampleRate = kRates[smp];
            audio.bits = quantisation == 1 ? 12 : 16;
            // CHN: 1 means two stereo pairs in one frame, possible only at 32 kHz and 12 bits.
            const unsigned pairs = ((pc2 >> 5) & 3) == 1 && smp == 2 && quantisation == 1 ? 2 : 1;
            audio.channels = static_cast<int32_t>(2 * pairs);
            return true;
        }
    }
    return false;
}

bool CSupDV::Analyse(DvInfo& info, ByteView data) const {
    info = DvInfo{};
    // Only a whole first frame is compared, and the shortest (525-line) one
    // has ten sequences: a frame starting later could only be rejected, so
    // the search stops where one could still fit (in a header buffer smaller
    // than a frame, nothing is searched).
    const uint64_t p = FindFrameStart(data, 10 * kSequenceBytes);
    if (p == ByteView::npos) return false;

    info.secondChannel = (data.U8(p + 1) >> 3) & 1;
    info.pal = data.U8(p + 3) >> 7;
    info.smpte314m = (data.U8(p + 4) & 7) == 1;
    const uint64_t sequences = info.pal ? 12 : 10;
    // A frame cut short by the end of the data cannot be compared: reject it.
    if (!data.Has(p, sequences * kSequenceBytes)) {
        info = DvInfo{};
        return false;
    }
    ReadPacks(data, p + 448, p + 453, info);

    bool consistent = true;
    for (uint64_t k = 1; k < sequences && consistent; ++k) {
        const uint64_t start = p + k * kSequenceBytes;
        DvInfo other;
        other.pal = info.pal;
        other.smpte314m = info.smpte314m;
        // Odd sequences carry the packs in VAUX block 0, even ones in block 2.
        if (k & 1)
            ReadPacks(data, start + 243, start + 248, other);
        else
            ReadPacks(data, start + 448, start + 453, other);
        consistent = other == info;
    }
    info.present = consistent;
    return consistent;
}

}  // namespace torvo
