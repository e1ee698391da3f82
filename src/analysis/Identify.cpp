#include "analysis/Identify.h"

#include <array>

#include "base/PatternScan.h"
#include "formats/containers/Ebml.h"
#include "formats/containers/FormatRegistry.h"

namespace torvo {

uint64_t Id3v2TagSize(ByteView header) {
    if (!header.Equals(0, "ID3") || !header.Has(6, 4)) return 0;
    // Synchsafe integer: seven bits per byte, most significant byte first.
    uint64_t size = 0;
    for (int i = 6; i < 10; ++i) size = size << 7 | (header.U8(i) & 0x7F);
    return size + 10;
}

const SignatureRow* IdentifyBySignature(CFileCache& reader, FileIdentity& identity) {
    if (const uint64_t tag = Id3v2TagSize(reader.Header())) reader.Skip(tag);
    // Matroska and WebM are named by the EBML header's DocType, which need
    // not stand first in that header (where the "matroska" row looks for it).
    if (const SignatureRow* row = MatroskaRow(reader.Header())) {
        identity.row = row;
        identity.typeId = row->typeId;
        return row;
    }
    const SignatureRow* row = MatchSignature(reader.Header());
    if (row) {
        identity.row = row;
        identity.typeId = row->typeId;
    }
    return row;
}

bool IsTransportStream(ByteView header) {
    // Per packet id: 0xFF = never seen, else (run of in-order counters << 4) | last counter.
    constexpr uint8_t kUnseen = 0xFF, kEnough = 14;
    std::array<uint8_t, 8192> state;
    state.fill(kUnseen);
    if (header.size() <= 1025) return false;
    const uint64_t end = header.size() - 1024;  // the last 1024 bytes are never examined
    // In most data a 0x47 turns up every few hundred bytes, too often for a
    // library search per byte or a call per candidate.
    bool found = false;
    // Every 0x47 is a candidate, and the search resumes four bytes after it.
    auto candidate = [&](uint64_t p) -> uint64_t {
        const uint8_t b1 = header.U8(p + 1), b2 = header.U8(p + 2), b3 = header.U8(p + 3);
        const bool transportError = b1 & 0x80, scrambled = b3 & 0xC0, carriesNothing = (b3 & 0x30) == 0;
        if (transportError || scrambled || carriesNothing) return p + 4;
        const unsigned pid = (b1 & 0x1Fu) << 8 | b2;
        const uint8_t cc = b3 & 0x0F;
        uint8_t& s = state[pid];
        if (s == kUnseen) {
            s = cc;
        } else {
            unsigned run = s >> 4;
            const unsigned last = s & 0x0F;
            if (run != kEnough) run = cc == ((last + 1) & 0x0F) ? run + 1 : 0;
            if (run == kEnough) {  // a run of fourteen is final
                found = true;
                return ByteView::npos;
            }
            s = static_cast<uint8_t>(run << 4 | cc);
        }
        return p + 4;
    };
    ForEachByte(header, 0x47, 1, end, candidate);
    return found;
}

void SettleFileType(FileIdentity& identity, int32_t dvTypeId) {
    if (identity.typeId == kTypeUnknown && identity.layout != StreamLayout::kNone)
        identity.typeId = identity.layout == StreamLayout::kTransportStream ? kTypeTransportStream : kTypeMpeg;
    if (identity.typeId == kTypeUnknown && dvTypeId != kTypeUnknown) identity.typeId = dvTypeId;
    if (!identity.row) identity.row = FormatRowForType(identity.typeId);
}

}  // namespace torvo
