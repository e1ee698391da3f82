// Truncated, mutated and hostile inputs through every MPEG-family parser:
// nothing may crash, hang or read out of bounds (the sanitizer build turns
// any such read into a failure).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "formats/mpeg/MpegTestUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace torvo {
namespace {

using test::Bytes;

void Feed(const Bytes& b) { LLVMFuzzerTestOneInput(b.data(), b.size()); }

std::vector<std::string> MpegSamples() { return test::SampleNamesIn("mpeg"); }

TEST(MpegRobustness, SamplesAreThere) { EXPECT_EQ(MpegSamples().size(), 33u); }

TEST(MpegRobustness, TruncatedSamples) {
    for (const std::string& name : MpegSamples()) {
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        test::ForEachTruncation(whole, 48, 12, Feed);
    }
}

TEST(MpegRobustness, MutatedSamples) {
    std::mt19937 random(20261208);
    for (const std::string& name : MpegSamples()) {
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        if (whole.empty()) continue;
        // The first 16 KiB hold the headers the parsers read; keep the rest short.
        const Bytes head(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(whole.size(), 16384)));
        for (int round = 0; round < 12; ++round) {
            Bytes b = head;
            const int changes = 1 + static_cast<int>(random() % 16);
            for (int c = 0; c < changes; ++c) b[random() % b.size()] = static_cast<uint8_t>(random());
            Feed(b);
        }
    }
}

TEST(MpegRobustness, HostileInputs) {
    Feed(Bytes(300 * 1024, 0x00));                 // endless zero runs: NAL start codes everywhere
    Feed(Bytes(300 * 1024, 0xFF));                 // sync words everywhere
    Bytes codes;                                    // every start code, each with a huge length field
    for (int i = 0; i < 4096; ++i) test::Append(codes, {0, 0, 1, static_cast<uint8_t>(i), 0xFF, 0xFF});
    Feed(codes);
    Bytes packs;                                    // pack headers with maximal stuffing, back to back
    for (int i = 0; i < 2000; ++i) test::Append(packs, {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xFF});
    Feed(packs);
    Bytes sps;                                      // SPS units whose Exp-Golomb codes never end
    for (int i = 0; i < 500; ++i) test::Append(sps, {0, 0, 0, 1, 0x67, 100, 0, 40, 0, 0, 0, 0, 0, 0});
    Feed(sps);
    std::mt19937 random(11);
    Bytes noise(1 << 20);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    Feed(noise);
}

}  // namespace
}  // namespace torvo
