// The MP4/QuickTime box reader on real files made by ffmpeg (values checked
// against ffprobe) and on byte-built movies for the edge cases.
#include "formats/containers/SupMP4QT.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/ContainerUtil.h"

namespace torvo {
namespace {

using namespace test;

Bytes Box(const std::string& type, const Bytes& payload) {
    return Be32(static_cast<uint32_t>(8 + payload.size())) + Text(type) + payload;
}
Bytes FullBox(const std::string& type, uint8_t version, const Bytes& payload) {
    return Box(type, Bytes{version, 0, 0, 0} + payload);
}
Bytes Put16(Bytes b, size_t at, uint16_t v) {
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
    return b;
}

// A visual sample entry: 86 fixed bytes, then child boxes.
Bytes VisualEntry(const std::string& fourcc, uint16_t width, uint16_t height, const Bytes& children = {}) {
    Bytes fixed = Put16(Put16(Zeros(78), 24, width), 26, height);
    return Box(fourcc, fixed + children);
}
// A sound sample entry (version 0 sound description), then child boxes.
Bytes SoundEntry(const std::string& fourcc, uint16_t channels, uint16_t bits, uint16_t rate,
                 const Bytes& children = {}) {
    Bytes fixed = Put16(Put16(Put16(Zeros(28), 16, channels), 18, bits), 24, rate);
    return Box(fourcc, fixed + children);
}
Bytes Esds(uint8_t objectType, uint32_t avgBitrate, const Bytes& specific) {
    const Bytes config = Bytes{objectType, 0x15} + Be24(0) + Be32(avgBitrate) + Be32(avgBitrate);
    const Bytes dsi = Bytes{0x05, uint8_t(specific.size())} + specific;
    const Bytes dcd = Bytes{0x04, uint8_t(config.size() + dsi.size())} + config + dsi;
    const Bytes es = Be16(1) + Bytes{0} + dcd + Bytes{0x06, 0x01, 0x02};
    return FullBox("esds", 0, Bytes{0x03, 0x80, 0x80, uint8_t(es.size())} + es);
}

struct TrackPlan {
    std::string handler = "vide";
    uint32_t timeScale = 25000;
    uint32_t duration = 250000;
    std::vector<std::pair<uint32_t, uint32_t>> stts = {{10, 1000}};
    Bytes entry;
    Bytes tables;  // stco, stsz, stsc boxes
    uint16_t width = 0, height = 0;
};

Bytes Track(const TrackPlan& t) {
    const Bytes tkhd = FullBox("tkhd", 0, Put16(Put16(Zeros(80), 72, t.width), 76, t.height));
    const Bytes mdhd = FullBox("mdhd", 0, Be32(0) + Be32(0) + Be32(t.timeScale) + Be32(t.duration) + Be32(0));
    const Bytes hdlr = FullBox("hdlr", 0, Be32(0) + Text(t.handler) + Zeros(12) + Bytes{0});
    Bytes stts = Be32(static_cast<uint32_t>(t.stts.size()));
    for (auto [count, delta] : t.stts) stts = stts + Be32(count) + Be32(delta);
    const Bytes stbl = Box("stbl", FullBox("stts", 0, stts) + FullBox("stsd", 0, Be32(1) + t.entry) + t.tables);
    return Box("trak", tkhd + Box("mdia", mdhd + hdlr + Box("minf", stbl)));
}

Bytes Stco(std::initializer_list<uint32_t> offsets) {
    Bytes b = Be32(static_cast<uint32_t>(offsets.size()));
    for (uint32_t o : offsets) b = b + Be32(o);
    return FullBox("stco", 0, b);
}
Bytes Stsz(std::initializer_list<uint32_t> sizes) {
    Bytes b = Be32(0) + Be32(static_cast<uint32_t>(sizes.size()));
    for (uint32_t s : sizes) b = b + Be32(s);
    return FullBox("stsz", 0, b);
}
Bytes Stsc(std::initializer_list<std::array<uint32_t, 3>> runs) {
    Bytes b = Be32(static_cast<uint32_t>(runs.size()));
    for (const auto& r : runs) b = b + Be32(r[0]) + Be32(r[1]) + Be32(r[2]);
    return FullBox("stsc", 0, b);
}

Bytes Ftyp() { return Box("ftyp", Text("isom") + Be32(512) + Text("isomavc1")); }
Bytes Movie(const Bytes& children) { return Ftyp() + Box("moov", children); }

struct Parsed {
    explicit Parsed(const Bytes& bytes) : memory(bytes), mp4(memory.reader, memory.records) {
        ftyp = mp4.ReadFtyp();
        status = mp4.ReadMovie();
        movie = mp4.TracksRead();
    }
    MemoryReader memory;
    CSupMP4QT mp4;
    ReadStatus status;
    bool ftyp = false, movie = false;
    const ContainerInfo& container() const { return memory.records.container; }
    const VideoInfo& video() const { return memory.records.video; }
    const StreamInfo* sound() const { return memory.records.StreamIf(0); }
};

// ---- real files -----------------------------------------------------------------

struct SampleExpectation {
    const char* file;
    const char* major;
    const char* videoFourcc;  // empty: no video track
    int width, height, frames, usPerFrame;
    const char* soundFourcc;
    int sampleRate, channels;
    const char* soundName;
};

TEST(SupMP4QTSamples, TracksMatchWhatFfprobeReports) {
    const SampleExpectation cases[] = {
        {"mp4_h264_aac.mp4", "isom", "avc1", 160, 120, 25, 40000, "mp4a", 44100, 1, "MPEG-4 AAC LC"},
        {"mp4_mpeg4_aac_stereo.mp4", "isom", "mp4v", 160, 120, 25, 40000, "mp4a", 48000, 2, "MPEG-4 AAC LC"},
        {"audio_aac.m4a", "M4A ", "", 0, 0, 0, 0, "mp4a", 44100, 1, "MPEG-4 AAC LC"},
        {"video_h263.3gp", "3gp4", "s263", 176, 144, 15, 66666, "mp4a", 22050, 1, "MPEG-4 AAC LC"},
        {"mov_mjpeg_pcm.mov", "qt  ", "jpeg", 160, 120, 13, 40000, "sowt", 44100, 1, "16-бит signed little-endian"},
        {"mov_qtrle.mov", "qt  ", "rle ", 160, 120, 13, 40000, "twos", 44100, 1, "16-бит signed big-endian"},
        {"mov_mjpeg_mp3.mov", "qt  ", "jpeg", 160, 120, 13, 40000, ".mp3", 44100, 1, "MP3, CBR or VBR"},
    };
    for (const SampleExpectation& c : cases) {
        SCOPED_TRACE(c.file);
        Parsed p(ReadBytes(ContainerSample(c.file)));
        ASSERT_TRUE(p.ftyp);
        ASSERT_TRUE(p.movie);
        EXPECT_EQ(FourCCText(p.container().majorBrand), c.major);
        EXPECT_EQ(p.container().videoPresent, *c.videoFourcc != 0);
        if (*c.videoFourcc) {
            EXPECT_EQ(FourCCText(p.video().fourcc), c.videoFourcc);
            EXPECT_EQ(p.video().codedWidth, c.width);
            EXPECT_EQ(p.video().codedHeight, c.height);
            EXPECT_EQ(p.container().declaredWidth, c.width);
            EXPECT_EQ(p.container().declaredHeight, c.height);
            EXPECT_EQ(p.video().frameCount, c.frames);
            EXPECT_EQ(p.video().usPerFrame, c.usPerFrame);
            EXPECT_GT(p.video().data.Count(), 1000u);
        }
        ASSERT_NE(p.sound(), nullptr);
        EXPECT_TRUE(p.container().soundPresent);
        EXPECT_EQ(FourCCText(p.sound()->fourcc), c.soundFourcc);
        EXPECT_EQ(p.sound()->sampleRate, c.sampleRate);
        EXPECT_EQ(p.sound()->channels, c.channels);
        EXPECT_EQ(p.sound()->codecName, c.soundName);
        EXPECT_EQ(p.sound()->sourceKind, kSourceContainerSound);
    }
}

TEST(SupMP4QTSamples, MovieHeaderAndBrands) {
    Parsed p(ReadBytes(ContainerSample("mp4_h264_aac.mp4")));
    EXPECT_EQ(p.container().minorVersion, 512u);
    std::string brands;
    for (uint32_t b : p.container().compatibleBrands) brands += FourCCText(b);
    EXPECT_EQ(brands, "isomiso2avc1mp41");
    EXPECT_EQ(p.video().durationMs, 1000);
    EXPECT_EQ(p.video().timeScale, 12800u);
    // ffmpeg leaves the creation times at zero: before 1970, so not kept.
    EXPECT_EQ(p.container().creationTime, 0);
}

TEST(SupMP4QTSamples, H264SamplesBecomeStartCodeStream) {
    Parsed p(ReadBytes(ContainerSample("mp4_h264_aac.mp4")));
    const std::vector<int> headers = NalHeaders(p.video().data.View());
    ASSERT_GE(headers.size(), 27u);  // SPS, PPS and at least one unit per frame
    EXPECT_EQ(headers[0] & 0x1F, 7);
    EXPECT_EQ(headers[1] & 0x1F, 8);
    int idr = 0;
    for (int h : headers) {
        EXPECT_EQ(h & 0x80, 0) << "forbidden bit set: a length prefix was misread";
        EXPECT_GE(h & 0x1F, 1);
        EXPECT_LE(h & 0x1F, 12);
        idr += (h & 0x1F) == 5;
    }
    EXPECT_EQ(idr, 1);
}

TEST(SupMP4QTSamples, FaststartGivesTheSameRecords) {
    Parsed end(ReadBytes(ContainerSample("mp4_h264_aac.mp4")));
    Parsed front(ReadBytes(ContainerSample("mp4_h264_aac_faststart.mp4")));
    ASSERT_TRUE(front.movie);
    const ByteView a = end.video().data.View(), b = front.video().data.View();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size()));
    ASSERT_NE(front.sound(), nullptr);
    EXPECT_EQ(end.sound()->data.Count(), front.sound()->data.Count());
    EXPECT_NE(end.mp4.Tables(CSupMP4QT::kVideo).chunkOffsets[0], front.mp4.Tables(CSupMP4QT::kVideo).chunkOffsets[0]);
}

TEST(SupMP4QTSamples, AacSamplesAndDescriptor) {
    const Bytes file = ReadBytes(ContainerSample("audio_aac.m4a"));
    Parsed p(file);
    const auto& tables = p.mp4.Tables(CSupMP4QT::kSound);
    // Every sample fits, so the buffer holds exactly the sample bytes, starting at the first chunk.
    EXPECT_EQ(p.sound()->data.Count(), tables.totalSize);
    ASSERT_FALSE(tables.chunkOffsets.empty());
    EXPECT_EQ(0, std::memcmp(p.sound()->data.View().data(), file.data() + tables.chunkOffsets[0], 64));
    EXPECT_EQ(p.mp4.LastEsDescriptor().objectType, 0x40);
    EXPECT_EQ(p.sound()->bitrateKbps, 66);  // ffprobe: 66003 bit/s
    EXPECT_EQ(p.sound()->channelLayoutName, "моно (1/0)");
    EXPECT_EQ(p.sound()->bitsPerSample, 16);
}

TEST(SupMP4QTSamples, Mpeg4VideoConfigurationComesFirst) {
    Parsed p(ReadBytes(ContainerSample("mp4_mpeg4_aac_stereo.mp4")));
    const ByteView data = p.video().data.View();
    EXPECT_EQ(data.Be32(0), 0x000001B0u);  // visual object sequence from the esds
    EXPECT_EQ(p.video().bitrateKbps, 107);  // ffprobe: 106824 bit/s
    EXPECT_EQ(p.sound()->channelLayoutName, "стерео (2/0)");
    EXPECT_EQ(p.sound()->bitrateKbps, 96);
}

TEST(SupMP4QTSamples, TagsBecomeMetadataItems) {
    Parsed p(ReadBytes(ContainerSample("mp4_tags.mp4")));
    std::vector<std::string> lines;
    for (const MetadataItem& item : p.container().metadata) lines.push_back(item.name + "=" + item.text);
    EXPECT_EQ(lines, (std::vector<std::string>{"©nam=Torvo title", "©ART=Torvo artist", "©too=Lavf59.27.100",
                                               "©cmt=Sample with tags"}));
}

TEST(SupMP4QTSamples, WaveFormatInsideQuickTimeSoundEntry) {
    Parsed p(ReadBytes(ContainerSample("mov_mjpeg_ima.mov")));
    ASSERT_NE(p.sound(), nullptr);
    EXPECT_EQ(p.sound()->fourcc, 0x1100736Du);  // "ms" 00 11
    EXPECT_EQ(p.sound()->codecName, "DVI/Intel IMA ADPCM-ACM");
    EXPECT_EQ(p.sound()->formatTag, 0x11);
    EXPECT_EQ(p.sound()->sampleRate, 22050);
    EXPECT_EQ(p.sound()->channels, 1);
    EXPECT_EQ(p.sound()->bitrateKbps, 128);  // 16000 bytes per second
}

// ---- byte-built edge cases ------------------------------------------------------

TEST(SupMP4QTBoxes, SixtyFourBitSizes) {
    const Bytes mvhd = FullBox("mvhd", 0, Be32(0) + Be32(0) + Be32(1000) + Be32(5000) + Zeros(80));
    auto moov64 = [&](uint32_t high) {
        return Box("ftyp", Text("isom") + Be32(0)) + Be32(1) + Text("moov") + Be64((uint64_t(high) << 32) | (16 + mvhd.size())) + mvhd;
    };
    MemoryReader fits(moov64(0));
    CSupMP4QT a(fits.reader, fits.records);
    uint64_t start = 0, end = 0;
    ASSERT_TRUE(a.FindBox("moov\\mvhd", 0, fits.reader.LogicalLength(), start, end));
    EXPECT_EQ(end - start, mvhd.size() - 8);
    a.ReadMovie();
    EXPECT_EQ(fits.records.video.durationMs, 5000);

    MemoryReader huge(moov64(1));
    CSupMP4QT b(huge.reader, huge.records);
    EXPECT_FALSE(b.FindBox("moov", 0, huge.reader.LogicalLength(), start, end));
    b.ReadMovie();
    EXPECT_FALSE(b.TracksRead());
    EXPECT_EQ(huge.records.video.durationMs, 0);
}

TEST(SupMP4QTBoxes, BoxRunningPastItsParentEndsTheSearch) {
    Bytes inner = Box("mvhd", Zeros(8));
    inner[3] = 200;  // claims more than moov holds
    MemoryReader m(Movie(inner) + Box("free", Zeros(300)));
    CSupMP4QT mp4(m.reader, m.records);
    uint64_t start = 0, end = 0;
    EXPECT_FALSE(mp4.FindBox("moov\\mvhd", 0, m.reader.LogicalLength(), start, end));
    EXPECT_TRUE(mp4.FindBox("free", 0, m.reader.LogicalLength(), start, end));
}

Bytes Item(const std::string& name, const std::string& text) {
    return Box(name, Box("data", Be32(1) + Be32(0) + Text(text)));
}
Bytes WithIlst(const Bytes& items) {
    return Movie(Box("udta", FullBox("meta", 0, FullBox("hdlr", 0, Zeros(20)) + Box("ilst", items))));
}

TEST(SupMP4QTBoxes, MetaIsEnteredAfterItsVersionAndFlags) {
    Parsed p(WithIlst(Item("\xA9nam", "Title") + Item("\xA9" "day", "")));
    ASSERT_EQ(p.container().metadata.size(), 2u);
    EXPECT_EQ(p.container().metadata[0].name, "©nam");
    EXPECT_EQ(p.container().metadata[0].text, "Title");
    EXPECT_EQ(p.container().metadata[1].text, "");
    // A meta box written without version and flags (as some QuickTime writers do) hides the list.
    MemoryReader m(Movie(Box("udta", Box("meta", Box("ilst", Item("\xA9nam", "Title"))))));
    CSupMP4QT mp4(m.reader, m.records);
    uint64_t start = 0, end = 0;
    EXPECT_FALSE(mp4.FindBox("moov\\udta\\meta\\ilst", 0, m.reader.LogicalLength(), start, end));
    mp4.ReadMovie();
    EXPECT_TRUE(m.records.container.metadata.empty());
}

TEST(SupMP4QTBoxes, MetadataItemsSkipNonAsciiTextAndStopAtSixteen) {
    Bytes items = Item("cprt", "caf\xC3\xA9");
    for (int i = 0; i < 17; ++i) items = items + Item("tr" + std::to_string(10 + i), "item " + std::to_string(i));
    Parsed p(WithIlst(items));
    const auto& metadata = p.container().metadata;
    ASSERT_EQ(metadata.size(), 16u);
    EXPECT_EQ(metadata.front().name, "tr10");
    EXPECT_EQ(metadata.back().text, "item 15");
    // Texts longer than 64 bytes are cut.
    Parsed longText(WithIlst(Item("desc", std::string(100, 'x'))));
    ASSERT_EQ(longText.container().metadata.size(), 1u);
    EXPECT_EQ(longText.container().metadata[0].text.size(), 64u);
}

TEST(SupMP4QTBoxes, FramePeriodIsTheSampleTablesAverage) {
    TrackPlan one;
    one.stts = {{10, 1000}};
    one.entry = VisualEntry("avc1", 320, 240);
    EXPECT_EQ(Parsed(Movie(Track(one))).video().usPerFrame, 40000);
    // 7 samples over 5500 ticks of 1/25000 s: no single entry's delta is the rate.
    TrackPlan three = one;
    three.stts = {{1, 2000}, {5, 500}, {1, 1000}};
    EXPECT_EQ(Parsed(Movie(Track(three))).video().usPerFrame, 220000 / 7);
}

TEST(SupMP4QTBoxes, CommonSampleSize) {
    TrackPlan t;
    t.entry = VisualEntry("mp4v", 320, 240);
    t.tables = FullBox("stsz", 0, Be32(1000) + Be32(5000));
    Parsed p(Movie(Track(t)));
    const auto& tables = p.mp4.Tables(CSupMP4QT::kVideo);
    EXPECT_EQ(p.video().frameCount, 5000);
    EXPECT_EQ(tables.totalSize, 5000000u);
    EXPECT_EQ(tables.sampleSizes.size(), 4096u);
    EXPECT_EQ(tables.sampleSizes.back(), 1000u);
}

TEST(SupMP4QTBoxes, MediaHeaderTimesAndTrackHeaderSize) {
    TrackPlan t;
    t.timeScale = 30000;
    t.duration = 900900;
    t.stts = {{30, 1001}};
    t.width = 640;
    t.height = 360;
    t.entry = VisualEntry("avc1", 640, 352);
    const Bytes mvhd = FullBox("mvhd", 0, Be32(3600000000u) + Be32(3600000060u) + Be32(600) + Be32(6000) + Zeros(80));
    Parsed p(Movie(mvhd + Track(t)));
    EXPECT_EQ(p.container().creationTime, 3600000000 - 2082758400);
    EXPECT_EQ(p.container().modificationTime, 3600000060 - 2082758400);
    EXPECT_EQ(p.video().durationMs, 30030);  // the media header replaces the movie's 10000
    EXPECT_EQ(p.container().durationMs, 10000);  // the movie's own time stays the file's
    EXPECT_EQ(p.video().usPerFrame, 33366);
    EXPECT_EQ(p.container().declaredWidth, 640);
    EXPECT_EQ(p.container().declaredHeight, 360);
    EXPECT_EQ(p.video().codedHeight, 352);
}

// Stored numbers that do not fit the records' fields: a version 2 sound
// description's float rate (NaN, infinite, huge, negative), 64-bit durations
// times 1000, a sample delta in microseconds, a time scale beyond int32_t.
TEST(SupMP4QTBoxes, StoredNumbersBeyondTheFieldsAreHeldNotWrapped) {
    auto soundV2 = [](uint64_t rateBits) {
        Bytes fixed = Put16(Zeros(56), 8, 2);  // version 2
        for (int i = 0; i < 8; ++i) fixed[32 + i] = uint8_t(rateBits >> (56 - 8 * i));
        fixed[43] = 2;   // channels (32 bits)
        fixed[51] = 16;  // bits per sample (32 bits)
        return Box("lpcm", fixed);
    };
    struct Case {
        const char* what;
        uint64_t rateBits;
        int32_t sampleRate;
    } cases[] = {
        {"44100.0", std::bit_cast<uint64_t>(44100.0), 44100},
        {"8000.9 truncates", std::bit_cast<uint64_t>(8000.9), 8000},
        {"5e180 keeps the time scale", std::bit_cast<uint64_t>(5.02931e+180), 48000},
        {"infinity", std::bit_cast<uint64_t>(std::numeric_limits<double>::infinity()), 48000},
        {"NaN", 0x7FF8000000000001ull, 48000},
        {"negative", std::bit_cast<uint64_t>(-44100.0), 48000},
        {"2^31", std::bit_cast<uint64_t>(2147483648.0), 48000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrackPlan t;
        t.handler = "soun";
        t.timeScale = 48000;
        t.entry = soundV2(c.rateBits);
        Parsed p(Movie(Track(t)));
        ASSERT_NE(p.sound(), nullptr);
        EXPECT_EQ(p.sound()->sampleRate, c.sampleRate);
        EXPECT_EQ(p.sound()->channels, 2);
    }

    // A 64-bit movie duration at time scale 1 is far beyond 2^63 ms.
    const Bytes mvhd = FullBox("mvhd", 1, Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(1) + Be32(0xFFFFFFFF) +
                                              Be32(0xFFFFFFFF) + Zeros(80));
    EXPECT_EQ(Parsed(Movie(mvhd)).video().durationMs, std::numeric_limits<int64_t>::max());

    // 64-bit creation and modification times past 2^63 s are not shown (and never wrap).
    const Bytes farTimes = FullBox("mvhd", 1, Be32(0x80000000u) + Be32(0) + Be32(0xFFFFFFFF) + Be32(0xFFFFFFFF) +
                                                  Be32(600) + Be32(0) + Be32(6000) + Zeros(80));
    EXPECT_EQ(Parsed(Movie(farTimes)).container().creationTime, 0);
    EXPECT_EQ(Parsed(Movie(farTimes)).container().modificationTime, 0);

    TrackPlan slow;
    slow.timeScale = 1;
    slow.stts = {{10, 0xFFFFFFFF}};  // 4295 s a frame: more microseconds than int32_t holds
    slow.entry = VisualEntry("avc1", 320, 240);
    EXPECT_EQ(Parsed(Movie(Track(slow))).video().usPerFrame, std::numeric_limits<int32_t>::max());

    // Without a usable sound description the media time scale stands for the rate.
    TrackPlan wide;
    wide.handler = "soun";
    wide.timeScale = 0x80000000u;
    wide.entry = Box("twos", {});
    Parsed p(Movie(Track(wide)));
    ASSERT_NE(p.sound(), nullptr);
    EXPECT_EQ(p.sound()->sampleRate, std::numeric_limits<int32_t>::max());
}

TEST(SupMP4QTBoxes, SecondVideoTrackWins) {
    TrackPlan first, second;
    first.entry = VisualEntry("mp4v", 320, 240);
    second.entry = VisualEntry("avc1", 1280, 720);
    second.stts = {{10, 500}};
    Parsed p(Movie(Track(first) + Track(second)));
    EXPECT_EQ(FourCCText(p.video().fourcc), "avc1");
    EXPECT_EQ(p.video().codedWidth, 1280);
    EXPECT_EQ(p.video().usPerFrame, 20000);
}

TrackPlan SoundTrack(const Bytes& entry) {
    TrackPlan t;
    t.handler = "soun";
    t.timeScale = 44100;
    t.stts = {{100, 1024}};
    t.entry = entry;
    return t;
}

TEST(SupMP4QTBoxes, AudioSpecificConfigGivesRateChannelsAndLayout) {
    // Object type 2, frequency index 3 (48000), channel configuration 2.
    const Bytes entry = SoundEntry("mp4a", 1, 16, 22050, Esds(0x40, 127600, {0x11, 0x90}));
    Parsed p(Movie(Track(SoundTrack(entry))));
    ASSERT_NE(p.sound(), nullptr);
    EXPECT_EQ(p.sound()->sampleRate, 48000);
    EXPECT_EQ(p.sound()->channels, 2);
    EXPECT_EQ(p.sound()->channelLayoutName, "стерео (2/0)");
    EXPECT_EQ(p.sound()->codecName, "MPEG-4 AAC LC");
    EXPECT_EQ(p.sound()->bitrateKbps, 128);
    // An MPEG-1 audio object type has no layout; an unknown one is "? ? ?".
    Parsed mp3(Movie(Track(SoundTrack(SoundEntry("mp4a", 2, 16, 44100, Esds(0x6B, 128000, {0x11, 0x90}))))));
    EXPECT_EQ(mp3.sound()->codecName, "MPEG-1");
    EXPECT_EQ(mp3.sound()->channelLayoutName, "");
    Parsed odd(Movie(Track(SoundTrack(SoundEntry("mp4a", 2, 16, 44100, Esds(0x20, 0, {}))))));
    EXPECT_EQ(odd.sound()->codecName, "? ? ?");
    EXPECT_EQ(odd.sound()->sampleRate, 44100);  // from the sample entry, no configuration to override it
}

TEST(SupMP4QTBoxes, SoundAsItPlays) {
    struct Case {
        const char* what;
        Bytes entry;
        int32_t rate, channels;
    };
    const Case cases[] = {
        // HE-AAC signalled explicitly: a 22050 Hz mono core plays at 44100 Hz...
        {"SBR", SoundEntry("mp4a", 1, 16, 22050, Esds(0x40, 32000, {0x2B, 0x8A, 0x08, 0x00})), 44100, 1},
        // ...and with parametric stereo in two channels.
        {"PS", SoundEntry("mp4a", 1, 16, 22050, Esds(0x40, 32000, {0xEB, 0x8A, 0x08, 0x00})), 44100, 2},
        // AMR is mono at its fixed rate, whatever the entry's fields say.
        {"AMR-NB", SoundEntry("samr", 2, 16, 44100), 8000, 1},
        {"AMR-WB", SoundEntry("sawb", 2, 16, 44100), 16000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Parsed p(Movie(Track(SoundTrack(c.entry))));
        ASSERT_NE(p.sound(), nullptr);
        EXPECT_EQ(p.sound()->sampleRate, c.rate);
        EXPECT_EQ(p.sound()->channels, c.channels);
        EXPECT_EQ(p.sound()->durationMs, 250000 * 1000 / 44100);  // the media header's time
    }
}

TEST(SupMP4QTBoxes, ProtectedSoundEntrySetsDrm) {
    Parsed p(Movie(Track(SoundTrack(SoundEntry("drms", 2, 16, 44100)))));
    EXPECT_TRUE(p.container().drm);
    EXPECT_EQ(p.sound()->codecName, "AAC");
    Parsed clear(Movie(Track(SoundTrack(SoundEntry("twos", 2, 16, 44100)))));
    EXPECT_FALSE(clear.container().drm);
}

TEST(SupMP4QTBoxes, WaveFormatStoredBigEndian) {
    const std::string ms55("ms\0\x55", 4);
    const Bytes format = Be16(0x55) + Be16(2) + Be32(32000) + Be32(16000) + Be16(1) + Be16(0);
    const Bytes wave = Box("wave", Box("frma", Text(ms55)) + Box(ms55, format) + Zeros(8));
    Parsed p(Movie(Track(SoundTrack(SoundEntry(ms55, 1, 16, 32000, wave)))));
    EXPECT_EQ(p.sound()->codecName, "MP3, CBR");
    EXPECT_EQ(p.sound()->formatTag, 0x55);
    EXPECT_EQ(p.sound()->channels, 2);
    EXPECT_EQ(p.sound()->sampleRate, 32000);
    EXPECT_EQ(p.sound()->bitrateKbps, 128);
    // A record that is valid in neither byte order sets nothing.
    const Bytes bad = Le16(0x55) + Le16(6) + Le32(96000) + Le32(1) + Zeros(4);
    Parsed q(Movie(Track(SoundTrack(SoundEntry(ms55, 1, 16, 32000, Box("wave", Box(ms55, bad)))))));
    EXPECT_EQ(q.sound()->formatTag, 0);
    EXPECT_EQ(q.sound()->channels, 1);
}

TEST(SupMP4QTBoxes, ChunkOffsetsAreKeptUpToTheFirstBeyondFourMegabytes) {
    TrackPlan t;
    t.entry = VisualEntry("mp4v", 320, 240);
    t.tables = Stco({100, 0x500000, 200});
    Parsed p(Movie(Track(t)));
    const auto& tables = p.mp4.Tables(CSupMP4QT::kVideo);
    EXPECT_EQ(tables.chunkCount, 3u);
    EXPECT_EQ(tables.chunkOffsets, (std::vector<uint64_t>{100, 0x500000}));
}

// Samples in an mdat right after ftyp, so that their offsets are known when the moov is built.
struct MediaLayout {
    Bytes ftyp = Ftyp();
    Bytes payload;
    uint32_t Offset(size_t at) const { return static_cast<uint32_t>(ftyp.size() + 8 + at); }
    Bytes File(const Bytes& moovChildren) const { return ftyp + Box("mdat", payload) + Box("moov", moovChildren); }
};

TEST(SupMP4QTBoxes, SamplesAreCollectedChunkByChunk) {
    MediaLayout m;
    m.payload = PatternBytes(400);
    TrackPlan t;
    t.entry = VisualEntry("mp4v", 320, 240);
    // Chunk 1 at 0 with two samples, chunks 2 and 3 (at 200 and 300) with one each.
    t.tables = Stco({m.Offset(0), m.Offset(200), m.Offset(300)}) + Stsz({10, 20, 30, 40}) +
               Stsc({{{1, 2, 1}}, {{2, 1, 1}}});
    Parsed p(m.File(Track(t)));
    const Bytes expected = Bytes(m.payload.begin(), m.payload.begin() + 30) +
                           Bytes(m.payload.begin() + 200, m.payload.begin() + 230) +
                           Bytes(m.payload.begin() + 300, m.payload.begin() + 340);
    const ByteView got = p.video().data.View();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), expected.size()));
}

TEST(SupMP4QTBoxes, CollectionStopsWhereTheTablesStop) {
    MediaLayout m;
    m.payload = PatternBytes(100);
    TrackPlan t;
    t.entry = VisualEntry("mp4v", 320, 240);
    // Three samples per chunk but only two chunk offsets, and a sample running past the file.
    t.tables = Stco({m.Offset(0), m.Offset(50)}) + Stsz({5, 5, 5, 5, 5, 5, 5}) + Stsc({{{1, 3, 1}}});
    EXPECT_EQ(Parsed(m.File(Track(t))).video().data.Count(), 30u);
    t.tables = Stco({m.Offset(0), m.Offset(90)}) + Stsz({5, 5, 5, 5, 1000000}) + Stsc({{{1, 3, 1}}});
    EXPECT_EQ(Parsed(m.File(Track(t))).video().data.Count(), 20u);
}

TEST(SupMP4QTBoxes, AvcSamplesWithTwoBytePrefixes) {
    const Bytes sps = {0x67, 0x42, 0x00, 0x1E, 0xAB};
    const Bytes pps = {0x68, 0xCE, 0x38, 0x80};
    // Version 1, profile, compatibility, level, length size 2 (0xFD), one SPS, one PPS.
    const Bytes avcC = Bytes{1, 0x42, 0x00, 0x1E, 0xFD, 0xE1} + Be16(5) + sps + Bytes{1} + Be16(4) + pps;
    MediaLayout m;
    m.payload = Be16(3) + Bytes{0x65, 0x88, 0x84} + Be16(2) + Bytes{0x06, 0x05};
    TrackPlan t;
    t.entry = VisualEntry("avc1", 320, 240, Box("avcC", avcC));
    t.tables = Stco({m.Offset(0)}) + Stsz({static_cast<uint32_t>(m.payload.size())}) + Stsc({{{1, 1, 1}}});
    Parsed p(m.File(Track(t)));
    const Bytes expected = Be32(1) + sps + Be32(1) + pps + Be32(1) + Bytes{0x65, 0x88, 0x84} + Be32(1) +
                           Bytes{0x06, 0x05};
    const ByteView got = p.video().data.View();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(0, std::memcmp(got.data(), expected.data(), expected.size()));
}

TEST(SupMP4QTFiles, MovieBeyondTheHeaderBufferIsReadThroughTheWindow) {
    // ftyp, a 6 MiB free box, the samples in an mdat, then the moov: all past the first 4 MiB.
    const Bytes ftyp = Ftyp();
    const uint32_t gap = 6 << 20;
    const uint64_t samples = ftyp.size() + gap + 8;  // inside an mdat after the free box
    const Bytes media = PatternBytes(48, samples);
    TrackPlan t;
    t.entry = VisualEntry("mp4v", 320, 240);
    t.tables = Stco({static_cast<uint32_t>(samples)}) + Stsz({16, 32}) + Stsc({{{1, 2, 1}}});
    const Bytes moov = Box("moov", Track(t));
    MemFile file = MemFile::Sparse(samples + media.size() + moov.size());
    file.WriteAt(0, ftyp);
    file.WriteAt(ftyp.size(), Be32(gap) + Text("free"));
    file.WriteAt(samples - 8, Be32(8 + 48) + Text("mdat") + media);
    file.WriteAt(samples + media.size(), moov);

    CFileCache reader;
    ASSERT_TRUE(reader.Open(file.Path()));
    AnalysisRecords records;
    CSupMP4QT mp4(reader, records);
    EXPECT_TRUE(mp4.ReadFtyp());
    mp4.ReadMovie();
    ASSERT_TRUE(mp4.TracksRead());
    EXPECT_EQ(records.video.codedWidth, 320);
    const ByteView got = records.video.data.View();
    ASSERT_EQ(got.size(), media.size());
    EXPECT_EQ(0, std::memcmp(got.data(), media.data(), media.size()));
}

TEST(SupMP4QTFiles, SampleOpenedByPathMatchesTheBytesInMemory) {
    const std::string path = ContainerSample("mov_mjpeg_pcm.mov");
    CFileCache reader;
    ASSERT_TRUE(reader.Open(path));
    AnalysisRecords records;
    CSupMP4QT mp4(reader, records);
    mp4.ReadMovie();
    ASSERT_TRUE(mp4.TracksRead());
    Parsed memory(ReadBytes(path));
    EXPECT_EQ(records.video.data.Count(), memory.video().data.Count());
    EXPECT_EQ(records.StreamIf(0)->data.Count(), memory.sound()->data.Count());
    EXPECT_EQ(records.video.usPerFrame, memory.video().usPerFrame);
}

TEST(SupMP4QTBoxes, NoMovieNoTracks) {
    Parsed none(Ftyp() + Box("mdat", Zeros(16)));
    EXPECT_TRUE(none.ftyp);
    EXPECT_FALSE(none.movie);
    TrackPlan text;
    text.handler = "text";
    text.entry = VisualEntry("tx3g", 0, 0);
    Parsed p(Movie(Track(text)));
    EXPECT_FALSE(p.movie);
    Parsed noFtyp(Box("moov", Track(SoundTrack(SoundEntry("twos", 2, 16, 44100)))));
    EXPECT_FALSE(noFtyp.ftyp);
    EXPECT_TRUE(noFtyp.movie);
}

}  // namespace
}  // namespace torvo
