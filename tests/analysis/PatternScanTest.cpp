#include "base/PatternScan.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace torvo {
namespace {

uint64_t NaiveFind(const std::vector<uint8_t>& bytes, const BytePattern& pattern, uint64_t from, uint64_t to) {
    const uint64_t reach = pattern.Reach();
    for (uint64_t p = from; p < to && p + reach <= bytes.size(); ++p) {
        bool all = true;
        for (uint32_t i = 0; i < pattern.count; ++i)
            all = all && (bytes[p + pattern.terms[i].offset] & pattern.terms[i].mask) == pattern.terms[i].value;
        if (all) return p;
    }
    return ByteView::npos;
}

// Every vector width finds and visits what a byte-by-byte search finds, from
// any start to any end, in data where the pattern's bytes are common; the
// buffers are exactly as long as the data, so that a read past them is caught.
TEST(PatternScan, EveryWidthFindsWhatAPlainSearchFinds) {
    const std::vector<BytePattern> patterns = {
        {{0, 0xFF, 0x47}},
        {{0, 0xFF, 0xFF}, {1, 0xE0, 0xE0}},
        {{0, 0xFF, 0x00}, {1, 0xFF, 0x00}, {2, 0xFF, 0x01}},
        {{2, 0xFF, 0}, {162, 0xFF, 1}, {322, 0xFF, 1}, {402, 0xFF, 2}},
    };
    std::mt19937 random(7);
    const uint8_t common[] = {0x00, 0x01, 0x02, 0x47, 0xFF, 0xE3};
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes(random() % 1200);
        for (uint8_t& b : bytes) b = random() % 3 ? common[random() % 6] : static_cast<uint8_t>(random());
        const BytePattern& pattern = patterns[static_cast<size_t>(round) % patterns.size()];
        const ByteView view(bytes.data(), bytes.size());
        for (int query = 0; query < 20; ++query) {
            const uint64_t from = random() % (bytes.size() + 2);
            const uint64_t to = query % 4 == 0 ? ByteView::npos : random() % (bytes.size() + 40);
            const uint64_t expected = NaiveFind(bytes, pattern, from, to);
            for (const unsigned lanes : {1u, 16u, 32u, 64u, 0u}) {
                ASSERT_EQ(FindPatternWith(lanes, view, pattern, from, to), expected)
                    << "lanes " << lanes << " size " << bytes.size() << " from " << from << " to " << to;
                // An end just at a match: the match is outside.
                if (expected != ByteView::npos) {
                    ASSERT_EQ(FindPatternWith(lanes, view, pattern, from, expected), ByteView::npos) << "lanes " << lanes;
                }
                // Visiting: each match hands over where the search goes on
                // (sometimes within the same block, sometimes far beyond), and
                // the fifth match stops it.
                std::vector<uint64_t> visited, wanted;
                for (uint64_t p = NaiveFind(bytes, pattern, from, to); p != ByteView::npos && wanted.size() < 5;
                     p = NaiveFind(bytes, pattern, p + 1 + p % 37, to))
                    wanted.push_back(p);
                struct Collect {
                    std::vector<uint64_t>& out;
                    uint64_t operator()(uint64_t p) {
                        out.push_back(p);
                        return out.size() == 5 ? ByteView::npos : p + 1 + p % 37;
                    }
                } collect{visited};
                ForEachPatternWith(
                    lanes, view, pattern, from, to,
                    [](void* c, uint64_t p) { return (*static_cast<Collect*>(c))(p); }, &collect);
                ASSERT_EQ(visited, wanted) << "lanes " << lanes << " from " << from;
            }
            // The one-byte search with its visitor inlined visits the same.
            if (pattern.count == 1) {
                std::vector<uint64_t> visited, wanted;
                for (uint64_t p = NaiveFind(bytes, pattern, from, to); p != ByteView::npos && wanted.size() < 5;
                     p = NaiveFind(bytes, pattern, p + 1 + p % 37, to))
                    wanted.push_back(p);
                ForEachByte(view, pattern.terms[0].value, from, to, [&](uint64_t p) {
                    visited.push_back(p);
                    return visited.size() == 5 ? ByteView::npos : p + 1 + p % 37;
                });
                ASSERT_EQ(visited, wanted) << "from " << from;
            }
        }
    }
}

}  // namespace
}  // namespace torvo
