#include "formats/mpeg/StartCodes.h"

#include <algorithm>

#include "base/PatternScan.h"

namespace torvo {

namespace {

// Positions in a range of 4 MiB fit 32 bits; ranges holding more start codes
// than this (no real stream does) are scanned by each parser instead.
constexpr size_t kMaxIndexedCodes = 1 << 18;

// 00 00 01 (in video 01 bytes are too common for a search of them alone to be fast).
constexpr BytePattern kPrefix = {{0, 0xFF, 0x00}, {1, 0xFF, 0x00}, {2, 0xFF, 0x01}};

uint64_t ScanForStartCode(ByteView data, uint64_t from) {
    if (data.size() < 4) return ByteView::npos;
    return FindPattern(data, kPrefix, from, data.size() - 3);  // the code byte must be there too
}

// The first search covers this much; each further one twice what the last did.
constexpr uint64_t kFirstSearchStep = 16 * 1024;

}  // namespace

StartCodeIndex::StartCodeIndex(ByteView range) : range_(range), step_(kFirstSearchStep) {
    usable_ = range.size() <= UINT32_MAX;
    if (range.size() < 4) searched_ = range.size();
}

bool StartCodeIndex::SearchUpTo(uint64_t wanted) {
    const uint64_t end = range_.size() < 4 ? 0 : range_.size() - 3;  // the code byte must be there too
    bool full = false;
    auto add = [this, &full](uint64_t p) -> uint64_t {
        if (positions_.size() == kMaxIndexedCodes) {
            full = true;
            return ByteView::npos;
        }
        positions_.push_back(static_cast<uint32_t>(p));
        return p + 1;
    };
    while (searched_ < end && (positions_.empty() || positions_.back() < wanted)) {
        const uint64_t stop = std::min(end, std::max(searched_ + step_, wanted + 1));
        ForEachPattern(range_, kPrefix, searched_, stop, add);
        if (full) {
            positions_ = {};
            usable_ = false;
            return false;
        }
        searched_ = stop;
        step_ *= 2;
    }
    return true;
}

bool StartCodeIndex::Covers(ByteView view) const {
    return usable_ && view.data() >= range_.data() && view.data() + view.size() <= range_.data() + range_.size();
}

bool StartCodeIndex::LookupIn(ByteView view, uint64_t from, const StartCodeSet* wantedCodes, uint64_t& found) {
    const uint8_t* begin = range_.data();
    const uint8_t* at = view.data();
    if (!usable_ || !begin || at < begin) return false;
    const auto offset = static_cast<uint64_t>(at - begin);
    if (offset > range_.size() || view.size() > range_.size() - offset) return false;
    found = ByteView::npos;
    if (view.size() < 4 || from > view.size() - 4) return true;
    const uint64_t wanted = offset + from;
    if ((positions_.empty() || positions_.back() < wanted) && !SearchUpTo(wanted)) return false;
    // Parsers ask for the code after the one they were given: a few steps
    // forward from the last answer usually reach it.
    const uint32_t* codes = positions_.data();
    size_t count = positions_.size();
    size_t i = hint_;
    if (i <= count && (i == 0 || codes[i - 1] < wanted)) {
        for (const size_t last = std::min(count, i + 8); i < last && codes[i] < wanted;) ++i;
        if (i < count && codes[i] < wanted)
            i = static_cast<size_t>(std::lower_bound(codes + i, codes + count, wanted) - codes);
    } else {
        i = static_cast<size_t>(std::lower_bound(codes, codes + count, wanted) - codes);
    }
    // The code byte must lie inside the view too: past the view's last
    // possible code nothing more is found.
    const uint64_t last = offset + view.size() - 4;
    if (wantedCodes) {
        for (;; ++i) {
            if (i == count) {  // known codes used up: search further
                if (count == 0 || codes[count - 1] >= last) break;
                if (!SearchUpTo(uint64_t(codes[count - 1]) + 1)) return false;
                codes = positions_.data();
                if (positions_.size() == count) break;
                count = positions_.size();
            }
            if (codes[i] > last || wantedCodes->Has(begin[codes[i] + 3])) break;
        }
    }
    hint_ = i;
    if (i < count && codes[i] <= last) found = codes[i] - offset;
    return true;
}

uint64_t FindStartCode(ByteView data, uint64_t from, StartCodeIndex* index) {
    uint64_t found = 0;
    if (index && index->Lookup(data, from, found)) return found;
    return ScanForStartCode(data, from);
}

uint64_t FindStartCodeIn(ByteView data, uint64_t from, const StartCodeSet& codes, StartCodeIndex* index) {
    uint64_t found = 0;
    if (index && index->LookupIn(data, from, &codes, found)) return found;
    for (uint64_t p = ScanForStartCode(data, from); p != ByteView::npos; p = ScanForStartCode(data, p + 1))
        if (codes.Has(data.U8(p + 3))) return p;
    return ByteView::npos;
}

void AppendUserData(ContainerInfo& container, ByteView block) {
    std::string& text = container.userData;
    if (text.size() >= kUserDataCapacity) return;
    const size_t take = std::min(block.size(), kUserDataCapacity - text.size());
    text.append(reinterpret_cast<const char*>(block.data()), take);
    if (text.size() < kUserDataCapacity) text.push_back('\0');
}

}  // namespace torvo
