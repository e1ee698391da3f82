// Truncated, mutated and hostile transport streams and Matroska files
// through both readers and the whole driver: none may crash, hang or read
// out of bounds (the sanitizer build turns any such read into a failure).
#include <gtest/gtest.h>

#include <random>

#include "ContainerFuzz.h"
#include "analysis/Driver.h"
#include "formats/containers/ContainerTestUtil.h"

namespace torvo {
namespace {

using namespace test;

void RunAll(const Bytes& b) {
    fuzz::RunTs(b.data(), b.size());
    fuzz::RunMkv(b.data(), b.size());
}

void RunDriver(const Bytes& b) {
    MemFile file(b);
    Display display;
    CAnalysisDriver driver(display);
    driver.AnalyseFile(file.Path());
}

std::vector<std::string> Samples() {
    std::vector<std::string> names = SampleNamesIn("tsmkv");
    names.erase(std::remove(names.begin(), names.end(), "tsmkv/expected.txt"), names.end());
    return names;
}

TEST(TsMkvRobustness, TruncatedSamples) {
    ASSERT_EQ(Samples().size(), 14u);
    for (const std::string& name : Samples()) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadBytes(SamplePath(name));
        ASSERT_FALSE(whole.empty());
        ForEachTruncation(whole, 64, 40, RunAll);
        ForEachTruncation(whole, 0, 8, RunDriver);
    }
}

TEST(TsMkvRobustness, MutatedSamples) {
    std::mt19937 random(20261209);
    for (const std::string& name : Samples()) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadBytes(SamplePath(name));
        for (int round = 0; round < 60; ++round) {
            Bytes b = whole;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int c = 0; c < changes; ++c) {
                // Most changes hit the tables and the headers in the first 4 KiB.
                const size_t at = random() % 3 == 0 ? random() % b.size() : random() % std::min<size_t>(b.size(), 4096);
                b[at] = random() % 3 == 0 ? 0xFF : static_cast<uint8_t>(random());
            }
            RunAll(b);
            if (round % 10 == 0) RunDriver(b);
        }
    }
}

// An EBML element header with an eight-byte size.
Bytes Head(uint32_t id, uint64_t size) {
    Bytes out;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (id >> shift || shift == 0) out.push_back(static_cast<uint8_t>(id >> shift));
    out.push_back(0x01);
    for (int shift = 48; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(size >> shift));
    return out;
}

TEST(TsMkvRobustness, HostileStructures) {
    const Bytes ebml = Head(0x1A45DFA3, 11) + Bytes{0x42, 0x82, 0x88} + Text("matroska");
    // Half a million empty clusters of unknown size in a Segment of unknown size.
    Bytes clusters = ebml + Head(0x18538067, 0x00FFFFFFFFFFFFFFull);
    const Bytes empty = Bytes{0x1F, 0x43, 0xB6, 0x75, 0xFF};
    for (int i = 0; i < 500000; ++i) clusters.insert(clusters.end(), empty.begin(), empty.end());
    RunAll(clusters);
    // Simple tags nested as deep as the bytes allow, each claiming all its parent has left.
    Bytes nested = ebml;
    const uint64_t depth = 20000;
    nested = nested + Head(0x18538067, depth * 10 + 20) + Head(0x1254C367, depth * 10 + 10) + Head(0x7373, depth * 10);
    for (uint64_t i = 0; i < depth; ++i) {
        const Bytes head = Head(0x67C8, (depth - i - 1) * 10);
        nested.insert(nested.end(), head.begin(), head.end());
    }
    RunAll(nested);
    // A track entry with a million tiny children.
    Bytes entry;
    for (int i = 0; i < 1000000; ++i) entry.insert(entry.end(), {0xEC, 0x80});
    RunAll(ebml + Head(0x18538067, entry.size() + 18) + Head(0x1654AE6B, entry.size() + 9) + Head(0xAE, entry.size()) + entry);
    // Transport packets all on one PID, each restarting a program map that never ends.
    Bytes ts;
    const Bytes pat = Bytes{0x47, 0x40, 0x00, 0x10, 0x00, 0x00, 0xB0, 0x0D, 0, 1, 0xC1, 0, 0, 0, 1, 0xE1, 0x00} + Zeros(4);
    ts = pat + Bytes(188 - pat.size(), 0xFF);
    for (int i = 0; i < 20000; ++i) {
        Bytes p = {0x47, 0x41, 0x00, static_cast<uint8_t>(0x10 | (i & 15)), 0x00, 0x02, 0xBF, 0xFF};
        p.resize(188, 0x1B);
        ts.insert(ts.end(), p.begin(), p.end());
    }
    RunAll(ts);
    RunDriver(ts);
}

}  // namespace
}  // namespace torvo
