#include "formats/mpeg/StartCodes.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace torvo {

uint64_t FindStartCode(ByteView data, uint64_t from) {
    if (data.size() < 4) return ByteView::npos;
    const uint64_t last = data.size() - 4;  // the code byte must be there too
    const uint8_t* d = data.data();
    uint64_t p = from;
#if defined(__SSE2__)
    // Sixteen positions at a time: where a byte and the one after it are
    // both zero (rare in coded data) a start code may begin.
    const __m128i zero = _mm_setzero_si128();
    for (; p + 17 <= data.size() && p <= last; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p + 1));
        auto pairs = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, zero), _mm_cmpeq_epi8(b, zero))));
        for (; pairs != 0; pairs &= pairs - 1) {
            const uint64_t q = p + static_cast<uint64_t>(__builtin_ctz(pairs));
            if (q > last) return ByteView::npos;
            if (d[q + 2] == 0x01) return q;
        }
    }
#endif
    for (; p <= last; ++p)
        if (d[p] == 0 && d[p + 1] == 0 && d[p + 2] == 0x01) return p;
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
