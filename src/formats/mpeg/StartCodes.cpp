#include "formats/mpeg/StartCodes.h"

#include <algorithm>

namespace torvo {

uint64_t FindStartCode(ByteView data, uint64_t from) {
    if (data.size() < 4) return ByteView::npos;
    const uint64_t last = data.size() - 4;  // the code byte must be there too
    auto isPrefix = [&](uint64_t p) { return data.U8(p) == 0 && data.U8(p + 1) == 0 && data.U8(p + 2) == 1; };
    uint64_t p = from;
    // Sixteen positions at a time: in video 01 bytes are too common for a
    // search of them alone to be fast.
    for (; p + 16 <= last; p += 16) {
        const auto prefix = (data.Lanes16(p) == 0) & (data.Lanes16(p + 1) == 0) & (data.Lanes16(p + 2) == 1);
        if (!ByteView::AnyLane(prefix)) continue;
        for (uint64_t q = p;; ++q)
            if (isPrefix(q)) return q;
    }
    for (; p <= last; ++p)
        if (isPrefix(p)) return p;
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
