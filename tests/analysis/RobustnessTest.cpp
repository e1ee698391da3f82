// Truncated, mutated and hostile inputs must never crash, hang or read out of
// bounds (the sanitizer build turns any such read into a failure).
#include <gtest/gtest.h>

#include <random>

#include "TestUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace torvo {
namespace {

using test::Bytes;

void Feed(const Bytes& b) { LLVMFuzzerTestOneInput(b.data(), b.size()); }

// Sub-folders hold the samples of one format family, with their own sweeps.
std::vector<std::string> SampleNames() { return test::SampleNamesIn(""); }

TEST(Robustness, SamplesAreAllThere) { EXPECT_GE(SampleNames().size(), 26u); }

TEST(Robustness, TruncatedSamples) {
    for (const std::string& name : SampleNames()) {
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        test::ForEachTruncation(whole, 64, 24, Feed);
        // Around the places disc images keep their structures.
        for (size_t at : {32768u, 32769u, 37632u, 37657u, 38912u, 40960u, 42000u, 44688u})
            if (at < whole.size()) Feed(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(at)));
    }
}

TEST(Robustness, MutatedSamples) {
    std::mt19937 random(20261208);
    for (const std::string& name : SampleNames()) {
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        if (whole.empty()) continue;
        for (int round = 0; round < 60; ++round) {
            Bytes b = whole;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int c = 0; c < changes; ++c) {
                // Half the changes hit the first 64 KiB, where headers and descriptors live.
                const size_t span = (random() & 1) ? std::min<size_t>(b.size(), 65536) : b.size();
                const size_t at = random() % span;
                b[at] = static_cast<uint8_t>(random());
            }
            Feed(b);
        }
    }
}

TEST(Robustness, HostileFiles) {
    Feed(Bytes(5 * 1024 * 1024, 0x47));                  // nothing but sync bytes
    Feed(Bytes(300 * 1024, 0x00));
    Bytes id3 = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};  // a tag longer than the file
    Feed(id3);
    Bytes descriptors;                                     // "01 CD001" at every even offset
    for (int i = 0; i < 40000; ++i) test::Append(descriptors, std::string("\x01" "CD001", 6));
    Feed(descriptors);
    std::mt19937 random(7);
    Bytes noise(1 << 20);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    Feed(noise);
}

}  // namespace
}  // namespace torvo
