#include "base/PatternScan.h"

#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TORVO_X86_VECTORS 1
#if __has_include(<sys/platform/x86.h>)
// glibc 2.33 and later; a C header whose one word C++ lacks is _Bool.
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#endif
#endif

namespace torvo {
namespace {

// Where the search goes on after a match at p: the visitor's answer (at
// least p + 1), or, for a plain search, nowhere.
struct Visitor {
    PatternVisit visit = nullptr;
    void* context = nullptr;
    uint64_t Resume(uint64_t p) const {
        if (!visit) return ByteView::npos;
        const uint64_t next = visit(context, p);
        return next == ByteView::npos ? next : std::max(next, p + 1);
    }
};

// The first match in [p, end), one byte at a time; with a visitor, every match.
template <uint32_t N>
uint64_t FindBytewise(const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t, const Visitor& v) {
    while (p < end) {
        bool all = true;
        for (uint32_t i = 0; i < N && all; ++i) all = (d[p + t[i].offset] & t[i].mask) == t[i].value;
        if (!all) {
            ++p;
            continue;
        }
        if (!v.visit) return p;
        p = v.Resume(p);
    }
    return ByteView::npos;
}

// The matches of one block of positions from p, lane k in bit k: returns
// where the search goes on, npos when it stops (found, or told to).
inline uint64_t VisitBlock(uint64_t bits, uint64_t p, uint64_t lanes, const Visitor& v, uint64_t& found) {
    while (bits) {
        const uint64_t q = p + uint64_t(__builtin_ctzll(bits));
        if (!v.visit) {
            found = q;
            return ByteView::npos;
        }
        const uint64_t next = v.Resume(q);
        if (next == ByteView::npos || next >= p + lanes) return next;
        bits &= ~0ull << (next - p);
    }
    return p + lanes;
}

#ifdef TORVO_X86_VECTORS
// The terms are unrolled at compile time: a loop over them (with its index
// and branches) costs more than the compares it wraps.
template <uint32_t N, size_t... I>
inline __m128i Match16(const uint8_t* at, const uint64_t* offsets, const __m128i* masks, const __m128i* values,
                       std::index_sequence<I...>) {
    auto term = [&](size_t i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + offsets[i]));
        return _mm_cmpeq_epi8(_mm_and_si128(bytes, masks[i]), values[i]);
    };
    __m128i all = term(0);
    ((all = I == 0 ? all : _mm_and_si128(all, term(I))), ...);
    return all;
}

template <uint32_t N>
uint64_t Find16(const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t, const Visitor& v) {
    __m128i masks[N], values[N];
    uint64_t offsets[N];
    for (uint32_t i = 0; i < N; ++i) {
        masks[i] = _mm_set1_epi8(static_cast<char>(t[i].mask));
        values[i] = _mm_set1_epi8(static_cast<char>(t[i].value));
        offsets[i] = t[i].offset;
    }
    uint64_t found = ByteView::npos;
    while (p + 16 <= end) {
        const __m128i all = Match16<N>(d + p, offsets, masks, values, std::make_index_sequence<N>());
        const auto bits = static_cast<uint32_t>(_mm_movemask_epi8(all));
        p = bits ? VisitBlock(bits, p, 16, v, found) : p + 16;
        if (p == ByteView::npos) return found;
    }
    return FindBytewise<N>(d, p, end, t, v);
}

// Lanes where every term holds for the 32 positions from `at`.
// (Masked: some term's mask is not FF; most patterns compare whole bytes.)
template <uint32_t N, bool Masked, size_t... I>
__attribute__((target("avx2"), always_inline)) inline __m256i Match32(const uint8_t* at, const uint64_t* offsets,
                                                                      const __m256i* masks, const __m256i* values,
                                                                      std::index_sequence<I...>) {
    auto term = [&](size_t i) __attribute__((target("avx2"), always_inline)) {
        __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + offsets[i]));
        if constexpr (Masked) bytes = _mm256_and_si256(bytes, masks[i]);
        return _mm256_cmpeq_epi8(bytes, values[i]);
    };
    __m256i all = term(0);
    ((all = I == 0 ? all : _mm256_and_si256(all, term(I))), ...);
    return all;
}

template <uint32_t N, bool Masked>
__attribute__((target("avx2"))) uint64_t Find32(const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t,
                                                const Visitor& v) {
    __m256i masks[N], values[N];
    uint64_t offsets[N];  // in registers, not read again after every visit
    for (uint32_t i = 0; i < N; ++i) {
        masks[i] = _mm256_set1_epi8(static_cast<char>(t[i].mask));
        values[i] = _mm256_set1_epi8(static_cast<char>(t[i].value));
        offsets[i] = t[i].offset;
    }
    constexpr auto terms = std::make_index_sequence<N>();
    uint64_t found = ByteView::npos;
    // Sixty-four positions a step, one test for both halves: most steps find nothing.
    while (p + 64 <= end) {
        const __m256i low = Match32<N, Masked>(d + p, offsets, masks, values, terms);
        const __m256i high = Match32<N, Masked>(d + p + 32, offsets, masks, values, terms);
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any)) {
            p += 64;
            continue;
        }
        const uint64_t bits = uint64_t(uint32_t(_mm256_movemask_epi8(low))) |
                              uint64_t(uint32_t(_mm256_movemask_epi8(high))) << 32;
        p = VisitBlock(bits, p, 64, v, found);
        if (p == ByteView::npos) return found;
    }
    while (p + 32 <= end) {
        const auto bits = uint32_t(_mm256_movemask_epi8(Match32<N, Masked>(d + p, offsets, masks, values, terms)));
        p = bits ? VisitBlock(bits, p, 32, v, found) : p + 32;
        if (p == ByteView::npos) return found;
    }
    return Find16<N>(d, p, end, t, v);
}

// Lanes where every term holds for the 64 positions from `at`, one mask
// carried from term to term.
template <uint32_t N, bool Masked, size_t... I>
__attribute__((target("avx512bw"), always_inline)) inline uint64_t Match64(const uint8_t* at, const uint64_t* offsets,
                                                                           const __m512i* masks, const __m512i* values,
                                                                           std::index_sequence<I...>) {
    __mmask64 all = ~__mmask64(0);
    auto term = [&](size_t i, __mmask64 lanes) __attribute__((target("avx512bw"), always_inline)) {
        __m512i bytes = _mm512_loadu_si512(at + offsets[i]);
        if constexpr (Masked) bytes = _mm512_and_si512(bytes, masks[i]);
        return _mm512_mask_cmpeq_epi8_mask(lanes, bytes, values[i]);
    };
    ((all = term(I, all)), ...);
    return all;
}

template <uint32_t N, bool Masked>
__attribute__((target("avx512bw"))) uint64_t Find64(const uint8_t* d, uint64_t p, uint64_t end,
                                                    const BytePattern::Term* t, const Visitor& v) {
    __m512i masks[N], values[N];
    uint64_t offsets[N];
    for (uint32_t i = 0; i < N; ++i) {
        masks[i] = _mm512_set1_epi8(static_cast<char>(t[i].mask));
        values[i] = _mm512_set1_epi8(static_cast<char>(t[i].value));
        offsets[i] = t[i].offset;
    }
    constexpr auto terms = std::make_index_sequence<N>();
    uint64_t found = ByteView::npos;
    while (p + 64 <= end) {
        const uint64_t bits = Match64<N, Masked>(d + p, offsets, masks, values, terms);
        p = bits ? VisitBlock(bits, p, 64, v, found) : p + 64;
        if (p == ByteView::npos) return found;
    }
    return Find32<N, Masked>(d, p, end, t, v);
}

// The loader has already asked the processor (and the kernel, for the
// register state) which features are usable; its answer costs no CPUID,
// which a virtual machine may have to trap, at every start.
#ifdef CPU_FEATURE_ACTIVE
const bool kHaveAvx2 = CPU_FEATURE_ACTIVE(AVX2);
const bool kHaveAvx512 = kHaveAvx2 && CPU_FEATURE_ACTIVE(AVX512BW);
#else
const bool kHaveAvx2 = [] {
    __builtin_cpu_init();  // static initialisers may run before the library's own
    return __builtin_cpu_supports("avx2") != 0;
}();
const bool kHaveAvx512 = kHaveAvx2 && __builtin_cpu_supports("avx512bw") != 0;
#endif
#endif

template <uint32_t N>
uint64_t FindTerms(unsigned lanes, const uint8_t* d, uint64_t p, uint64_t end, const BytePattern::Term* t,
                   const Visitor& v) {
#ifdef TORVO_X86_VECTORS
    if (lanes == 0) lanes = kHaveAvx512 ? 64 : kHaveAvx2 ? 32 : 16;
    bool masked = false;
    for (uint32_t i = 0; i < N; ++i) masked = masked || t[i].mask != 0xFF;
    if (lanes == 64 && kHaveAvx512)
        return masked ? Find64<N, true>(d, p, end, t, v) : Find64<N, false>(d, p, end, t, v);
    if (lanes >= 32 && kHaveAvx2)
        return masked ? Find32<N, true>(d, p, end, t, v) : Find32<N, false>(d, p, end, t, v);
    if (lanes != 1) return Find16<N>(d, p, end, t, v);
#else
    (void)lanes;
#endif
    return FindBytewise<N>(d, p, end, t, v);
}

uint64_t Run(unsigned lanes, ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to, const Visitor& v) {
    const uint64_t reach = pattern.Reach();
    if (pattern.count == 0 || data.size() < reach) return ByteView::npos;
    // Every byte a candidate's terms read lies inside the view: a block of
    // positions ending before `end` reads up to end - 1 + the largest offset.
    const uint64_t end = std::min(to, data.size() - reach + 1);
    if (from >= end) return ByteView::npos;
    const uint8_t* d = data.data();
    const BytePattern::Term* t = pattern.terms.data();
    switch (pattern.count) {
        case 1: return FindTerms<1>(lanes, d, from, end, t, v);
        case 2: return FindTerms<2>(lanes, d, from, end, t, v);
        case 3: return FindTerms<3>(lanes, d, from, end, t, v);
        default: return FindTerms<4>(lanes, d, from, end, t, v);
    }
}

}  // namespace

bool HaveAvx2() {
#ifdef TORVO_X86_VECTORS
    return kHaveAvx2;
#else
    return false;
#endif
}

uint64_t FindPattern(ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to) {
    return FindPatternWith(0, data, pattern, from, to);
}

uint64_t FindPatternWith(unsigned lanes, ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to) {
    return Run(lanes, data, pattern, from, to, {});
}

void ForEachPatternWith(unsigned lanes, ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to,
                        PatternVisit visit, void* context) {
    if (visit) Run(lanes, data, pattern, from, to, {visit, context});
}

}  // namespace torvo
