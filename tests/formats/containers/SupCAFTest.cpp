// Core Audio Format: the ffmpeg samples against ffprobe and mediainfo through
// the driver, byte-built edge cases of the chunk walk, and truncated and
// mutated samples.
#include <gtest/gtest.h>

#include <random>

#include "NamedFormatFuzz.h"
#include "analysis/TypedReport.h"
#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/FfprobeExpectations.h"
#include "formats/containers/FormatRegistry.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/containers/SupCAF.h"

namespace torvo {
namespace {

using namespace test;

TEST(CafSamples, AgreeWithFfprobeAndMediainfo) {
    // ffprobe's rate, channels and bits; the duration mediainfo gives (the
    // packet table's valid frames: ffprobe counts the AAC priming too).
    struct Case {
        const char* file;
        const char* codec;  // the stream's name in the report
        int formatTag, rate, channels, bits;
        int64_t durationMs;
        const char* typedCodec;
    } const cases[] = {
        {"caf_pcm16.caf", "PCM", 1, 22050, 2, 16, 100, "pcm_s16le"},
        {"caf_alaw.caf", "A-law", 6, 8000, 1, 8, 300, "pcm_alaw"},
        {"caf_mulaw.caf", "mu-law", 7, 8000, 1, 8, 300, "pcm_mulaw"},
        {"caf_float.caf", "PCM (плав.точка 32)", 3, 22050, 1, 32, 100, "pcm_f32be"},
        {"caf_aac.caf", "AAC", 0xFF, 44100, 2, 0, 500, "aac"},
        {"caf_alac.caf", "ALAC", 0, 22050, 1, 16, 371, "alac"},  // the bits are in the cookie
    };
    ASSERT_EQ(SampleNamesIn("caf").size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DatabaseDriver d;
        ASSERT_TRUE(d.Analyse(std::string("caf/") + c.file));
        const AnalysisRecords& r = d.driver.Records();
        ASSERT_EQ(r.container.audioCount, 1);
        const StreamInfo* s = r.StreamIf(0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->codecName, c.codec);
        EXPECT_EQ(s->formatTag, c.formatTag);
        EXPECT_EQ(s->sampleRate, c.rate);
        EXPECT_EQ(s->channels, c.channels);
        if (c.bits > 0) {
            EXPECT_EQ(s->bitsPerSample, c.bits);
        }
        EXPECT_EQ(s->durationMs, c.durationMs);
        const std::vector<std::string> notes = d.Notes();
        EXPECT_NE(std::find(notes.begin(), notes.end(), "CAF << { 1 ауд }"), notes.end());
        EXPECT_NE(std::find(notes.begin(), notes.end(), "Тип файла: Core Audio Format (.CAF)"), notes.end());
        const TypedReport typed = BuildTypedReport(r, "", "");
        EXPECT_EQ(typed.container.format, "caf");
        EXPECT_EQ(typed.container.mime, "audio/x-caf");
        ASSERT_EQ(typed.streams.size(), 1u);
        EXPECT_EQ(typed.streams[0].codec, c.typedCodec);
        EXPECT_EQ(typed.streams[0].bitsPerSample.value_or(0), c.bits);
    }
    DatabaseDriver aac;
    ASSERT_TRUE(aac.Analyse("caf/caf_aac.caf"));
    EXPECT_EQ(aac.UserData(), std::vector<std::string>{"title:Torvo CAF"});
}

Bytes Chunk(const char* type, const Bytes& body, uint64_t size) { return Text(type) + Be64(size) + body; }
Bytes Chunk(const char* type, const Bytes& body) { return Chunk(type, body, body.size()); }
// An audio description: 44.1 kHz (the double 0x40E5888000000000), a format
// id and flags, bytes and frames per packet, channels, bits per channel.
Bytes Description(const char* format, uint32_t bytesPerPacket, uint32_t framesPerPacket, uint32_t channels, uint32_t bits) {
    return Chunk("desc", Be64(0x40E5888000000000) + Text(format) + Be32(0) + Be32(bytesPerPacket) + Be32(framesPerPacket) +
                             Be32(channels) + Be32(bits));
}

TEST(CafReader, ChunkWalkEdgeCases) {
    const Bytes head = Text("caff") + Be16(1) + Be16(0);
    const Bytes pcm = Description("lpcm", 4, 1, 2, 16);
    struct Case {
        const char* what;
        Bytes bytes;
        int rate;  // -1: no stream
        int64_t durationMs;
        uint64_t declaredLength;
        bool intact = true;  // false: the reader reports where the file goes wrong
    } const cases[] = {
        {"data to the end of the file (size -1)", head + pcm + Chunk("data", Zeros(4 + 17640), UINT64_MAX), 44100, 100, 0},
        {"data of its stated size", head + pcm + Chunk("data", Zeros(4 + 4412)), 44100, 25, 8 + 44 + 12 + 4416},
        {"data cut short: what the file holds, the stated end for the length check",
         head + pcm + Chunk("data", Zeros(4 + 4412), 4 + 44100), 44100, 25, 8 + 44 + 12 + 4 + 44100, false},
        {"packet table gives the valid frames",
         head + Description("aac ", 0, 1024, 2, 0) + Chunk("pakt", Be64(3) + Be64(2205) + Be32(1024) + Be32(43) + Bytes{10, 10, 10}) +
             Chunk("data", Zeros(4 + 30)),
         44100, 50, 8 + 44 + 39 + 46},
        {"description not first", head + Chunk("data", Zeros(8)) + pcm, -1, 0, 0},
        {"version 2 is not read", Text("caff") + Be16(2) + Be16(0) + pcm, -1, 0, 0},
        {"description too short", head + Chunk("desc", Zeros(20)), -1, 0, 0},
        {"size far beyond any file", head + pcm + Chunk("free", Zeros(4), 0x7FFFFFFFFFFFFFF0ull), 44100, 0, 0, false},
        {"open size only for data", head + pcm + Chunk("free", Zeros(8), UINT64_MAX), 44100, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryReader m(c.bytes);
        const ReadStatus status = CSupCAF(m.reader, m.records).Analyse();
        const StreamInfo* s = m.records.StreamIf(0);
        if (c.rate < 0) {
            EXPECT_EQ(s, nullptr);
            continue;
        }
        EXPECT_EQ(status.IsOk(), c.intact) << status.Reason();
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->sampleRate, c.rate);
        EXPECT_EQ(s->durationMs, c.durationMs);
        EXPECT_EQ(m.records.container.declaredLength, c.declaredLength);
    }
}

TEST(CafReader, CodecsByFormatId) {
    EXPECT_EQ(FindCafCodec(FourCCOf("lpcm"), 0, 24).formatTag, 1);
    EXPECT_EQ(FindCafCodec(FourCCOf("lpcm"), 1, 64).name, "PCM (плав.точка 64)");
    EXPECT_EQ(FindCafCodec(FourCCOf("ulaw"), 0, 8).formatTag, 7);
    EXPECT_EQ(FindCafCodec(FourCCOf("alac"), 0, 0).name, "ALAC");
    EXPECT_EQ(FindCafCodec(FourCCOf("zzzz"), 0, 0).name, "");
}

TEST(CafRobustness, TruncatedAndMutatedSamples) {
    std::mt19937 random(20261210);
    for (const std::string& name : SampleNamesIn("caf")) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadBytes(SamplePath(name));
        ForEachTruncation(whole, 64, 24, [](const Bytes& b) { fuzz::RunCaf(b.data(), b.size()); });
        for (int round = 0; round < 40; ++round) {
            Bytes b = whole;
            for (int c = 0, changes = 1 + static_cast<int>(random() % 8); c < changes; ++c)
                b[random() % std::min<size_t>(b.size(), 512)] = static_cast<uint8_t>(random());
            fuzz::RunCaf(b.data(), b.size());
        }
    }
}

}  // namespace
}  // namespace torvo
