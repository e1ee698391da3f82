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

}  // namespace torvo
