// Truncated, mutated and hostile inputs through every container reader: none
// may crash, hang or read out of bounds (the sanitizer build turns any such
// read into a failure). Each sample goes through all three readers, so each
// reader also meets the other formats' bytes.
#include <gtest/gtest.h>

#include <random>

#include "ContainerFuzz.h"
#include "formats/containers/ContainerTestUtil.h"

namespace torvo {
namespace {

using namespace test;

void RunAll(const Bytes& b) {
    fuzz::RunMp4QT(b.data(), b.size());
    fuzz::RunFlv(b.data(), b.size());
    fuzz::RunAsf(b.data(), b.size());
}

std::vector<std::string> Samples() {
    return {"containers/mp4_h264_aac.mp4", "containers/mp4_h264_aac_faststart.mp4",
            "containers/mp4_mpeg4_aac_stereo.mp4", "containers/mp4_tags.mp4", "containers/audio_aac.m4a",
            "containers/video_h263.3gp", "containers/mov_mjpeg_pcm.mov", "containers/mov_qtrle.mov",
            "containers/mov_mjpeg_mp3.mov", "containers/mov_mjpeg_ima.mov", "containers/flv_sorenson_mp3_22k.flv",
            "containers/flv_sorenson_mp3_44k.flv", "containers/flv_screen.flv", "containers/flv_screen2.flv",
            "containers/flv_nellymoser.flv", "containers/flv_adpcm.flv", "containers/flv_h264_aac.flv",
            "containers/asf_wmv1_wma1.wmv", "containers/asf_wmv2_wma2.wmv", "containers/asf_msmpeg4.asf",
            "containers/audio_wma2.wma", "mp4_mpeg4_aac.mp4", "quicktime.mov", "flv_h263_mp3.flv",
            "asf_wmv2_wma.wmv"};
}

TEST(ContainerRobustness, TruncatedSamples) {
    for (const std::string& name : Samples()) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadBytes(SamplePath(name));
        ASSERT_FALSE(whole.empty());
        ForEachTruncation(whole, 96, 40, RunAll);
    }
}

TEST(ContainerRobustness, MutatedSamples) {
    std::mt19937 random(20261208);
    for (const std::string& name : Samples()) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadBytes(SamplePath(name));
        for (int round = 0; round < 80; ++round) {
            Bytes b = whole;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int c = 0; c < changes; ++c) {
                // Most changes hit the headers: the first 4 KiB, and the moov at the end of a plain MP4.
                const size_t at = random() % 4 == 0 ? random() % b.size()
                                  : random() % 2    ? random() % std::min<size_t>(b.size(), 4096)
                                                    : b.size() - 1 - random() % std::min<size_t>(b.size(), 4096);
                b[at] = random() % 3 == 0 ? 0xFF : static_cast<uint8_t>(random());
            }
            RunAll(b);
        }
    }
}

TEST(ContainerRobustness, HostileStructures) {
    // A million empty boxes at the top level.
    Bytes boxes;
    const Bytes empty = Be32(8) + Text("free");
    for (int i = 0; i < 1000000; ++i) boxes.insert(boxes.end(), empty.begin(), empty.end());
    RunAll(boxes);
    // Boxes nested as deep as the bytes allow, each claiming all its parent has left.
    Bytes nested;
    for (int i = 0; i < 20000; ++i) {
        const Bytes head = Be32(static_cast<uint32_t>(8 * (20000 - i))) + Text("moov");
        nested.insert(nested.end(), head.begin(), head.end());
    }
    RunAll(nested);
    // FLV: half a million empty script tags.
    Bytes flv = Text("FLV") + Bytes{1, 5} + Be32(9);
    const Bytes script = Be32(11) + Bytes{18} + Be24(0) + Be24(0) + Bytes{0} + Be24(0);
    for (int i = 0; i < 500000; ++i) flv.insert(flv.end(), script.begin(), script.end());
    RunAll(flv);
    // ASF: a header announcing four billion objects of 24 bytes.
    Bytes asf = Bytes(asf::kHeader.begin(), asf::kHeader.end()) + Le64(0xFFFFFFFFull) + Le32(0xFFFFFFFF) + Bytes{1, 2};
    const Bytes object = Bytes(asf::kMetadata.begin(), asf::kMetadata.end()) + Le64(24);
    for (int i = 0; i < 100000; ++i) asf.insert(asf.end(), object.begin(), object.end());
    RunAll(asf);
}

TEST(ContainerRobustness, TablesClaimingMoreThanTheyHold) {
    // A movie whose sample tables announce four billion entries but hold none.
    auto box = [](const std::string& type, const Bytes& payload) {
        return Be32(static_cast<uint32_t>(8 + payload.size())) + Text(type) + payload;
    };
    const Bytes counts = Zeros(4) + Be32(0xFFFFFFFF);
    const Bytes stbl = box("stbl", box("stts", counts) + box("stsd", counts) + box("stco", counts) +
                                       box("stsz", Zeros(4) + Be32(0) + Be32(0xFFFFFFFF)) + box("stsc", counts));
    const Bytes hdlr = box("hdlr", Zeros(8) + Text("vide") + Zeros(12));
    const Bytes movie = box("moov", box("trak", box("mdia", hdlr + box("minf", stbl))));
    MemoryReader m(movie);
    CSupMP4QT mp4(m.reader, m.records);
    mp4.ReadMovie();
    EXPECT_TRUE(mp4.TracksRead());
    EXPECT_TRUE(mp4.Tables(CSupMP4QT::kVideo).chunkOffsets.empty());
    EXPECT_EQ(m.records.video.frameCount, 0xFFFFFFFF);
    EXPECT_EQ(m.records.video.data.Count(), 0u);
}

}  // namespace
}  // namespace torvo
