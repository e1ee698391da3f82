#include "formats/mpeg/StartCodes.h"

#include <algorithm>

namespace torvo {

uint64_t FindStartCode(ByteView data, uint64_t from) {
    if (data.size() < 4) return ByteView::npos;
    const uint64_t last = data.size() - 4;  // the code byte must be there too
    for (uint64_t p = from; p <= last;) {
        // The third byte of a start code is 01: look for it and check the two before.
        const uint64_t one = data.FindByte(0x01, p + 2, last + 3);
        if (one == ByteView::npos) return ByteView::npos;
        if (data.U8(one - 1) == 0 && data.U8(one - 2) == 0) return one - 2;
        p = one - 1;
    }
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
