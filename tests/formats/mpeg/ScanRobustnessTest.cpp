// Truncated and mutated samples through the full scan's scanners, recorder
// and drawing (the fuzz target's entry point): nothing may crash or read out
// of bounds.
#include <gtest/gtest.h>

#include <random>

#include "TestUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace torvo {
namespace {

using test::Bytes;

void Feed(const Bytes& b) { LLVMFuzzerTestOneInput(b.data(), b.size()); }

TEST(ScanRobustness, TruncatedAndMutatedSamples) {
    std::mt19937 random(13);
    for (const std::string& name : test::SampleNamesIn("scan")) {
        if (name.ends_with(".txt")) continue;
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        test::ForEachTruncation(whole, 24, 6, Feed);
        for (int round = 0; round < 6; ++round) {
            Bytes mutated = whole;
            for (int k = 0; k < 40; ++k) mutated[random() % mutated.size()] = static_cast<uint8_t>(random());
            Feed(mutated);
        }
    }
}

}  // namespace
}  // namespace torvo
