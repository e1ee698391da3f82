// Matroska and WebM: the ffmpeg samples against ffprobe, and byte-built
// files for the walker's discipline, the codec table and the headers of the
// codecs without parsers of their own.
#include <gtest/gtest.h>

#include <limits>

#include "formats/containers/CodecHeaders.h"
#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/FfprobeExpectations.h"
#include "analysis/StreamReport.h"
#include "formats/containers/SupMKV.h"

namespace torvo {
namespace {

using namespace test;

TEST(SupMKVSamples, AgreeWithFfprobe) {
    ExpectAgreesWithFfprobe("mkv_h264_ac3.mkv", "H264");
    ExpectAgreesWithFfprobe("mkv_doctype_first.mkv", "H264");
    ExpectAgreesWithFfprobe("mkv_mpeg4_mp3x2.mkv", "MP4V");
    ExpectAgreesWithFfprobe("mkv_hevc_aac.mkv", "HEVC");
    ExpectAgreesWithFfprobe("webm_vp8_vorbis.webm", "VP80");
    ExpectAgreesWithFfprobe("webm_vp9_opus.webm", "VP90");
    ExpectAgreesWithFfprobe("webm_av1_opus.webm", "AV01");
    ExpectAgreesWithFfprobe("mkv_theora_flac.mkv", "theo");
}

// Each sound track is timed by its DURATION tag, as ffprobe lists the tags;
// the Tags element sits after the clusters, reached through the seek head.
TEST(SupMKVSamples, TrackDurationTags) {
    MemoryReader m(ReadBytes(SamplePath("tsmkv/mkv_h264_six_audio.mkv")));
    CSupMKV mkv(m.reader, m.records);
    ASSERT_TRUE(mkv.Analyse().IsOk());
    std::vector<int64_t> durations;
    for (const auto& track : mkv.Tracks())
        if (const StreamInfo* sound = track.slot >= 0 ? m.records.StreamIf(size_t(track.slot)) : nullptr)
            durations.push_back(sound->stampedDurationMs);
    EXPECT_EQ(durations, (std::vector<int64_t>{419, 432, 421, 421, 421, 422}));
}

TEST(SupMKVSamples, HeadersOfCodecsWithoutParsers) {
    // The sizes the AV1 sequence header and the Theora identification header
    // give agree with the track entries' (and ffprobe's) 160 x 120.
    struct Case {
        const char* file;
        bool (*read)(ByteView, PictureHeader&);
        bool laced;  // Xiph-laced headers; else av1C's four bytes first
    };
    const Case cases[] = {{"webm_av1_opus.webm", ReadAv1SequenceHeader, false},
                          {"mkv_theora_flac.mkv", ReadTheoraIdentification, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        MemoryReader m(ReadBytes(SamplePath(std::string("tsmkv/") + c.file)));
        CSupMKV mkv(m.reader, m.records);
        ASSERT_TRUE(mkv.Analyse().IsOk());
        const auto& cp = mkv.Tracks().at(0).codecPrivate;
        const ByteView bytes(cp.data(), cp.size());
        PictureHeader p;
        ASSERT_TRUE(c.read(c.laced ? SplitXiphLacing(bytes).at(0) : bytes.From(4), p));
        EXPECT_EQ(p.width, 160);
        EXPECT_EQ(p.height, 120);
    }
    // FLAC's STREAMINFO gives the sound format (ffprobe: 44100 Hz, one channel).
    DatabaseDriver d;
    ASSERT_TRUE(d.Analyse("tsmkv/mkv_theora_flac.mkv"));
    EXPECT_EQ(d.Field("AUDIO_CODEC"), "FLAC");
    EXPECT_EQ(d.Field("VIDEO_CODEC_NAME"), "Theora");
}

TEST(SupMKVSamples, TracksLanguagesAndUserData) {
    DatabaseDriver d;
    ASSERT_TRUE(d.Analyse("tsmkv/mkv_mpeg4_mp3x2.mkv"));
    const auto notes = d.Notes();
    const std::vector<std::string> expected = {
        "Тип файла: Видеозапись Matroska(.MKV)", "Тип MIME:  video/x-matroska", "Matroska v4 << { 1 вид, 2 ауд }",
        " · Дорожка 1: видео MPEG-4 Part 2", " · Дорожка 2: звук MPEG Layer 3, язык rus",
        " · Дорожка 3: звук MPEG Layer 3, язык eng", "Длина файла верна  "};
    ASSERT_GE(notes.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(notes.begin(), notes.begin() + 7), expected);
    EXPECT_EQ(d.Field("VIDEO_MPEG4"), "MPEG-4");
    EXPECT_EQ(d.Field("CONT_AUDIO_STREAM_COUNT"), "2");
    EXPECT_EQ(d.Field("AUDIO_CODEC", 1), "0x0055 MPEG-1 Layer 3");
    // The MPEG-4 VOL's own user data is real; nothing else is listed beside the metadata.
    const std::vector<std::string> userData = {"MuxingApp:Lavf59.27.100", "WritingApp:Lavf59.27.100",
                                               "ENCODER:Lavf59.27.100", "[USER]\tLavc59.37.100"};
    EXPECT_EQ(d.UserData(), userData);

    DatabaseDriver h;
    ASSERT_TRUE(h.Analyse("tsmkv/mkv_h264_ac3.mkv"));
    EXPECT_EQ(h.UserData(), (std::vector<std::string>{"Title:Torvo title", "MuxingApp:Lavf59.27.100",
                                                      "WritingApp:Lavf59.27.100", "ENCODER:Lavf59.27.100"}));
    EXPECT_EQ(h.Field("AUDIO_CODEC"), "0x2000 (dvm) AC3");
    EXPECT_EQ(h.Field("VIDEO_H264"), "H264");
    EXPECT_EQ(h.Field("VIDEO_CODEC_NAME"), "H.264/AVC");
    EXPECT_NEAR(std::atoi(h.Field("CONT_TOTAL_BITRATE").c_str()), 16592 * 8 / 1024.0, 2);

    DatabaseDriver w;
    ASSERT_TRUE(w.Analyse("tsmkv/webm_vp8_vorbis.webm"));
    EXPECT_EQ(w.Field("AUDIO_CODEC"), "Vorbis");
    EXPECT_EQ(w.Field("AUDIO_BITRATE"), "48");  // the Vorbis header's nominal bitrate
    EXPECT_EQ(w.Notes()[2], "WebM v2 << { 1 вид, 1 ауд }");

    // The VP9 key frame's profile (ffprobe: "Profile 1", 4:4:4 from an RGB source).
    DatabaseDriver vp9;
    ASSERT_TRUE(vp9.Analyse("tsmkv/webm_vp9_opus.webm"));
    EXPECT_EQ(vp9.Notes()[3], " · Дорожка 1: видео VP9 Profile 1");
    EXPECT_EQ(vp9.Field("AUDIO_CODEC"), "Opus");
}

// --- byte-built files ---

// An EBML element; sizes in eight bytes unless `unknown` (all bits set).
Bytes El(uint32_t id, const Bytes& payload, bool unknown = false) {
    Bytes out;
    for (int shift = 24; shift >= 0; shift -= 8)
        if (id >> shift || shift == 0) out.push_back(static_cast<uint8_t>(id >> shift));
    const uint64_t size = unknown ? 0x00FFFFFFFFFFFFFFull : payload.size();
    out.push_back(0x01);
    for (int shift = 48; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(size >> shift));
    return out + payload;
}
Bytes Uint(uint32_t id, uint64_t v) { return El(id, Be64(v)); }
Bytes Str(uint32_t id, const std::string& s) { return El(id, Text(s)); }

Bytes Header(const std::string& docType) { return El(0x1A45DFA3, Uint(0x4286, 1) + Str(0x4282, docType) + Uint(0x4287, 4)); }

Bytes SimpleBlock(uint8_t track, const Bytes& frame, uint8_t flags = 0x80, int16_t time = 0) {
    return El(0xA3, Bytes{static_cast<uint8_t>(0x80 | track), static_cast<uint8_t>(time >> 8), static_cast<uint8_t>(time), flags} +
                        frame);
}

// A VP8 key frame header for the given size.
Bytes Vp8Frame(int w, int h) { return Bytes{0x10, 0x02, 0x00, 0x9D, 0x01, 0x2A} + Le16(w) + Le16(h) + Zeros(20); }

TEST(SupMKVBuilt, UnknownSizesLacingAndTheTrackEntry) {
    const Bytes video = El(0xE0, Uint(0xB0, 320) + Uint(0xBA, 240) + Uint(0x54B0, 16) + Uint(0x54BA, 9));
    const Bytes audio = El(0xE1, El(0xB5, Be64(0x40E7700000000000ull)) + Uint(0x9F, 2));  // 48000.0
    const Bytes tracks =
        El(0x1654AE6B, El(0xAE, Uint(0xD7, 1) + Uint(0x83, 1) + Str(0x86, "V_VP8") + Uint(0x23E383, 33366666) + video) +
                           El(0xAE, Uint(0xD7, 2) + Uint(0x83, 2) + Str(0x86, "A_AC3") + Str(0x22B59C, "fre") +
                                        Str(0x536E, "Commentaire") + audio));
    const Bytes info = El(0x1549A966, Uint(0x2AD7B1, 1000000) + El(0x4489, Be64(0x40AF400000000000ull)) +  // 4000.0
                                          Str(0x7BA9, "Built"));
    const Bytes ac3 = ReadBytes(SamplePath("ac3_stereo.ac3"));
    ASSERT_GT(ac3.size(), 6000u);
    // Xiph lacing: three frames of 300, 300 and the rest.
    const Bytes laced = Bytes{2, 255, 45, 255, 45} + Bytes(ac3.begin(), ac3.begin() + 1200);
    // Two clusters of unknown size; the first ends where the second begins.
    const Bytes cluster1 = El(0x1F43B675, Uint(0xE7, 0) + SimpleBlock(1, Vp8Frame(320, 240)) + SimpleBlock(2, laced, 0x82), true);
    const Bytes cluster2 = El(0x1F43B675, Uint(0xE7, 40) + SimpleBlock(2, Bytes(ac3.begin() + 1200, ac3.begin() + 6000)), true);
    const Bytes tags = El(0x1254C367, El(0x7373, El(0x63C0, Uint(0x68CA, 50)) +
                                                     El(0x67C8, Str(0x45A3, "ENCODER") + Str(0x4487, "builder"))));
    const Bytes file = Header("matroska") + El(0x18538067, info + tracks + cluster1 + cluster2 + tags, true);

    MemoryReader m(file);
    CSupMKV mkv(m.reader, m.records);
    ASSERT_TRUE(mkv.Analyse().IsOk());
    ASSERT_EQ(mkv.Tracks().size(), 2u);
    EXPECT_EQ(mkv.Tracks()[0].frames, 1u);
    EXPECT_EQ(mkv.Tracks()[1].frames, 4u);  // three laced, one plain
    const VideoInfo& v = m.records.video;
    EXPECT_EQ(v.width, 320);
    EXPECT_EQ(v.height, 240);
    EXPECT_EQ(v.usPerFrame, 33366);
    EXPECT_NEAR(v.displayAspect, 16.0 / 9, 1e-9);
    EXPECT_EQ(v.durationMs, 4000);
    EXPECT_EQ(v.fourcc, FourCCOf("VP80"));
    const StreamInfo* sound = m.records.StreamIf(0);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->data.Count(), 6000u);
    EXPECT_GT(sound->audio[kAudioClassAc3].codecClass, 0);
    EXPECT_EQ(sound->sampleRate, 48000);
    EXPECT_EQ(sound->channels, 2);
    const ContainerInfo& c = m.records.container;
    EXPECT_EQ(c.docType, "matroska");
    ASSERT_EQ(c.tracks.size(), 2u);
    EXPECT_EQ(MatroskaTrackLine(c.tracks[1]), " · Дорожка 2: звук AC-3, язык fre, «Commentaire»");
    ASSERT_EQ(c.metadata.size(), 2u);  // the title, and the tags that the tag list reached past both clusters
    EXPECT_EQ(c.metadata[1].name, "ENCODER");
    EXPECT_EQ(c.declaredLength, 0u);  // a Segment of unknown size declares no length
}

TEST(SupMKVBuilt, SeekHeadLeadsPastTheClusters) {
    // Sixty clusters of one VP8 frame each, then bytes that are no element,
    // then the tags: once the track has its frames, the seek head leads to them.
    const Bytes tracks = El(0x1654AE6B, El(0xAE, Uint(0xD7, 1) + Uint(0x83, 1) + Str(0x86, "V_VP8")));
    Bytes clusters;
    for (int i = 0; i < 60; ++i) clusters = clusters + El(0x1F43B675, Uint(0xE7, i) + SimpleBlock(1, Vp8Frame(64, 48)));
    const Bytes junk = Zeros(16);
    const Bytes tags = El(0x1254C367, El(0x7373, El(0x67C8, Str(0x45A3, "TITLE") + Str(0x4487, "after"))));
    // SeekHead > Seek > SeekID, SeekPosition (from the Segment's payload); its own size is fixed.
    auto seekHead = [&](uint64_t tagsAt) {
        return El(0x114D9B74, El(0x4DBB, El(0x53AB, Bytes{0x12, 0x54, 0xC3, 0x67}) + Uint(0x53AC, tagsAt)));
    };
    const uint64_t tagsAt = seekHead(0).size() + tracks.size() + clusters.size() + junk.size();
    const Bytes file = Header("webm") + El(0x18538067, seekHead(tagsAt) + tracks + clusters + junk + tags);
    MemoryReader m(file);
    CSupMKV mkv(m.reader, m.records);
    ASSERT_TRUE(mkv.Analyse().IsOk());
    EXPECT_EQ(mkv.Tracks()[0].frames, CSupMKV::kFramesWanted);
    ASSERT_EQ(m.records.container.metadata.size(), 1u);
    EXPECT_EQ(m.records.container.metadata[0].text, "after");
    EXPECT_EQ(m.records.video.width, 64);
}

// A cluster longer than the tail read begins before it: the blocks the
// header walk passed time the tracks (a sound track without a default
// duration: each frame of its last blocks lasts as long as one of the block
// before, less the DiscardPadding). Where the walk stopped short of the
// tail, the sound stays untimed rather than ending with the last block it saw.
TEST(SupMKVBuilt, ClusterLongerThanTheTail) {
    const Bytes tracks = El(0x1654AE6B, El(0xAE, Uint(0xD7, 1) + Uint(0x83, 1) + Str(0x86, "V_VP8") + Uint(0x23E383, 40000000)) +
                                            El(0xAE, Uint(0xD7, 2) + Uint(0x83, 2) + Str(0x86, "A_AC3")));
    for (const bool walkStops : {false, true}) {
        SCOPED_TRACE(walkStops);
        // Enough frames of both tracks in a first cluster end the header walk there.
        Bytes first = Uint(0xE7, 0);
        for (int16_t i = 0; i < static_cast<int16_t>(CSupMKV::kFramesWanted); ++i)
            first = first + SimpleBlock(1, Vp8Frame(64, 48), 0x80, i * 40) + SimpleBlock(2, Zeros(100), 0x80, i * 40);
        const int64_t base = walkStops ? 2000 : 0;
        Bytes big = Uint(0xE7, static_cast<uint64_t>(base));
        // Sound blocks of two Xiph-laced frames every 40 ms, then one frame
        // (20 ms), then a group of 20 ms with 5 ms of padding: 3035 ms.
        for (int16_t i = 0; i < 75; ++i)
            big = big + SimpleBlock(1, Vp8Frame(64, 48) + Zeros(4000), 0x80, i * 40) +
                  SimpleBlock(2, Bytes{1, 50} + Zeros(100), 0x82, i * 40);
        big = big + SimpleBlock(2, Zeros(50), 0x80, 3000) +
              El(0xA0, El(0xA1, Bytes{0x82, 0x0B, 0xCC, 0} + Zeros(50)) + Uint(0x9B, 20) + Uint(0x75A2, 5000000));
        const Bytes clusters = (walkStops ? El(0x1F43B675, first) : Bytes{}) + El(0x1F43B675, big);
        ASSERT_GT(El(0x1F43B675, big).size(), 0x40000u);
        MemoryReader m(Header("webm") + El(0x18538067, tracks + clusters));
        CSupMKV mkv(m.reader, m.records);
        ASSERT_TRUE(mkv.Analyse().IsOk());
        const StreamInfo* sound = m.records.StreamIf(0);
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(sound->stampedDurationMs, walkStops ? 0 : 3035);
        EXPECT_EQ(m.records.video.stampedDurationMs, walkStops ? 0 : 3000);
    }
}

TEST(SupMKVBuilt, SizesCheckedAgainstTheParent) {
    // A track entry claiming more than the Tracks element holds is not read;
    // the Segment of a file cut short is read as far as it goes.
    const Bytes good = El(0xAE, Uint(0xD7, 1) + Uint(0x83, 2) + Str(0x86, "A_OPUS"));
    Bytes tracks = El(0x1654AE6B, good + Bytes{0xAE, 0x01, 0, 0, 0, 0, 0, 0x10, 0x00} + Zeros(8));
    const Bytes segment = El(0x18538067, tracks + El(0x1F43B675, Uint(0xE7, 0)));
    Bytes file = Header("webm") + segment;
    {
        MemoryReader m(file);
        CSupMKV mkv(m.reader, m.records);
        ASSERT_TRUE(mkv.Analyse().IsOk());
        EXPECT_EQ(mkv.Tracks().size(), 1u);
        EXPECT_EQ(m.records.container.declaredLength, file.size());
    }
    const Bytes cut(file.begin(), file.end() - 5);
    MemoryReader m(cut);
    CSupMKV mkv(m.reader, m.records);
    EXPECT_EQ(mkv.Analyse().Code(), "truncated");
    EXPECT_EQ(m.records.container.declaredLength, file.size());
}

TEST(SupMKVBuilt, CodecTable) {
    struct Case {
        const char* id;
        std::string_view name;
        MkvTrackKind kind;
        uint32_t fourcc;
    };
    const Case cases[] = {
        {"V_MPEG4/ISO/AVC", "H.264/AVC", MkvTrackKind::kVideo, FourCCOf("H264")},
        {"V_MPEG4/ISO/ASP", "MPEG-4 Part 2", MkvTrackKind::kVideo, FourCCOf("MP4V")},
        {"V_MPEG4/ISO/SP", "MPEG-4 Part 2", MkvTrackKind::kVideo, FourCCOf("MP4V")},
        {"V_AV1", "AV1", MkvTrackKind::kVideo, FourCCOf("AV01")},
        {"A_AAC/MPEG4/LC/SBR", "AAC", MkvTrackKind::kAudio, 0},
        {"S_TEXT/UTF8", "текст (UTF-8)", MkvTrackKind::kSubtitle, 0},
        {"V_MPEG4/ISO", "не знаю", MkvTrackKind::kOther, 0},  // a family prefix alone names nothing
        {"X_NEW", "не знаю", MkvTrackKind::kOther, 0},
    };
    for (const Case& c : cases) {
        const MkvCodec& row = FindMkvCodec(c.id);
        EXPECT_EQ(row.name, c.name) << c.id;
        EXPECT_EQ(row.kind, c.kind) << c.id;
        EXPECT_EQ(row.fourcc, c.fourcc) << c.id;
    }
}

// A Theora identification header's frame rate as a frame period: a
// denominator of 2^31 - 1 over 1 is more microseconds than int32_t holds.
TEST(SupMKVBuilt, TheoraFramePeriodIsHeldWithinItsField) {
    const struct {
        uint32_t numerator, denominator;
        int32_t usPerFrame;
    } cases[] = {{25, 1, 40000},
                 {30000, 1001, 33366},
                 {1, 0x7FFFFFFF, std::numeric_limits<int32_t>::max()},
                 {1, 2148, std::numeric_limits<int32_t>::max()},
                 {0x7FFFFFFF, 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.denominator);
        const Bytes identification = Bytes{0x80} + Text("theora") + Bytes{3, 2, 1} + Be16(20) + Be16(15) +
                                     Be24(320) + Be24(240) + Bytes{0, 0} + Be32(c.numerator) + Be32(c.denominator) +
                                     Zeros(12);
        const Bytes track = El(0xAE, Uint(0xD7, 1) + Uint(0x83, 1) + Str(0x86, "V_THEORA") +
                                         El(0x63A2, Bytes{0} + identification));
        MemoryReader m(Header("matroska") + El(0x18538067, El(0x1654AE6B, track)));
        CSupMKV mkv(m.reader, m.records);
        mkv.Analyse();
        EXPECT_EQ(m.records.video.width, 320);
        EXPECT_EQ(m.records.video.usPerFrame, c.usPerFrame);
    }
}

TEST(SupMKVBuilt, CodecHeaders) {
    PictureHeader p;
    const Bytes vp8 = Vp8Frame(640, 360);
    EXPECT_TRUE(ReadVp8KeyFrame(ByteView(vp8.data(), vp8.size()), p));
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 360);
    Bytes inter = vp8;
    inter[0] |= 1;
    EXPECT_FALSE(ReadVp8KeyFrame(ByteView(inter.data(), inter.size()), p));
    // A VP9 profile 0 key frame, BT.601, 1280 x 720.
    const Bytes vp9 = {0x82, 0x49, 0x83, 0x42, 0x00, 0x4F, 0xF0, 0x2C, 0xF0, 0x00, 0x00};
    PictureHeader q;
    EXPECT_TRUE(ReadVp9KeyFrame(ByteView(vp9.data(), vp9.size()), q));
    EXPECT_EQ(q.width, 1280);
    EXPECT_EQ(q.height, 720);
    EXPECT_EQ(q.profile, 0);

    SoundHeader s;
    const Bytes opus = Text("OpusHead") + Bytes{1, 6} + Le16(312) + Le32(44100) + Zeros(3);
    EXPECT_TRUE(ReadOpusHead(ByteView(opus.data(), opus.size()), s));
    EXPECT_EQ(s.channels, 6);
    EXPECT_EQ(s.sampleRate, 48000);
    // FLAC STREAMINFO: 44100 Hz, 2 channels, 16 bits.
    const Bytes flac = Text("fLaC") + Bytes{0x80, 0, 0, 34} + Zeros(10) + Bytes{0x0A, 0xC4, 0x42, 0xF0} + Zeros(20);
    SoundHeader f;
    EXPECT_TRUE(ReadFlacStreamInfo(ByteView(flac.data(), flac.size()), f));
    EXPECT_EQ(f.sampleRate, 44100);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.bitsPerSample, 16);
    // AAC LC, 48 kHz (index 3), 2 channels.
    const Bytes asc = {0x11, 0x90};
    SoundHeader a;
    EXPECT_TRUE(ReadAudioSpecificConfig(ByteView(asc.data(), asc.size()), a));
    EXPECT_EQ(a.sampleRate, 48000);
    EXPECT_EQ(a.channels, 2);
    // ALAC's cookie: bare (CAF), in its "alac" box (MP4), after "frma" too
    // (QuickTime's "wave"); a compatible version other than 0 or a bit
    // depth ALAC does not code is none.
    const Bytes config = Be32(4096) + Bytes{0, 24, 40, 10, 14, 2} + Bytes{0, 255} + Be32(0) + Be32(0) + Be32(96000);
    const Bytes box = Be32(36) + Text("alac") + Zeros(4) + config;
    Bytes badVersion = config, badDepth = config;
    badVersion[4] = 1;
    badDepth[5] = 12;
    const struct {
        Bytes cookie;
        int bits;
    } cookies[] = {{config, 24}, {box, 24}, {Be32(12) + Text("frmaalac") + box, 24},
                   {badVersion, 0}, {badDepth, 0}, {Bytes(config.begin(), config.end() - 1), 0}};
    for (const auto& c : cookies) {
        SoundHeader alac;
        EXPECT_EQ(ReadAlacCookie(ByteView(c.cookie.data(), c.cookie.size()), alac), c.bits > 0) << c.cookie.size();
        EXPECT_EQ(alac.bitsPerSample, c.bits);
        EXPECT_EQ(alac.channels, c.bits ? 2 : 0);
        EXPECT_EQ(alac.sampleRate, c.bits ? 96000 : 0);
    }
    // Xiph lacing whose sizes run past the bytes gives nothing.
    const Bytes bad = {2, 255, 255, 10, 1, 2, 3};
    EXPECT_TRUE(SplitXiphLacing(ByteView(bad.data(), bad.size())).empty());
}

}  // namespace
}  // namespace torvo
