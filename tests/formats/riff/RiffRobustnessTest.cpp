// Truncated and mutated RIFF files must never crash, hang or read out of
// bounds (the sanitizer build turns any such read into a failure).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "formats/riff/RiffBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace torvo {
namespace {

using test::Bytes;

void Feed(const Bytes& b) { LLVMFuzzerTestOneInput(b.data(), b.size()); }

std::vector<std::string> RiffSamples() {
    std::vector<std::string> names = test::SampleNamesIn("riff");
    for (const char* name : {"avi_mpeg4.avi", "avi_mpeg4_mp3.avi", "wave_pcm.wav"}) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RiffRobustness, AllSamplesAreThere) { EXPECT_EQ(RiffSamples().size(), 16u); }

TEST(RiffRobustness, TruncatedSamples) {
    for (const std::string& name : RiffSamples()) {
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        test::ForEachTruncation(whole, 80, 48, Feed);
    }
}

TEST(RiffRobustness, MutatedSamples) {
    std::mt19937 random(20261208);
    for (const std::string& name : RiffSamples()) {
        SCOPED_TRACE(name);
        const Bytes whole = test::ReadBytes(test::SamplePath(name));
        for (int round = 0; round < 80; ++round) {
            Bytes b = whole;
            const int changes = 1 + static_cast<int>(random() % 6);
            for (int c = 0; c < changes; ++c) {
                // Most changes hit the headers; some write a whole size field.
                const size_t span = (random() % 4) ? std::min<size_t>(b.size(), 12000) : b.size();
                const size_t at = random() % span;
                if (random() & 1) {
                    b[at] = static_cast<uint8_t>(random());
                } else {
                    const auto value = static_cast<uint32_t>((random() & 1) ? random() : random() % 64);
                    for (size_t i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
                }
            }
            Feed(b);
        }
    }
}

TEST(RiffRobustness, HostileStructures) {
    using namespace test;
    Feed(List("RIFF", "AVI ", {}, 0xFFFFFFFF));
    Feed(List("RIFF", "AVI ", {List("LIST", "movi", {}, 0xFFFFFFF0)}));
    Feed(List("RIFF", "AVI ", {List("LIST", "hdrl", {Chunk("avih", Bytes(3, 1)), Chunk("strf", Bytes(2, 0))})}));
    Feed(List("RIFF", "AVI ", {List("LIST", "hdrl", {List("LIST", "strl", {Strh("vids", "", 0, 0, 0xFFFFFFFF),
                                                                           BitmapStrf(INT32_MIN, INT32_MIN, "XVID")})})}));
    Bytes deep = Chunk("00dc", Bytes(20, 0));
    for (int i = 0; i < 300; ++i) deep = List("LIST", "rec ", {deep});
    Feed(List("RIFF", "AVI ", {List("LIST", "movi", {deep})}));
    // Zero-size chunks all the way: 8-byte steps through 3 MiB.
    Feed(Cat({Text("RIFF"), Le32(3 << 20), Text("AVI "), Bytes(3 << 20, 0)}));
}

}  // namespace
}  // namespace torvo
