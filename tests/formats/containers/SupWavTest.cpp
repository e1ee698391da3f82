// The ASF header reader on ffmpeg samples (checked against ffprobe) and on
// byte-built headers for every object it takes values from.
#include "formats/containers/SupWav.h"

#include <gtest/gtest.h>

#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/ContainerUtil.h"

namespace torvo {
namespace {

using namespace test;

Bytes G(const AsfGuid& guid) { return Bytes(guid.begin(), guid.end()); }
Bytes Object(const AsfGuid& guid, const Bytes& body) { return G(guid) + Le64(24 + body.size()) + body; }
Bytes Utf16(const std::string& ascii, bool terminate = true) {
    Bytes b;
    for (char c : ascii) b = b + Le16(static_cast<uint8_t>(c));
    return terminate ? b + Le16(0) : b;
}

Bytes Header(const std::vector<Bytes>& objects, uint8_t reserved2 = 2) {
    Bytes body;
    for (const Bytes& o : objects) body = body + o;
    return G(asf::kHeader) + Le64(30 + body.size()) + Le32(static_cast<uint32_t>(objects.size())) +
           Bytes{1, reserved2} + body + G(asf::kData) + Le64(50) + Zeros(26);
}

Bytes FileProperties(uint64_t fileSize, uint64_t created, uint64_t duration, uint32_t maxBitrate) {
    return Object(asf::kFileProperties, Zeros(16) + Le64(fileSize) + Le64(created) + Le64(10) + Le64(duration) +
                                            Le64(duration) + Le64(3000) + Le32(2) + Le32(3200) + Le32(3200) +
                                            Le32(maxBitrate));
}

Bytes StreamProperties(const AsfGuid& type, unsigned number, const Bytes& specific, bool encrypted = false) {
    const Bytes errorCorrection = Zeros(8);
    return Object(asf::kStreamProperties,
                  G(type) + Zeros(16) + Le64(0) + Le32(static_cast<uint32_t>(specific.size())) +
                      Le32(static_cast<uint32_t>(errorCorrection.size())) +
                      Le16(number | (encrypted ? 0x8000 : 0)) + Le32(0) + specific + errorCorrection);
}

Bytes WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond) {
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(bytesPerSecond) + Le16(2) + Le16(16) + Le16(0);
}

Bytes VideoFormat(uint32_t width, uint32_t height, const std::string& fourcc) {
    const Bytes bitmap = Le32(40) + Le32(width) + Le32(height) + Le16(1) + Le16(24) + Text(fourcc) + Zeros(20);
    return Le32(width) + Le32(height) + Bytes{2} + Le16(40) + bitmap;
}

struct MetadataRecord {
    unsigned stream;
    std::string name;
    uint16_t type;
    Bytes data;
};
Bytes Metadata(const std::vector<MetadataRecord>& records) {
    Bytes body = Le16(static_cast<uint32_t>(records.size()));
    for (const auto& r : records) {
        const Bytes name = Utf16(r.name);
        body = body + Le16(0) + Le16(r.stream) + Le16(static_cast<uint32_t>(name.size())) + Le16(r.type) +
               Le32(static_cast<uint32_t>(r.data.size())) + name + r.data;
    }
    return Object(asf::kMetadata, body);
}

Bytes HeaderExtension(const std::vector<Bytes>& objects) {
    Bytes data;
    for (const Bytes& o : objects) data = data + o;
    return Object(asf::kHeaderExtension, Zeros(16) + Le16(6) + Le32(static_cast<uint32_t>(data.size())) + data);
}

struct Read {
    explicit Read(const Bytes& bytes) : memory(bytes), asf(memory.reader, memory.records) { status = asf.ReadHeader();
        ok = asf.HeaderRead();
    }
    MemoryReader memory;
    CSupWav asf;
    ReadStatus status;
    bool ok = false;
    const ContainerInfo& container() const { return memory.records.container; }
    const VideoInfo& video() const { return memory.records.video; }
    const StreamInfo* audio(size_t i) const { return memory.records.StreamIf(i); }
};

// ---- real files -----------------------------------------------------------------

TEST(SupWavSamples, StreamsMatchFfprobe) {
    struct Case {
        const char* file;
        const char* fourcc;  // empty: no video
        int formatTag, bitrateKbps;
        const char* audioCodec;
    };
    const Case cases[] = {
        {"asf_wmv1_wma1.wmv", "WMV1", 0x160, 64, "wmav1"},
        {"asf_wmv2_wma2.wmv", "WMV2", 0x161, 64, "Windows Media Audio V8"},
        {"asf_msmpeg4.asf", "MP43", 0x161, 48, "Windows Media Audio V8"},
        {"audio_wma2.wma", "", 0x161, 64, "Windows Media Audio V8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes file = ReadBytes(ContainerSample(c.file));
        Read r(file);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.container().declaredLength, file.size());
        EXPECT_EQ(r.container().videoPresent, *c.fourcc != 0);
        EXPECT_EQ(r.container().audioCount, 1);
        if (*c.fourcc) {
            EXPECT_EQ(FourCCText(r.video().fourcc), c.fourcc);
            EXPECT_EQ(r.video().width, 160);
            EXPECT_EQ(r.video().height, 120);
            EXPECT_EQ(r.container().videoCount, 1);
        }
        ASSERT_NE(r.audio(0), nullptr);
        EXPECT_EQ(r.audio(0)->formatTag, c.formatTag);
        EXPECT_EQ(r.audio(0)->channels, 1);
        EXPECT_EQ(r.audio(0)->sampleRate, 44100);
        EXPECT_EQ(r.audio(0)->bitrateKbps, c.bitrateKbps);
        EXPECT_EQ(r.audio(0)->sourceKind, kSourceContainerSound);
        EXPECT_EQ(r.asf.Stream(static_cast<unsigned>(r.audio(0)->streamId)).kind, "ауд");
        // The codec list names the audio codec.
        bool named = false;
        for (const MetadataItem& item : r.container().metadata) named |= item.name == "ауд" && item.text == c.audioCodec;
        EXPECT_TRUE(named);
        EXPECT_TRUE(r.asf.Seekable());
        EXPECT_EQ(r.asf.PacketSize(), 3200u);
    }
}

TEST(SupWavSamples, FileProperties) {
    Read r(ReadBytes(ContainerSample("asf_wmv2_wma2.wmv")));
    // The play duration includes the 3.1 s preroll ffmpeg writes (ffprobe: 1.046 s of streams).
    EXPECT_EQ(r.container().playDurationMs, 4146);
    EXPECT_EQ(r.container().bitrateKbps, 214);
    EXPECT_EQ(r.asf.Codecs().size(), 2u);
    EXPECT_EQ(r.asf.Codecs()[0].type, 1);
}

// ---- byte-built edge cases ------------------------------------------------------

TEST(SupWavHeader, SecondReservedByteMustBeTwo) {
    const std::vector<Bytes> objects = {FileProperties(1000, 0, 600000000, 128000)};
    Read refused(Header(objects, 1));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.container().declaredLength, 0u);
    EXPECT_EQ(refused.container().playDurationMs, 0);
    Read accepted(Header(objects));
    EXPECT_TRUE(accepted.ok);
    EXPECT_EQ(accepted.container().declaredLength, 1000u);
    EXPECT_EQ(accepted.container().playDurationMs, 60000);
    EXPECT_EQ(accepted.container().bitrateKbps, 128);
    Bytes other = Header(objects);
    other[0] ^= 1;
    EXPECT_FALSE(Read(other).ok);
}

TEST(SupWavHeader, CreationDate) {
    // 2001-01-01 00:00:00 UTC in 100-ns units since 1601.
    const uint64_t date = (978307200ull + 11644473600ull) * 10000000ull;
    EXPECT_EQ(Read(Header({FileProperties(0, date, 0, 0)})).container().creationTime, 978307200);
    EXPECT_EQ(Read(Header({FileProperties(0, 10000000, 0, 0)})).container().creationTime, 0);
}

TEST(SupWavHeader, AudioAndVideoStreams) {
    Read r(Header({StreamProperties(asf::kVideoMedia, 1, VideoFormat(640, 480, "WMV3")),
                   StreamProperties(asf::kAudioMedia, 2, WaveFormat(0x161, 2, 44100, 20000)),
                   StreamProperties(asf::kAudioMedia, 3, WaveFormat(0x162, 6, 48000, 24000), true)}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(FourCCText(r.video().fourcc), "WMV3");
    EXPECT_EQ(r.video().width, 640);
    EXPECT_EQ(r.video().height, 480);
    ASSERT_NE(r.audio(1), nullptr);
    EXPECT_EQ(r.audio(0)->bitrateKbps, 160);
    EXPECT_EQ(r.audio(0)->streamId, 2);
    EXPECT_EQ(r.audio(1)->channels, 6);
    EXPECT_EQ(r.audio(1)->formatTag, 0x162);
    EXPECT_EQ(r.container().audioCount, 2);
    EXPECT_TRUE(r.asf.Stream(3).encrypted);
    EXPECT_FALSE(r.asf.Stream(2).encrypted);
    EXPECT_EQ(r.asf.Stream(1).kind, "вид");
}

TEST(SupWavHeader, OnlyFourAudioStreamsAreDescribed) {
    std::vector<Bytes> objects;
    for (unsigned n = 1; n <= 6; ++n)
        objects.push_back(StreamProperties(asf::kAudioMedia, n, WaveFormat(0x161, 2, 8000 * n, 1000)));
    Read r(Header(objects));
    EXPECT_EQ(r.container().audioCount, 6);
    EXPECT_EQ(r.audio(3)->sampleRate, 32000);
    EXPECT_EQ(r.audio(4), nullptr);
}

TEST(SupWavHeader, HeaderExtensionWithExtendedPropertiesAndMetadata) {
    const Bytes esp = Object(asf::kExtendedStreamProperties,
                             Le64(0) + Le64(0) + Le32(449500) + Zeros(28) + Le16(1) + Le16(0) + Le64(400000) +
                                 Le16(0) + Le16(0));
    const Bytes metadata = Metadata({{1, "AspectRatioX", 3, Le32(4)},
                                     {1, "AspectRatioY", 3, Le32(3)},
                                     {2, "IsVBR", 2, Le16(1)},
                                     {1, "DeviceConformanceTemplate", 0, Utf16("MP@ML")},
                                     {2, "WM/Flag", 2, Le16(0)},
                                     {2, "Bytes", 1, {0xAB, 0xCD}},
                                     {1, "Count", 3, Le32(0xFFFFFFFE)},
                                     {1, "Big", 4, Le64(5000000000ull)},
                                     {1, "Small", 5, Le16(700)},
                                     {1, "Odd", 9, Le16(1)}});
    Read r(Header({HeaderExtension({esp, metadata}),
                   StreamProperties(asf::kVideoMedia, 1, VideoFormat(320, 240, "WMV2")),
                   StreamProperties(asf::kAudioMedia, 2, WaveFormat(0x161, 2, 44100, 16000))}));
    EXPECT_EQ(r.video().usPerFrame, 40000);
    EXPECT_EQ(r.video().bitrateKbps, 450);
    EXPECT_NEAR(r.video().pixelAspect, 1.333, 0.001);
    EXPECT_EQ(r.audio(0)->bitrateType, 2);
    std::vector<std::string> lines;
    for (const MetadataItem& item : r.container().metadata) lines.push_back(item.name + "=" + item.text);
    EXPECT_EQ(lines, (std::vector<std::string>{"вид1 DeviceConformanceTemplate=MP@ML", "ауд2 WM/Flag=FALSE",
                                               "ауд2 Bytes=0xab, ...", "вид1 Count=-2", "вид1 Big=5000000000",
                                               "вид1 Small=700", "вид1 Odd=*ОШИБК*"}));
}

TEST(SupWavHeader, FrameCountOfTheLongestPlayTime) {
    const Bytes esp = Object(asf::kExtendedStreamProperties,
                             Le64(0) + Le64(0) + Le32(0) + Zeros(28) + Le16(1) + Le16(0) + Le64(400000) + Le16(0) + Le16(0));
    auto frames = [&](uint64_t duration) {
        return Read(Header({FileProperties(0, 0, duration, 0), HeaderExtension({esp}),
                            StreamProperties(asf::kVideoMedia, 1, VideoFormat(320, 240, "WMV2"))}))
            .video()
            .frameCount;
    };
    // 60 s of play (the 3 s preroll off) at 25 frames a second.
    EXPECT_EQ(frames(600000000), 1425);
    // The largest play time a file can state: 1,844,674,407,367,955 ms after the
    // preroll; its frame count once overflowed 64 bits on the way.
    EXPECT_EQ(frames(0xFFFFFFFFFFFFFFF0ull), 46116860184199);
}

TEST(SupWavHeader, StreamBitratesAndVbrState) {
    const Bytes bitrates = Object(asf::kStreamBitrateProperties, Le16(2) + Le16(1) + Le32(300000) + Le16(2) + Le32(64000));
    Read r(Header({StreamProperties(asf::kVideoMedia, 1, VideoFormat(320, 240, "WMV2")),
                   StreamProperties(asf::kAudioMedia, 2, WaveFormat(0x161, 2, 44100, 16000)), bitrates,
                   HeaderExtension({Metadata({{2, "IsVBR", 3, Le32(0)}})})}));
    EXPECT_EQ(r.video().bitrateKbps, 300);  // no extended properties: the stream's average bitrate
    EXPECT_EQ(r.asf.Stream(2).averageBitrate, 64000u);
    EXPECT_EQ(r.audio(0)->bitrateType, 1);
    Read unstated(Header({StreamProperties(asf::kAudioMedia, 2, WaveFormat(0x161, 2, 44100, 16000))}));
    EXPECT_EQ(unstated.audio(0)->bitrateType, 0);
    // A record count beyond the object is not read.
    const Bytes shortBody = Object(asf::kStreamBitrateProperties, Le16(3) + Le16(1) + Le32(300000));
    EXPECT_EQ(Read(Header({shortBody})).asf.Stream(1).averageBitrate, 0u);
}

TEST(SupWavHeader, MetadataStopsAtStreamZeroAndAtSixteenItems) {
    std::vector<MetadataRecord> records;
    for (int i = 0; i < 20; ++i) records.push_back({1, "N" + std::to_string(i), 5, Le16(static_cast<uint32_t>(i))});
    Read r(Header({HeaderExtension({Metadata(records)})}));
    ASSERT_EQ(r.container().metadata.size(), 16u);
    EXPECT_EQ(r.container().metadata[15].name, "1 N15");  // a stream never described has no kind name
    Read stopped(Header({HeaderExtension({Metadata({{1, "A", 5, Le16(1)}, {0, "B", 5, Le16(2)}, {1, "C", 5, Le16(3)}})})}));
    EXPECT_EQ(stopped.container().metadata.size(), 1u);
}

TEST(SupWavHeader, CodecListKeepsEightEntries) {
    Bytes body = Zeros(16) + Le32(10);
    for (int i = 0; i < 10; ++i) {
        const Bytes name = Utf16("Codec " + std::to_string(i));
        body = body + Le16(i % 2 ? 2 : 1) + Le16(static_cast<uint32_t>(name.size() / 2)) + name + Le16(1) + Le16(0) +
               Le16(2) + Bytes{0x61, 0x01};
    }
    Read r(Header({Object(asf::kCodecList, body)}));
    ASSERT_EQ(r.asf.Codecs().size(), 8u);
    EXPECT_EQ(r.asf.Codecs()[7].name, "Codec 7");
    ASSERT_EQ(r.container().metadata.size(), 8u);  // empty descriptions add nothing
    EXPECT_EQ(r.container().metadata[0].name, "вид");
    EXPECT_EQ(r.container().metadata[1].name, "ауд");
    EXPECT_EQ(r.container().metadata[1].text, "Codec 1");
}

TEST(SupWavHeader, ObjectsThatDoNotFitEndTheWalk) {
    Bytes tooBig = FileProperties(1000, 0, 0, 0);
    tooBig[16] = 0xF0;  // size far beyond the header
    Read r(Header({StreamProperties(asf::kAudioMedia, 1, WaveFormat(0x161, 2, 44100, 16000)), tooBig}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.container().audioCount, 1);
    EXPECT_EQ(r.container().declaredLength, 0u);
    // A header cut by the end of the file keeps the objects that are whole.
    Bytes cut = Header({FileProperties(5000, 0, 0, 0), StreamProperties(asf::kAudioMedia, 1, WaveFormat(0x161, 2, 44100, 16000))});
    cut.resize(30 + 104 + 40);
    Read partial(cut);
    EXPECT_EQ(partial.container().declaredLength, 5000u);
    EXPECT_EQ(partial.container().audioCount, 0);
}

}  // namespace
}  // namespace torvo
