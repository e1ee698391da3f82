#include "analysis/PatternScan.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TORVO_X86_VECTORS 1
#endif

namespace torvo {
namespace {

// Position p of [p, end) by the terms, one byte at a time.
template <uint32_t N>
uint64_t FindBytewise(const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t) {
    for (; p < end; ++p) {
        bool all = true;
        for (uint32_t i = 0; i < N && all; ++i) all = (d[p + t[i].offset] & t[i].mask) == t[i].value;
        if (all) return p;
    }
    return ByteView::npos;
}

#ifdef TORVO_X86_VECTORS
template <uint32_t N>
uint64_t Find16(const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t) {
    __m128i masks[N], values[N];
    for (uint32_t i = 0; i < N; ++i) {
        masks[i] = _mm_set1_epi8(static_cast<char>(t[i].mask));
        values[i] = _mm_set1_epi8(static_cast<char>(t[i].value));
    }
    for (; p + 16 <= end; p += 16) {
        __m128i all = _mm_set1_epi8(-1);
        for (uint32_t i = 0; i < N; ++i) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + p + t[i].offset));
            all = _mm_and_si128(all, _mm_cmpeq_epi8(_mm_and_si128(bytes, masks[i]), values[i]));
        }
        if (const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(all))) return p + uint64_t(__builtin_ctz(bits));
    }
    return FindBytewise<N>(d, p, end, t);
}

template <uint32_t N>
__attribute__((target("avx2"))) uint64_t Find32(const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t) {
    __m256i masks[N], values[N];
    for (uint32_t i = 0; i < N; ++i) {
        masks[i] = _mm256_set1_epi8(static_cast<char>(t[i].mask));
        values[i] = _mm256_set1_epi8(static_cast<char>(t[i].value));
    }
    for (; p + 32 <= end; p += 32) {
        __m256i all = _mm256_set1_epi8(-1);
        for (uint32_t i = 0; i < N; ++i) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + p + t[i].offset));
            all = _mm256_and_si256(all, _mm256_cmpeq_epi8(_mm256_and_si256(bytes, masks[i]), values[i]));
        }
        if (const auto bits = static_cast<uint32_t>(_mm256_movemask_epi8(all))) return p + uint64_t(__builtin_ctz(bits));
    }
    return Find16<N>(d, p, end, t);
}

const bool kHaveAvx2 = [] {
    __builtin_cpu_init();  // static initialisers may run before the library's own
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

template <uint32_t N>
uint64_t FindTerms(unsigned lanes, const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t) {
#ifdef TORVO_X86_VECTORS
    if (lanes == 0) lanes = kHaveAvx2 ? 32 : 16;
    if (lanes == 32 && kHaveAvx2) return Find32<N>(d, p, end, t);
    if (lanes != 1) return Find16<N>(d, p, end, t);
#else
    (void)lanes;
#endif
    return FindBytewise<N>(d, p, end, t);
}

}  // namespace

uint64_t FindPattern(ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to) {
    return FindPatternWith(0, data, pattern, from, to);
}

uint64_t FindPatternWith(unsigned lanes, ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to) {
    const uint64_t reach = pattern.Reach();
    if (pattern.count == 0 || data.size() < reach) return ByteView::npos;
    // Every byte a candidate's terms read lies inside the view: a block of
    // positions ending before `end` reads up to end - 1 + the largest offset.
    const uint64_t end = std::min(to, data.size() - reach + 1);
    if (from >= end) return ByteView::npos;
    const uint8_t* d = data.data();
    const BytePattern::Term* t = pattern.terms.data();
    switch (pattern.count) {
        case 1: return FindTerms<1>(lanes, d, from, end, t);
        case 2: return FindTerms<2>(lanes, d, from, end, t);
        case 3: return FindTerms<3>(lanes, d, from, end, t);
        default: return FindTerms<4>(lanes, d, from, end, t);
    }
}

}  // namespace torvo
