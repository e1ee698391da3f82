#include "base/ByteView.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace torvo {
namespace {

// The plain definition the fast search must agree with.
uint64_t NaiveFind(const std::vector<uint8_t>& bytes, std::string_view text, uint64_t from, uint64_t step) {
    if (text.empty() || step == 0 || text.size() > bytes.size()) return ByteView::npos;
    for (uint64_t p = from; p <= bytes.size() - text.size(); ++p)
        if (p % step == 0 && std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(p),
                                        [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }))
            return p;
    return ByteView::npos;
}

TEST(ByteView, FindAgreesWithThePlainSearchEverywhere) {
    // Texts of one to seven bytes planted at every offset around the
    // sixteen-byte blocks and the end, in buffers with near misses (first or
    // last byte right, the middle wrong), for every step and start.
    std::mt19937 random(7);
    const std::vector<std::string> texts = {std::string("\x47", 1), "AB", std::string("\0\0\1", 3),
                                            std::string("\x01" "CD001", 6), "ABCDEFG"};
    for (const std::string& text : texts) {
        for (size_t size : {0u, 1u, 5u, 15u, 16u, 17u, 31u, 33u, 64u, 100u}) {
            for (size_t plant = 0; plant < size + 2; ++plant) {
                std::vector<uint8_t> bytes(size);
                for (uint8_t& b : bytes) b = static_cast<uint8_t>("ABG\x47\x01\x00" "C"[random() % 7]);
                if (plant + text.size() <= size) std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(plant));
                const ByteView view(bytes.data(), bytes.size());
                for (uint64_t step : {1u, 2u, 3u})
                    for (uint64_t from : {uint64_t(0), uint64_t(1), uint64_t(plant), uint64_t(plant + 1), uint64_t(size),
                                          ByteView::npos - 1})
                        ASSERT_EQ(view.Find(text, from, step), NaiveFind(bytes, text, from, step))
                            << "text size " << text.size() << ", buffer " << size << ", planted at " << plant
                            << ", from " << from << ", step " << step;
            }
        }
    }
}

TEST(ByteView, LaneBitsNumberTheMatchingLanes) {
    uint8_t bytes[16] = {};
    bytes[0] = bytes[5] = bytes[15] = 0x47;
    const ByteView view(bytes, 16);
    EXPECT_EQ(ByteView::LaneBits(view.LanesAt(0) == 0x47), (1u << 0) | (1u << 5) | (1u << 15));
    EXPECT_EQ(ByteView::LaneBits(view.LanesAt(0) == 0x48), 0u);
}

}  // namespace
}  // namespace torvo
