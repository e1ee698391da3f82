// MPEG system and program streams, and the content stage of identification:
// real VCD/SVCD/DVD streams made by ffmpeg, and byte-built packs and packets
// for clocks, damage and the slot rules.
#include <gtest/gtest.h>

#include "analysis/Driver.h"
#include "analysis/MpegContent.h"
#include "formats/mpeg/MpegTestUtil.h"
#include "formats/mpeg/SupMpg.h"

namespace torvo {
namespace {

using test::BitWriter;
using test::Bytes;
using test::View;
using test::operator<<;


Bytes Mpeg2Pack(uint64_t scr, uint32_t muxRate, unsigned stuffing = 0) {
    BitWriter w;
    w.Put(0x1BA, 32).Put(1, 2).Put(scr >> 30, 3).Put(1, 1).Put(scr >> 15, 15).Put(1, 1).Put(scr, 15).Put(1, 1);
    w.Put(0, 9).Put(1, 1).Put(muxRate, 22).Put(3, 2).Put(0x1F, 5).Put(stuffing, 3);
    Bytes b = w.Data();
    b.insert(b.end(), stuffing, 0xFF);
    return b;
}
Bytes Mpeg1Pack(uint64_t scr, uint32_t muxRate) {
    BitWriter w;
    w.Put(0x1BA, 32).Put(2, 4).Put(scr >> 30, 3).Put(1, 1).Put(scr >> 15, 15).Put(1, 1).Put(scr, 15).Put(1, 1);
    w.Put(1, 1).Put(muxRate, 22).Put(1, 1);
    return w.Data();
}
Bytes SystemHeader(bool fixed) {
    BitWriter w;
    w.Put(0x1BB, 32).Put(12, 16).Put(1, 1).Put(25200, 22).Put(1, 1).Put(1, 6).Put(fixed, 1).Put(0, 1);
    w.Put(1, 1).Put(1, 1).Put(1, 1).Put(1, 5).Put(0x7F, 8);
    w.Put(0xE0, 8).Put(3, 2).Put(1, 1).Put(232, 13).Put(0xC0, 8).Put(3, 2).Put(0, 1).Put(32, 13);
    return w.Data();
}
// An MPEG-2 PES packet with a PTS.
Bytes Pes2(uint8_t id, const Bytes& payload) {
    Bytes b = {0, 0, 1, id, 0, 0, 0x81, 0x80, 5, 0x21, 0, 1, 0, 1};
    b << payload;
    const size_t length = b.size() - 6;
    b[4] = static_cast<uint8_t>(length >> 8);
    b[5] = static_cast<uint8_t>(length);
    return b;
}
// An MPEG-1 packet: optional stuffing, STD buffer fields, PTS and DTS.
Bytes Pes1(uint8_t id, const Bytes& payload, int stuffing = 0, bool std = false, bool pts = false, bool dts = false) {
    Bytes b = {0, 0, 1, id, 0, 0};
    b.insert(b.end(), static_cast<size_t>(stuffing), 0xFF);
    if (std) b << Bytes{0x60, 0xE8};
    if (pts && dts) b << Bytes{0x31, 0, 1, 0, 1, 0x11, 0, 1, 0, 1};
    else if (pts) b << Bytes{0x21, 0, 1, 0, 1};
    else b << Bytes{0x0F};
    b << payload;
    const size_t length = b.size() - 6;
    b[4] = static_cast<uint8_t>(length >> 8);
    b[5] = static_cast<uint8_t>(length);
    return b;
}
Bytes Filler(size_t n, uint8_t value = 0x5A) { return Bytes(n, value); }

struct Analysed {
    AnalysisRecords records;
    int scan = 0;
};
// Runs the whole analysis over bytes held in memory.
std::unique_ptr<Analysed> Analyse(const Bytes& b, uint64_t fileSize = 0) {
    auto a = std::make_unique<Analysed>();
    CSupMpg mpg(a->records);
    mpg.Analyse(View(b), fileSize ? fileSize : b.size());
    return a;
}

TEST(SystemStream, RealProgramStreams) {
    struct Case {
        const char* name;
        StreamLayout layout;
        int mux, width, height, version;
        size_t audioSlot;
        int audioClass, substreamKind;
        bool dvd;
    };
    // Sizes, codecs and stream ids as ffprobe reports them; the mux rates are the
    // VCD (1411.2 kbit/s), SVCD and DVD (10.08 Mbit/s) constants ffmpeg writes.
    const Case cases[] = {
        {"vcd_pal.mpg", StreamLayout::kMpeg1System, 1411, 352, 288, 2, 4, kAudioClassMpeg, 0, false},
        {"vcd_ntsc.mpg", StreamLayout::kMpeg1System, 1411, 352, 240, 2, 4, kAudioClassMpeg, 0, false},
        {"svcd_pal.mpg", StreamLayout::kMpeg2Program, 2887, 480, 576, 3, 4, kAudioClassMpeg, 0, false},
        {"dvd_pal_ac3.vob", StreamLayout::kMpeg2Program, 10080, 720, 576, 3, 52, kAudioClassAc3, 1, true},
        {"dvd_ntsc_lpcm.vob", StreamLayout::kMpeg2Program, 10080, 720, 480, 3, 84, 0, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = test::Sample(c.name);
        auto a = Analyse(file);
        const ContainerInfo& info = a->records.container;
        EXPECT_EQ(info.layout, c.layout);
        EXPECT_EQ(info.muxRateKbps, c.mux);
        EXPECT_EQ(info.audioCount, 1);
        EXPECT_EQ(info.videoCount, 1);
        EXPECT_EQ(info.otherCount, 0);  // the DVD navigation packets (BF) are skipped, not collected
        EXPECT_EQ(info.dvdFormat, c.dvd);
        EXPECT_TRUE(info.variableRate);
        EXPECT_GT(info.scrDurationMs, 0);
        const VideoHeader& h = a->records.video.headers[kHeaderMpegVideo];
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
        EXPECT_EQ(h.version, c.version);
        EXPECT_GT(a->records.video.data.Count(), 20000u);
        const StreamInfo* slot = a->records.StreamIf(c.audioSlot);
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->substreamKind, c.substreamKind);
        if (c.audioClass) {
            EXPECT_EQ(slot->audio[static_cast<size_t>(c.audioClass)].codecClass, c.audioClass);
        }
    }
    // ffprobe: MP2 at 224 kbit/s, 44.1 kHz stereo (VCD); AC-3 192 kbit/s 48 kHz stereo (DVD).
    auto vcd = Analyse(test::Sample("vcd_pal.mpg"));
    const AudioResult& mp2 = vcd->records.StreamIf(4)->audio[kAudioClassMpeg];
    EXPECT_EQ(mp2.layerCode, 3);
    EXPECT_EQ(mp2.bitrateKbps, 224);
    EXPECT_EQ(mp2.sampleRate, 44100);
    EXPECT_EQ(mp2.channels, 2);
    EXPECT_EQ(vcd->records.StreamIf(4)->streamId, 0xC0);
    auto dvd = Analyse(test::Sample("dvd_pal_ac3.vob"));
    const AudioResult& ac3 = dvd->records.StreamIf(52)->audio[kAudioClassAc3];
    EXPECT_EQ(ac3.bitrateKbps, 192);
    EXPECT_EQ(ac3.sampleRate, 48000);
    EXPECT_EQ(dvd->records.StreamIf(52)->substreamId, 0x80);
    EXPECT_DOUBLE_EQ(dvd->records.video.headers[kHeaderMpegVideo].displayAspect, 16.0 / 9.0);  // ffprobe: DAR 16:9
    // The linear PCM substream counts as audio although no parser recognises it.
    auto lpcm = Analyse(test::Sample("dvd_ntsc_lpcm.vob"));
    EXPECT_EQ(lpcm->records.StreamIf(84)->substreamId, 0xA0);
}

TEST(SystemStream, PacketsGoToTheirSlots) {
    Bytes b = Mpeg2Pack(0, 25200);
    b << SystemHeader(true);
    b << Pes2(0xBD, Bytes{0x80, 1, 0, 1, 0xAA, 0xBB}) << Pes2(0xBD, Bytes{0x88, 1, 0, 1, 0xCC});
    b << Pes2(0xBD, Bytes{0xA0, 1, 0, 1, 0x80, 0x10, 0x01, 0xDD, 0xEE}) << Pes2(0xBD, Bytes{0x20, 0x11})
      << Pes2(0xBD, Bytes{0x21, 0x12});
    b << Pes2(0xDF, Bytes{1, 2, 3}) << Pes2(0xC0, Bytes{4, 5}) << Pes2(0xE0, Bytes{0, 0, 1, 0xB3});
    b << Pes2(0xBD, Bytes{0x80, 1, 0, 1});  // nothing left after the substream header: damaged
    b << Mpeg2Pack(9000, 25200);
    auto a = Analyse(b);
    const AnalysisRecords& r = a->records;
    EXPECT_EQ(r.StreamIf(52)->data.Count(), 2u);
    EXPECT_EQ(r.StreamIf(52)->substreamKind, CSupMpg::kAc3);
    EXPECT_EQ(r.StreamIf(60)->data.Count(), 1u);
    EXPECT_EQ(r.StreamIf(84)->data.Count(), 2u);  // 7 header bytes skipped
    ASSERT_NE(r.StreamIf(1), nullptr);
    EXPECT_EQ(r.StreamIf(1)->substreamId, 0x20);  // the first subpicture's id is kept
    EXPECT_EQ(r.StreamIf(1)->data.Count(), 4u);
    EXPECT_EQ(r.StreamIf(35)->streamId, 0xDF);
    EXPECT_EQ(r.StreamIf(35)->data.Count(), 3u);
    EXPECT_EQ(r.video.data.Count(), 4u);
    EXPECT_FALSE(r.container.variableRate);
    EXPECT_TRUE(r.container.dvdFormat);
    // BD streams start as "other"; the LPCM substream is then counted as audio.
    EXPECT_EQ(r.container.audioCount, 3);
    EXPECT_EQ(r.container.otherCount, 3);
    EXPECT_EQ(r.container.videoCount, 1);

    // An MPEG-1 system stream never sets the DVD flag.
    Bytes one = Mpeg1Pack(0, 3528);
    one << Pes1(0xBD, Bytes{0x80, 1, 0, 1, 0xAA}) << Mpeg1Pack(900, 3528);
    auto m1 = Analyse(one);
    EXPECT_EQ(m1->records.container.layout, StreamLayout::kMpeg1System);
    EXPECT_FALSE(m1->records.container.dvdFormat);
    EXPECT_EQ(m1->records.container.muxRateKbps, 1411);
}

TEST(SystemStream, MuxRateAndClock) {
    // The first pack has no rate: the kind is decided again by every pack until one has.
    // A pack header that reaches the end of the data is accepted without being read.
    Bytes b = Mpeg1Pack(0, 0);
    b << Mpeg2Pack(90000, 0) << Mpeg2Pack(180000, 25200) << Mpeg1Pack(270000, 3528);
    const size_t measured = b.size();
    b << Filler(8);
    auto a = Analyse(b, 1000 * measured);
    EXPECT_EQ(a->records.container.layout, StreamLayout::kMpeg2Program);
    EXPECT_EQ(a->records.container.muxRateKbps, 10080);
    // Three seconds over the bytes up to the end of the last pack, scaled to a file 1000 times longer.
    EXPECT_EQ(a->records.container.scrDurationMs, 3000 * 1000);
    b.resize(measured);
    EXPECT_EQ(Analyse(b, 1000 * measured)->records.container.scrDurationMs, 2000 * 1000 * 52 / 40);

    // A rate of 0x3F8000 or more counts as none.
    Bytes noRate = Mpeg2Pack(0, 0x3F8000);
    noRate << Mpeg2Pack(1, 0x3F8000) << Filler(8);
    EXPECT_EQ(Analyse(noRate)->records.container.muxRateKbps, 0);

    // The clock goes back: the measurement restarts from that pack.
    Bytes back = Mpeg2Pack(900000, 25200);
    back << Mpeg2Pack(990000, 25200) << Mpeg2Pack(9000, 25200) << Filler(8);
    EXPECT_EQ(Analyse(back)->records.container.scrDurationMs, 0);
    back.resize(back.size() - 8);
    back << Mpeg2Pack(99000, 25200);
    const size_t end = back.size();
    back << Filler(8);
    EXPECT_EQ(Analyse(back)->records.container.scrDurationMs, static_cast<int>(1000.0 * double(back.size()) / double(end)));

    // Stuffing bytes lengthen an MPEG-2 pack header.
    Bytes stuffed = Mpeg2Pack(0, 25200, 3);
    EXPECT_EQ(CSupMpg::PackHeaderLength(View(stuffed)), 17u);
    EXPECT_EQ(CSupMpg::ReadScr(View(Mpeg2Pack(0x1ABCDEF12, 1))), 0x1ABCDEF12);
    EXPECT_EQ(CSupMpg::ReadScr(View(Mpeg1Pack(0x12345678, 1))), 0x12345678);
    EXPECT_EQ(CSupMpg::ReadMuxRate(View(Mpeg1Pack(0, 0x2ABCDE))), 0x2ABCDEu);
}

TEST(SystemStream, ScanResults) {
    AnalysisRecords r;
    CSupMpg mpg(r);
    // A picture start code outside elementary mode stops the scan.
    Bytes stop = Mpeg2Pack(0, 25200);
    stop << Bytes{0, 0, 1, 0x00, 1, 2, 3, 4};
    EXPECT_EQ(mpg.ScanSystemStream(View(stop)), CSupMpg::kStop);
    Bytes end = Mpeg2Pack(0, 25200);
    end << Bytes{0, 0, 1, 0xB9} << Mpeg2Pack(1, 25200);
    EXPECT_EQ(mpg.ScanSystemStream(View(end)), CSupMpg::kProgramEnd);
    EXPECT_EQ(mpg.ScanSystemStream(View(Filler(100))), CSupMpg::kNoMoreData);

    // Items and what they cover.
    Bytes items = Mpeg2Pack(0, 25200);
    items << Pes2(0xBE, Filler(10)) << Bytes{0, 0, 1, 0xE5, 0, 0} << Bytes{0, 0, 1, 0x01, 0, 0};
    AnalysisRecords r2;
    CSupMpg scan(r2);
    scan.ScanSystemStream(View(items));
    EXPECT_EQ(scan.ParseItem(0), 14);
    EXPECT_EQ(scan.ParseItem(14), 6 + 18);
    EXPECT_EQ(scan.ParseItem(38), CSupMpg::kDamaged);  // video streams other than E0
    EXPECT_EQ(scan.ParseItem(44), CSupMpg::kSearchOn);
    EXPECT_EQ(scan.ParseItem(1), CSupMpg::kDamaged);  // no start code there
    EXPECT_EQ(scan.ParseItem(items.size()), CSupMpg::kNoMoreData);
    EXPECT_FALSE(scan.ElementaryMode());

    // Elementary video: picture and slice codes are stepped over.
    Bytes es = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x23, 0xFF, 0xFF, 0xE0, 0x18};
    es << Bytes{0, 0, 1, 0xB8, 0, 8, 0, 0x40} << Bytes{0, 0, 1, 0x00, 0, 0x0F, 0xFF, 0xF8} << Bytes{0, 0, 1, 1, 9};
    AnalysisRecords r3;
    CSupMpg video(r3);
    EXPECT_EQ(video.ScanSystemStream(View(es)), CSupMpg::kNoMoreData);
    EXPECT_TRUE(video.ElementaryMode());
    EXPECT_EQ(r3.video.headers[kHeaderMpegVideo].width, 352);
}

TEST(SystemStream, DamagedItemsInARowDiscardTheSlots) {
    auto stream = [](bool twice) {
        Bytes b = Mpeg2Pack(0, 25200);
        b << Pes2(0xC0, Filler(50)) << Bytes{0, 0, 1, 0xE1} << Filler(5000);
        if (twice) b << Bytes{0, 0, 1, 0xE2} << Filler(5000);
        b << Mpeg2Pack(9000, 25200) << Pes2(0xC1, Filler(20));
        return b;
    };
    auto once = Analyse(stream(false));
    EXPECT_NE(once->records.StreamIf(4), nullptr);
    EXPECT_NE(once->records.StreamIf(5), nullptr);
    auto twice = Analyse(stream(true));
    EXPECT_EQ(twice->records.StreamIf(4), nullptr);  // discarded
    EXPECT_NE(twice->records.StreamIf(5), nullptr);  // collected after the damage
    // The kind is not decided again (the mux rate was already known), so the
    // file no longer counts as a program stream.
    EXPECT_EQ(twice->records.container.muxRateKbps, 10080);
    EXPECT_EQ(twice->records.container.layout, StreamLayout::kNone);
    EXPECT_EQ(once->records.container.layout, StreamLayout::kMpeg2Program);
}

TEST(SystemStream, PesHeaders) {
    AnalysisRecords r;
    CSupMpg mpg(r);
    const Bytes payload = {1, 2, 3, 4, 5};
    auto check = [&](const Bytes& packet, uint64_t offset, bool ok) {
        mpg.Errors().Clear();
        const CSupMpg::Payload p = mpg.PesPayload(View(packet));
        EXPECT_EQ(p.offset, offset);
        EXPECT_EQ(p.length, 5);
        EXPECT_EQ(!mpg.Errors().IsSet(), ok) << mpg.Errors().FirstFailure();
    };
    check(Pes1(0xC0, payload), 7, true);
    check(Pes1(0xC0, payload, 3, true, true, false), 6 + 3 + 2 + 5, true);
    check(Pes1(0xC0, payload, 0, false, true, true), 16, true);
    check(Pes2(0xC0, payload), 14, true);
    Bytes stuffed2 = Pes2(0xC0, payload);
    stuffed2.insert(stuffed2.begin() + 6, 0xFF);
    stuffed2[5] = static_cast<uint8_t>(stuffed2[5] + 1);
    mpg.Errors().Clear();
    mpg.PesPayload(View(stuffed2));
    EXPECT_EQ(mpg.Errors().FirstFailure(), "MPEG-1 Data Packet[1]");
    Bytes badPts = Pes1(0xC0, payload, 0, false, true);
    badPts[8] = 0;  // a marker bit of the PTS
    mpg.Errors().Clear();
    mpg.PesPayload(View(badPts));
    EXPECT_EQ(mpg.Errors().FirstFailure(), "MPEG-1 Data Packet[3]");
    Bytes shortPacket = Pes1(0xC0, payload);
    shortPacket[5] = 0;  // a length shorter than the header
    mpg.Errors().Clear();
    mpg.PesPayload(View(shortPacket));
    EXPECT_EQ(mpg.Errors().FirstFailure(), "MPEG-1 Data Packet[5]");
}

// --- content stage ---

struct Content {
    FileIdentity identity;
    AnalysisRecords records;
};
std::unique_ptr<Content> ContentOf(const Bytes& bytes) {
    auto c = std::make_unique<Content>();
    CFileCache reader;
    EXPECT_TRUE(reader.AttachMemory(bytes.data(), bytes.size(), true));
    CMpegContentAnalyser analyser;
    analyser.Analyse(reader, c->identity, c->records);
    return c;
}

TEST(ContentStage, ElementaryStreamsAndTypeIds) {
    struct Case {
        const char* path;
        StreamLayout layout;
        int typeId;
    };
    const Case cases[] = {
        {"mpeg/mp3_cbr128.mp3", StreamLayout::kAudioElementary, kTypeMpeg},
        {"mpeg/mp2_48000.mp2", StreamLayout::kAudioElementary, kTypeMpeg},
        {"mpeg/ac3_51.ac3", StreamLayout::kAudioElementary, kTypeAc3},
        {"mpeg/dts_51.dts", StreamLayout::kAudioElementary, kTypeDts},
        {"mpeg/aac_stereo.aac", StreamLayout::kAudioElementary, kTypeAacAdts},
        {"mpeg/dv_pal_16x9.dv", StreamLayout::kRawDv, kTypeDvIec61834},
        {"mpeg/dv_ntsc.dv", StreamLayout::kRawDv, kTypeDvSmpte314M},
        {"mpeg/h264_640x360.264", StreamLayout::kVideoElementary, kTypeUnknown},
        {"mpeg/hevc_320x180.hevc", StreamLayout::kVideoElementary, kTypeUnknown},
        {"mpeg/mpeg4_bframes.m4v", StreamLayout::kVideoElementary, kTypeUnknown},
        {"document.pdf", StreamLayout::kNone, kTypeUnknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto r = ContentOf(test::ReadBytes(test::SamplePath(c.path)));
        EXPECT_EQ(r->identity.layout, c.layout);
        EXPECT_EQ(r->identity.typeId, c.typeId);
        if (c.layout == StreamLayout::kAudioElementary) {
            EXPECT_EQ(r->records.container.audioCount, 1);
            ASSERT_NE(r->records.StreamIf(0), nullptr);
        }
        if (c.layout == StreamLayout::kNone) {
            EXPECT_EQ(r->records.StreamIf(0), nullptr);
        }
    }
    // An ADIF file (type 13 by its signature) keeps its type through the audio test.
    AnalysisRecords adif;
    adif.container.typeId = kTypeAacAdif;
    CSupMpg mpg(adif);
    const Bytes header = {'A', 'D', 'I', 'F', 0x10, 0, 0, 0, 0x09, 0x80};
    mpg.Analyse(View(header), header.size());
    EXPECT_EQ(adif.container.typeId, kTypeAacAdif);
    EXPECT_EQ(adif.container.layout, StreamLayout::kAudioElementary);
    EXPECT_EQ(adif.StreamIf(0)->audio[kAudioClassAac].sampleRate, 48000);

    auto dv = ContentOf(test::Sample("dv_pal_16x9.dv"));
    EXPECT_EQ(dv->records.video.headers[kHeaderRawDv].present, 1);
    EXPECT_TRUE(dv->records.video.dvInfo.wide);
    EXPECT_EQ(dv->records.container.videoCount, 1);
    auto h264 = ContentOf(test::Sample("h264_1080.264"));
    EXPECT_EQ(h264->records.video.headers[kHeaderH264].height, 1088);
    EXPECT_EQ(h264->records.container.videoCount, 1);
    EXPECT_FALSE(h264->records.video.hevc);
    auto hevc = ContentOf(test::Sample("hevc_320x180.hevc"));
    EXPECT_TRUE(hevc->records.video.hevc);
    EXPECT_FALSE(hevc->records.video.h264);
    EXPECT_EQ(hevc->records.video.headers[kHeaderHevc].height, 180);
    EXPECT_EQ(hevc->records.video.frameCount, 5);
    EXPECT_EQ(hevc->records.container.videoCount, 1);
    EXPECT_EQ(hevc->records.container.audioCount, 0);
}

TEST(ContentStage, DriverSettlesTheFileType) {
    struct Case {
        const char* path;
        int typeId;
        const char* description;
    };
    const Case cases[] = {
        {"mpeg/mp3_vbr_lame.mp3", kTypeMpeg, "MPEG (.MPG/.MPEG/.VOB)"},
        {"mp3_id3v2.mp3", kTypeMpeg, "MPEG (.MPG/.MPEG/.VOB)"},
        {"mpeg/mpeg4_plain.m4v", kTypeMpeg, "MPEG (.MPG/.MPEG/.VOB)"},
        {"mpeg/ac3_51.ac3", kTypeAc3, "Элементный звук AC3 "},
        {"mpeg/aac_stereo.aac", kTypeAacAdts, "Элементный звук AAC,  ADTS hdrs"},
        {"mpeg/dv_pal_4x3.dv", kTypeDvIec61834, "Raw DV - IEC 61834 (.DV)"},
        {"mpeg/dv_ntsc.dv", kTypeDvSmpte314M, "Raw DV - SMPTE 314M(.DV)"},
        {"image.png", 36, "PNG image (.PNG)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Display display;
        CAnalysisDriver driver(display);
        CMpegContentAnalyser analyser;
        driver.SetContentAnalyser(&analyser);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath(c.path)));
        EXPECT_EQ(driver.Identity().typeId, c.typeId);
        ASSERT_NE(driver.Identity().row, nullptr);
        EXPECT_STREQ(driver.Identity().row->description, c.description);
    }
}

}  // namespace
}  // namespace torvo
