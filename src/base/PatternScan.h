// The search that the content probes spend most of their time in: the first
// position at which a few bytes at fixed distances have given values. One
// linear pass over the view, 64 positions a step where the processor has
// AVX2 (else 16), never reading outside it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>

#include "base/ByteView.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace torvo {

struct BytePattern {
    // The byte at position + offset, masked, must equal value.
    struct Term {
        uint32_t offset = 0;
        uint8_t mask = 0xFF;
        uint8_t value = 0;
    };
    std::array<Term, 4> terms{};
    uint32_t count = 0;

    constexpr BytePattern(std::initializer_list<Term> list) {
        for (const Term& t : list)
            if (count < terms.size()) terms[count++] = t;
    }
    // How many bytes from a position the terms look at.
    constexpr uint64_t Reach() const {
        uint64_t reach = 0;
        for (uint32_t i = 0; i < count; ++i) reach = std::max<uint64_t>(reach, terms[i].offset + 1u);
        return reach;
    }
};

// The first position p with from <= p < to at which every term holds, or
// ByteView::npos. Positions whose terms would reach past the view are not
// candidates.
uint64_t FindPattern(ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to = ByteView::npos);
// The same with vectors of the given number of bytes (1, 16 or 32; 0 is the
// widest this processor has, and a width it lacks falls back to 16), so that
// tests reach every path.
uint64_t FindPatternWith(unsigned lanes, ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to);

// Calls visit at each such position in order, without starting the search
// afresh for each (in many streams a candidate turns up every few hundred
// bytes); visit returns where the search goes on (after the position), or
// ByteView::npos to stop it.
using PatternVisit = uint64_t (*)(void* context, uint64_t position);
void ForEachPatternWith(unsigned lanes, ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to,
                        PatternVisit visit, void* context);
template <typename Visit>
void ForEachPattern(ByteView data, const BytePattern& pattern, uint64_t from, uint64_t to, Visit& visit) {
    ForEachPatternWith(
        0, data, pattern, from, to, [](void* context, uint64_t p) { return (*static_cast<Visit*>(context))(p); }, &visit);
}

// True when this processor has AVX2 (the one-byte search's widest path; the
// pattern search goes to AVX-512 where the processor has it).
bool HaveAvx2();

namespace detail {
#if defined(__x86_64__) || defined(__i386__)
// Every `value` in [p, end) 64 positions a step, the visitor inlined: for
// bytes that turn up every few hundred positions, a call per candidate would
// cost more than the search.
template <typename Visit>
__attribute__((target("avx2"))) uint64_t ForEachByteAvx2(const uint8_t* d, uint64_t p, uint64_t end, uint8_t value,
                                                         Visit& visit) {
    const __m256i wanted = _mm256_set1_epi8(static_cast<char>(value));
    while (p + 64 <= end) {
        const __m256i low = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + p)), wanted);
        const __m256i high = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + p + 32)), wanted);
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any)) {  // most blocks hold none
            p += 64;
            continue;
        }
        uint64_t bits = uint64_t(uint32_t(_mm256_movemask_epi8(low))) | uint64_t(uint32_t(_mm256_movemask_epi8(high))) << 32;
        uint64_t resume = p + 64;
        while (bits) {
            const uint64_t q = p + uint64_t(__builtin_ctzll(bits));
            uint64_t next = visit(q);
            if (next == ByteView::npos) return ByteView::npos;
            next = next > q ? next : q + 1;
            if (next >= p + 64) {
                resume = next;
                break;
            }
            bits &= ~0ull << (next - p);
        }
        p = resume;
    }
    return p;
}
#endif
}  // namespace detail

// Calls visit at each position p with from <= p < to holding `value`, in
// order; visit returns where the search goes on (after p), or npos to stop.
template <typename Visit>
void ForEachByte(ByteView data, uint8_t value, uint64_t from, uint64_t to, Visit&& visit) {
    const uint64_t end = std::min<uint64_t>(to, data.size());
    const uint8_t* d = data.data();
    uint64_t p = from;
#if defined(__x86_64__) || defined(__i386__)
    if (HaveAvx2() && p < end) p = detail::ForEachByteAvx2(d, p, end, value, visit);
#endif
    while (p < end) {
        if (d[p] != value) {
            ++p;
            continue;
        }
        const uint64_t next = visit(p);
        if (next == ByteView::npos) return;
        p = std::max(next, p + 1);
    }
}

}  // namespace torvo
