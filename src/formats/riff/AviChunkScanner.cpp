#include "formats/riff/AviChunkScanner.h"

#include <cstring>

namespace torvo {
namespace {

constexpr int kVideoStream = 0xE0;

bool IsListId(ByteView view, uint64_t p) {
    char id[4];
    if (!view.Copy(p, id, 4)) return false;
    return (id[0] | 0x20) == 'l' && (id[1] | 0x20) == 'i' && (id[2] | 0x20) == 's' && (id[3] | 0x20) == 't';
}

// The chunks a damaged stretch is resynchronised on.
bool IsResyncId(ByteView view, uint64_t p) {
    return view.Equals(p, "00dc") || view.Equals(p, "00db") || view.Equals(p, "01wb");
}

}  // namespace

bool CAviChunkScanner::Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) {
    const ByteView view = DataPart(buffer, start, dataEnd);
    const bool moreData = start + buffer.size() < dataEnd;
    if (next_ < start) next_ = start;
    uint64_t p = next_ - start;
    while (phase_ != Phase::kEnd) {
        if (start + p >= dataEnd) {
            phase_ = Phase::kEnd;
            break;
        }
        if (p >= view.size()) break;
        Step step = Step::kNext;
        switch (phase_) {
            case Phase::kRiff: step = Riff(view, start, p); break;
            case Phase::kTopLevel: step = TopLevel(view, start, p); break;
            case Phase::kMovi: step = Chunk(view, start, p, moreData); break;
            case Phase::kResync: step = Resync(view, p, moreData); break;
            case Phase::kEnd: break;
        }
        if (step == Step::kEnd) phase_ = Phase::kEnd;
        if (step == Step::kWait) {
            if (!moreData) phase_ = Phase::kEnd;
            break;
        }
    }
    next_ = start + p;
    return phase_ == Phase::kEnd;
}

CAviChunkScanner::Step CAviChunkScanner::Riff(ByteView view, uint64_t start, uint64_t& p) {
    if (!view.Has(p, 12)) return Step::kWait;
    if (!view.Equals(p, "RIFF")) return Step::kEnd;
    riffEnd_ = start + p + 8 + view.Le32(p + 4);
    p += 12;
    phase_ = Phase::kTopLevel;
    return Step::kNext;
}

CAviChunkScanner::Step CAviChunkScanner::TopLevel(ByteView view, uint64_t start, uint64_t& p) {
    if (start + p + 8 > riffEnd_) return Step::kEnd;  // no 'movi' list: nothing to scan
    if (!view.Has(p, 12)) return Step::kWait;
    const uint64_t size = view.Le32(p + 4);
    if (view.Equals(p, "LIST") && view.Equals(p + 8, "movi")) {
        moviEnd_ = start + p + 8 + size;
        p += 12;
        phase_ = Phase::kMovi;
        return Step::kNext;
    }
    p += 8 + size + (size & 1);
    return Step::kNext;
}

CAviChunkScanner::Step CAviChunkScanner::Chunk(ByteView view, uint64_t start, uint64_t& p, bool moreData) {
    if (start + p + 8 > moviEnd_) return Step::kEnd;
    if (!view.Has(p, 8)) return Step::kWait;
    if (IsListId(view, p)) {  // a 'rec ' list: step into it
        p += 12;
        return Step::kNext;
    }
    const uint32_t declared = view.Le32(p + 4);
    const uint64_t size = uint64_t(declared) + (declared & 1);
    if (start + p + 8 + size > moviEnd_) {
        // A chunk that cannot be: look for the next video or audio chunk.
        p += 8;
        phase_ = Phase::kResync;
        return Step::kNext;
    }
    const char a = static_cast<char>(view.U8(p)), b = static_cast<char>(view.U8(p + 1));
    if (a == '0' && b == '0') {
        if (recordPictures_ && size <= kLargestRecordedChunk) {
            if (!view.Has(p + 8, size) && moreData) return Step::kWait;  // read it whole from the next buffer
            recorder_.RecordPictures(view.Sub(p + 8, std::min<uint64_t>(size, view.size() - (p + 8))), kVideoStream);
        }
        ++totals_.videoChunks;
        if (size == 0) {
            ++totals_.droppedFrames;
            recorder_.MarkLastPicture(kFrameEmptyChunk);
        }
        totals_.videoBytes += size;
        totals_.largestChunk = std::max(totals_.largestChunk, size);
    } else if (a == '0' && b == '1') {
        totals_.audioBytes += size;
    }
    p += 8 + size;
    return Step::kNext;
}

CAviChunkScanner::Step CAviChunkScanner::Resync(ByteView view, uint64_t& p, bool moreData) {
    for (uint64_t q = p; q + 4 <= view.size(); ++q) {
        q = view.FindByte('0', q);
        if (q == ByteView::npos) break;
        if (IsResyncId(view, q)) {
            p = q;
            phase_ = Phase::kMovi;
            return Step::kNext;
        }
    }
    // An id cut by the buffer's end is found in the next one.
    p = view.size() >= 3 && moreData ? std::max(p, uint64_t(view.size() - 3)) : view.size();
    return Step::kWait;
}

}  // namespace torvo
