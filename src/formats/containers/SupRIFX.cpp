#include "formats/containers/SupRIFX.h"

#include <algorithm>
#include <string>

#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/containers/SoundFormat.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint32_t F(const char (&code)[5]) { return FourCCOf(code); }
constexpr uint32_t kFormatSize = 16;
constexpr size_t kMaxText = 255;
constexpr int kMaxInfoItems = 64;
}  // namespace

bool IsRifxWave(ByteView header) { return header.Equals(0, "RIFX") && header.Equals(8, "WAVE"); }

CSupRIFX::CSupRIFX(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupRIFX::~CSupRIFX() = default;

ReadStatus CSupRIFX::Analyse() {
    const ByteView head = ViewAt(reader_, 0, 12);
    if (!IsRifxWave(head)) return ReadStatus::Ok();
    ReadStatus status;
    const uint64_t fileEnd = reader_.LogicalLength();
    records_.container.declaredLength = 8 + uint64_t(head.Be32(4));
    const uint64_t riffEnd = std::min(fileEnd, records_.container.declaredLength);

    bool format = false;
    uint16_t tag = 0, channels = 0, bits = 0;
    uint32_t rate = 0, byteRate = 0;
    uint64_t dataBytes = 0;
    uint64_t position = 12;
    for (int count = 0; count < kMaxChunks && position + 8 <= riffEnd; ++count) {
        const ByteView chunk = ViewAt(reader_, position, 12);
        const uint32_t id = chunk.Le32(0);
        const uint64_t size = chunk.Be32(4);
        const uint64_t body = position + 8;
        const uint64_t available = std::min(size, riffEnd - body);
        if (id == F("fmt ") && size >= kFormatSize && !format) {
            const ByteView fmt = ViewAt(reader_, body, kFormatSize);
            format = fmt.size() == kFormatSize;
            tag = fmt.Be16(0);
            channels = fmt.Be16(2);
            rate = fmt.Be32(4);
            byteRate = fmt.Be32(8);
            bits = fmt.Be16(14);
        } else if (id == F("data")) {
            dataBytes = available;
        } else if (id == F("LIST") && chunk.Equals(8, "INFO")) {
            // "INAM", "IART", ... texts, each a chunk of its own.
            uint64_t p = body + 4;
            const uint64_t listEnd = body + available;
            for (int n = 0; n < kMaxInfoItems && p + 8 <= listEnd; ++n) {
                const ByteView item = ViewAt(reader_, p, 8);
                const uint64_t itemSize = item.Be32(4);
                if (itemSize > listEnd - (p + 8)) break;
                const ByteView text = ViewAt(reader_, p + 8, std::min<uint64_t>(itemSize, kMaxText));
                std::string value(reinterpret_cast<const char*>(text.data()), text.size());
                if (const size_t nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
                AddMetadataItem(records_.container.metadata, FourCCText(item.Le32(0)),
                                IsValidUtf8(value) ? value : Latin1ToUtf8(value));
                p += 8 + itemSize + (itemSize & 1);
            }
        }
        if (size > riffEnd - body) {
            status = CutShort(position, "chunk " + FourCCText(id), size, riffEnd - body);
            break;
        }
        position = body + size + (size & 1);
    }
    if (status.IsOk() && riffEnd < records_.container.declaredLength)
        status = ReadStatus::Truncated(position, "RIFX declares " + std::to_string(records_.container.declaredLength) +
                                                     " bytes, the file has " + std::to_string(fileEnd));
    if (!format) return status.Merge(ReadStatus::Damaged(12, "no format chunk"));
    records_.container.bigEndianWave = true;

    StreamInfo* sound = AddSoundStream(records_, tag == 1 ? "PCM (big-endian)" : "RIFX", tag);
    if (!sound) return status;
    SetSoundFormat(*sound, rate, channels, bits, 1);
    sound->bitrateKbps = static_cast<int32_t>(uint64_t(byteRate) * 8 / 1000);
    if (byteRate > 0) SetSoundDuration(records_, *sound, SamplesToMs(dataBytes, byteRate), dataBytes);
    SetShortDuration(*sound, dataBytes, byteRate);
    AddOnlySoundTrack(records_, Format(N_("формат 0x%04X"), tag));
    return status;
}

}  // namespace torvo
