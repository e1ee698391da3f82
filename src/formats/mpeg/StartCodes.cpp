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

bool StartCodeIndex::Lookup(ByteView view, uint64_t from, uint64_t& found) {
    const uint8_t* begin = range_.data();
    if (!usable_ || !begin || view.data() < begin || view.data() + view.size() > begin + range_.size()) return false;
    const auto offset = static_cast<uint64_t>(view.data() - begin);
    found = ByteView::npos;
    if (view.size() < 4 || from > view.size() - 4) return true;
    const uint64_t wanted = offset + from;
    if (!SearchUpTo(wanted)) return false;
    // Parsers ask for the code after the one they were given: a few steps
    // forward from the last answer usually reach it.
    auto first = positions_.begin();
    size_t i = hint_;
    if (i <= positions_.size() && (i == 0 || positions_[i - 1] < wanted)) {
        for (int steps = 0; i < positions_.size() && positions_[i] < wanted && steps < 8; ++steps) ++i;
        first += static_cast<std::ptrdiff_t>(i);
    } else {
        i = 0;
    }
    if (i < positions_.size() && positions_[i] < wanted)
        i = static_cast<size_t>(std::lower_bound(first, positions_.end(), wanted) - positions_.begin());
    hint_ = i;
    // The code byte must lie inside the view too.
    if (i < positions_.size() && positions_[i] - offset <= view.size() - 4) found = positions_[i] - offset;
    return true;
}

uint64_t FindStartCode(ByteView data, uint64_t from, StartCodeIndex* index) {
    uint64_t found = 0;
    if (index && index->Lookup(data, from, found)) return found;
    return ScanForStartCode(data, from);
}

void AppendUserData(ContainerInfo& container, ByteView block) {
    std::string& text = container.userData;
    if (text.size() >= kUserDataCapacity) return;
    const size_t take = std::min(block.size(), kUserDataCapacity - text.size());
    text.append(reinterpret_cast<const char*>(block.data()), take);
    if (text.size() < kUserDataCapacity) text.push_back('\0');
}

}  // namespace torvo
