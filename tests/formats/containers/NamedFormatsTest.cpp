// Ogg, FLAC, AIFF, AU, WavPack, Creative Voice, RIFX and RealMedia: the
// ffmpeg samples against ffprobe, the tags and stream types they report,
// byte-built edge cases of each reader, and truncated and mutated samples
// through the readers and the driver.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "NamedFormatFuzz.h"
#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/FfprobeExpectations.h"
#include "inventory/CapsTypes.h"
#include "inventory/CodecStatus.h"

namespace torvo {
namespace {

using namespace test;

// A number of ffprobe's, or -1 when it gave none ("N/A", "0/0").
double ProbeNumber(const ProbeEntries& e, const char* key) {
    const auto it = e.find(key);
    if (it == e.end() || it->second.empty() || it->second == "N/A") return -1;
    return std::atof(it->second.c_str());
}

TEST(NamedFormatSamples, AgreeWithFfprobe) {
    const std::map<std::string, ProbedFile> probed = ReadProbeExpectations("named");
    ASSERT_EQ(probed.size(), 27u);
    for (const auto& [file, expected] : probed) {
        SCOPED_TRACE(file);
        DatabaseDriver d;
        ASSERT_TRUE(d.Analyse("named/" + file));
        const AnalysisRecords& r = d.driver.Records();
        if (const ProbeEntries* v = expected.Stream("video", 0)) {
            EXPECT_EQ(d.Field("VIDEO_SIZE_X"), v->at("width"));
            EXPECT_EQ(d.Field("VIDEO_SIZE_Y"), v->at("height"));
            EXPECT_NEAR(std::atof(d.Field("VIDEO_FRAMES_PER_SEC").c_str()), RateOf(v->at("r_frame_rate")), 0.001);
            EXPECT_NEAR(static_cast<double>(r.video.durationMs), ProbeNumber(*v, "duration") * 1000, 70);
        }
        for (size_t n = 0; n < 3; ++n) {
            const ProbeEntries* a = expected.Stream("audio", n);
            if (!a) break;
            SCOPED_TRACE("sound stream " + std::to_string(n));
            const int entry = static_cast<int>(n);
            EXPECT_EQ(d.Field("AUDIO_SAMPLE_RATE", entry), a->at("sample_rate"));
            EXPECT_EQ(d.Field("AUDIO_CHANNEL_COUNT", entry), a->at("channels"));
            EXPECT_NE(d.Field("AUDIO_CODEC", entry), "");
            const StreamInfo* s = r.StreamIf(static_cast<size_t>(r.audioList[n]));
            ASSERT_NE(s, nullptr);
            // Bits per sample where the format states them (PCM, FLAC, WavPack).
            const double bits = std::max(ProbeNumber(*a, "bits_per_sample"), ProbeNumber(*a, "bits_per_raw_sample"));
            if (bits > 0) {
                EXPECT_EQ(s->bitsPerSample, static_cast<int>(bits));
            }
            if (const double seconds = ProbeNumber(*a, "duration"); seconds > 0) {
                EXPECT_NEAR(static_cast<double>(s->durationMs), seconds * 1000, 30);
            }
        }
        EXPECT_NEAR(static_cast<double>(r.container.durationMs), ProbeNumber(expected.format, "duration") * 1000, 70);
    }
}

TEST(NamedFormatSamples, TagsStreamLinesAndTypes) {
    // What each file names itself and its streams: a user data line, a
    // container line, and the types the codec status searches with.
    struct Case {
        const char* file;
        const char* userData;
        const char* note;
        StreamKind kind;
        const char* source;      // caps of the demuxer's input
        const char* elementary;  // caps of the coded stream
    };
    const Case cases[] = {
        {"ogg_theora_vorbis.ogg", "TITLE:Torvo Ogg", "Ogg << { 1 вид, 1 ауд }", kVideoStream, "application/ogg", "video/x-theora"},
        {"ogg_theora_vorbis.ogg", "ARTIST:Torvo", " · Поток", kAudioStream, "application/ogg", "audio/x-vorbis"},
        {"opus_stereo.opus", "TITLE:Torvo Opus", "Ogg << { 1 ауд }", kAudioStream, "application/ogg", "audio/x-opus"},
        {"speex_8k.spx", "", "Ogg << { 1 ауд }", kAudioStream, "application/ogg", "audio/x-speex"},
        {"flac_stereo.flac", "TITLE:Torvo FLAC", "FLAC << { 1 ауд }", kAudioStream, "audio/x-flac", "audio/x-flac"},
        {"wavpack_stereo.wv", "", "WavPack << { 1 ауд }", kAudioStream, "audio/x-wavpack", "audio/x-wavpack"},
        {"au_mulaw.au", "", "NeXT/Sun AU << { 1 ауд }", kAudioStream, "audio/x-au", "audio/x-mulaw"},
        {"aifc_alaw.aifc", "", "AIFF-C << { 1 ауд }", kAudioStream, "audio/x-aiff", "audio/x-alaw"},
        {"rm_rv10_ac3.rm", "TITLE:Torvo RM", "RealMedia << { 1 вид, 1 ауд }", kVideoStream,
         "application/vnd.rn-realmedia", "video/x-pn-realvideo, rmversion=(int)1"},
        {"rm_rv10_ac3.rm", "AUTHOR:Torvo", " · Поток 1: звук dnet: AC-3", kAudioStream, "application/vnd.rn-realmedia",
         "audio/x-ac3"},
        // ffmpeg writes RealAudio 1.0 under "lpcJ", a code the RealMedia demuxer gives no type.
        {"rm_rv20_ra144.rm", "", " · Поток 1: звук lpcJ", kAudioStream, "application/vnd.rn-realmedia",
         "video/x-unknown-fourcc"},
        // No demuxer takes the big-endian form in.
        {"rifx_pcm16.wav", "", "RIFX (WAVE, big-endian) << { 1 ауд }", kAudioStream, "audio/x-rifx", "audio/x-raw"},
    };
    auto pairOf = [](const char* caps) { return TypeForCaps(caps).value_or(ProjectTypeForCaps(caps)); };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.elementary);
        DatabaseDriver d;
        ASSERT_TRUE(d.Analyse("named/" + std::string(c.file)));
        const std::vector<std::string> tags = d.UserData(), notes = d.Notes();
        if (c.userData[0]) {
            EXPECT_NE(std::find(tags.begin(), tags.end(), c.userData), tags.end());
        }
        EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [&](const std::string& n) { return n.starts_with(c.note); }));
        StreamTypePairs types;
        if (!c.source[0]) continue;
        ASSERT_TRUE(StreamTypes(d.driver.Records(), c.kind, 0, 0, types));
        EXPECT_EQ(types.source, pairOf(c.source));
        EXPECT_EQ(types.elementary, pairOf(c.elementary));
    }
    // A big-endian WAVE is reported as WAVE; its PCM is not "no codec needed",
    // since nothing here can take the file apart to play it.
    DatabaseDriver rifx;
    ASSERT_TRUE(rifx.Analyse("named/rifx_pcm16.wav"));
    EXPECT_EQ(rifx.Field("CONT_BASETYPE"), "WAVE(.WAV)");
    EXPECT_FALSE(IsPcmAudio(rifx.driver.Records(), 0));
}

TEST(NamedFormatReaders, ExtendedRate) {
    // 80-bit extended values: exponent 0x3FFF + n scales the mantissa's top bit by 2^n.
    const struct {
        Bytes ten;
        uint32_t rate;
    } cases[] = {
        {Be16(0x400E) + Be64(0xAC44000000000000ull), 44100},
        {Be16(0x400B) + Be64(0xFA00000000000000ull), 8000},
        {Be16(0x4016) + Be64(0x9896800000000000ull), 10000000},        // 10 MHz, the largest accepted
        {Be16(0x4017) + Be64(0x9896800000000000ull), 0},               // 20 MHz
        {Be16(0xC00E) + Be64(0xAC44000000000000ull), 0},               // negative
        {Be16(0x7FFF) + Be64(0x8000000000000000ull), 0},               // infinity
        {Be16(0x0000) + Be64(0), 0},                                   // zero
        {Be16(0x3FFD) + Be64(0x8000000000000000ull), 0},               // 0.25 Hz
        {Be16(0x400E), 0},                                             // cut short
    };
    for (const auto& c : cases) EXPECT_EQ(ExtendedToRate(ByteView(c.ten.data(), c.ten.size())), c.rate);
}

// An AIFF file of one COMM chunk (and what follows it).
Bytes Aiff(uint16_t channels, uint32_t frames, const Bytes& rate, const Bytes& tail = {}) {
    const Bytes comm = Text("COMM") + Be32(18) + Be16(channels) + Be32(frames) + Be16(16) + rate;
    const Bytes body = Text("AIFF") + comm + tail;
    return Text("FORM") + Be32(static_cast<uint32_t>(body.size())) + body;
}

TEST(NamedFormatReaders, EdgeCasesOfTheHeaders) {
    // Each case: the bytes, the type whose reader runs, and what the first
    // sound stream then says (-1: no stream at all).
    const Bytes rate44k = Be16(0x400E) + Be64(0xAC44000000000000ull);
    Bytes manySilences = Text("Creative Voice File\x1A") + Le16(26) + Le16(0x010A) + Le16(0x1129);
    const Bytes silence = Bytes{3, 3, 0, 0} + Le16(99) + Bytes{156};
    for (int i = 0; i < 70000; ++i) manySilences.insert(manySilences.end(), silence.begin(), silence.end());
    const Bytes flacInfo = Bytes{0x00, 0x0F, 0xFF, 0xFF} + Zeros(6) +
                           Be64(uint64_t(44100) << 44 | uint64_t(1) << 41 | uint64_t(15) << 36 | 441000) + Zeros(16);
    const struct Case {
        const char* what;
        Bytes bytes;
        int32_t type;
        int32_t rate, channels;
        int64_t durationMs;
    } cases[] = {
        {"FLAC: STREAMINFO", Text("fLaC") + Bytes{0x80, 0, 0, 34} + flacInfo, kTypeFlac, 44100, 2, 10000},
        {"FLAC: block longer than the file", Text("fLaC") + Bytes{0x80, 0, 1, 0} + flacInfo, kTypeFlac, -1, 0, 0},
        {"FLAC: no sample count", Text("fLaC") + Bytes{0x80, 0, 0, 34} + Bytes(flacInfo.begin(), flacInfo.begin() + 14) + Zeros(20),
         kTypeFlac, 44100, 2, 0},
        {"AIFF", Aiff(2, 44100, rate44k), kTypeAiff, 44100, 2, 1000},
        {"AIFF: zero rate", Aiff(2, 44100, Be16(0) + Be64(0)), kTypeAiff, 0, 2, 0},
        {"AIFF: COMM cut short", Text("FORM") + Be32(14) + Text("AIFF") + Text("COMM") + Be32(18) + Be16(2), kTypeAiff, -1, 0, 0},
        {"AIFF: SSND claims more than its FORM", Aiff(1, 4410, rate44k, Text("SSND") + Be32(0xFFFFFFF0)), kTypeAiff, 44100, 1, 100},
        {"AU: size unknown, data to the end", Text(".snd") + Be32(24) + Be32(0xFFFFFFFF) + Be32(3) + Be32(8000) + Be32(1) + Zeros(1600),
         kTypeSunAu, 8000, 1, 100},
        {"AU: no channels", Text(".snd") + Be32(24) + Be32(16) + Be32(3) + Be32(8000) + Be32(0) + Zeros(16), kTypeSunAu, 8000, 0, 0},
        {"AU: data offset beyond the file", Text(".snd") + Be32(0xFFFFFFFF) + Be32(16) + Be32(1) + Be32(8000) + Be32(1), kTypeSunAu, 8000, 1, 0},
        {"VOC: 70,000 silence blocks are not all walked", manySilences, kTypeCreativeVoice, -1, 0, 0},
        {"VOC: sound block longer than the file",
         Text("Creative Voice File\x1A") + Le16(26) + Le16(0x010A) + Le16(0x1129) + Bytes{1, 0xFF, 0xFF, 0xFF, 156, 0} + Zeros(100),
         kTypeCreativeVoice, 10000, 1, 10},
        {"WavPack: rate from its sub-block", Text("wvpk") + Le32(24 + 6) + Le16(0x410) + Bytes{0, 0} + Le32(96000) + Le32(0) +
         Le32(96000) + Le32(1u << 2 | 1 | 15u << 23 | 3u << 11) + Le32(0) + Bytes{0x27, 2} + Bytes{0x00, 0x77, 0x01, 0},
         kTypeWavPack, 96000, 1, 1000},
        {"WavPack: block size below its header", Text("wvpk") + Le32(4) + Zeros(24), kTypeWavPack, -1, 0, 0},
        {"Ogg: segment table beyond the end", Text("OggS") + Bytes{0, 2} + Zeros(20) + Bytes{200, 30}, kTypeOgg, -1, 0, 0},
        {"RealMedia: chunk smaller than its header", Text(".RMF") + Be32(18) + Zeros(10) + Text("PROP") + Be32(4) + Zeros(40),
         kTypeRealMedia, -1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryReader m(c.bytes);
        AnalyseNamedFormat(c.type, m.reader, m.records);
        const StreamInfo* s = m.records.StreamIf(0);
        if (c.rate < 0) {
            EXPECT_EQ(s, nullptr);
            continue;
        }
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->sampleRate, c.rate);
        EXPECT_EQ(s->channels, c.channels);
        EXPECT_EQ(s->durationMs, c.durationMs);
    }
}

TEST(NamedFormatReaders, OggStreamsAndGranules) {
    // Pages built by hand: an unknown codec's stream is listed as data, a
    // Vorbis stream takes its rate from the header and its time from the
    // last granule (a granule of all ones on a later page does not count).
    auto page = [](uint8_t flags, uint64_t granule, uint32_t serial, const Bytes& packet) {
        return Text("OggS") + Bytes{0, flags} + Le64(granule) + Le32(serial) + Le32(0) + Le32(0) +
               Bytes{1, static_cast<uint8_t>(packet.size())} + packet;
    };
    const Bytes vorbisId = Bytes{1} + Text("vorbis") + Le32(0) + Bytes{2} + Le32(32000) + Le32(0) + Le32(96000) +
                           Le32(0) + Bytes{0xB8, 1};
    const Bytes comments = Bytes{3} + Text("vorbis") + Le32(1) + Text("v") + Le32(1) + Le32(9) + Text("TITLE=Sea") + Bytes{1};
    const Bytes file = page(2, 0, 7, vorbisId) + page(2, 0, 9, Text("mystery")) + page(0, 0, 7, comments) +
                       page(0, 64000, 7, Zeros(10)) + page(4, UINT64_MAX, 7, Zeros(3));
    MemoryReader m(file);
    CSupOgg ogg(m.reader, m.records);
    EXPECT_EQ(ogg.Analyse().Code(), "truncated");  // the mystery stream never ends
    ASSERT_EQ(ogg.Streams().size(), 2u);
    EXPECT_EQ(m.records.container.audioCount, 1);
    EXPECT_EQ(m.records.container.otherCount, 1);
    const StreamInfo* s = m.records.StreamIf(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->sampleRate, 32000);
    EXPECT_EQ(s->channels, 2);
    EXPECT_EQ(s->bitrateKbps, 96);
    EXPECT_EQ(s->durationMs, 2000);
    ASSERT_FALSE(m.records.container.metadata.empty());
    EXPECT_EQ(m.records.container.metadata[0].text, "Sea");
}

// One Ogg page holding one packet.
Bytes OggPageOf(uint8_t flags, uint64_t granule, uint32_t serial, const Bytes& packet) {
    return Text("OggS") + Bytes{0, flags} + Le64(granule) + Le32(serial) + Le32(0) + Le32(0) +
           Bytes{1, static_cast<uint8_t>(packet.size())} + packet;
}

TEST(NamedFormatReaders, OggCodecsAndTheirGranules) {
    // Each codec's identification packet, then a page whose granule gives the
    // playing time: samples at the rate, Opus's at 48 kHz less its pre-skip,
    // Theora's frames as the key frame above the shift plus those since.
    const Bytes theora = Bytes{0x80} + Text("theora") + Bytes{3, 2, 1} + Be16(20) + Be16(15) + Be24(320) + Be24(240) +
                         Bytes{0, 0} + Be32(30000) + Be32(1001) + Be24(4) + Be24(3) + Bytes{0} + Be24(0) +
                         Be16(6u << 5) + Zeros(2);
    const Bytes opus = Text("OpusHead") + Bytes{1, 2} + Le16(312) + Le32(44100) + Le16(0) + Bytes{0};
    const Bytes flac = Bytes{0x7F} + Text("FLAC") + Bytes{1, 0} + Be16(1) + Text("fLaC") + Bytes{0, 0, 0, 34} +
                       Be16(4096) + Be16(4096) + Zeros(6) +
                       Be64(uint64_t(96000) << 44 | uint64_t(5) << 41 | uint64_t(23) << 36) + Zeros(16);
    const Bytes speex = Text("Speex   ") + Zeros(20) + Le32(1) + Le32(80) + Le32(16000) + Le32(1) + Le32(4) +
                        Le32(1) + Le32(24600) + Zeros(16);
    const struct {
        const char* codec;
        Bytes id;
        uint64_t granule;
        int32_t rate, channels;
        int64_t durationMs;
    } cases[] = {
        {"Opus", opus, 48000 * 3 + 312, 48000, 2, 3000},
        {"FLAC", flac, 96000 * 2, 96000, 6, 2000},
        {"Speex", speex, 16000 * 5, 16000, 1, 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        MemoryReader m(OggPageOf(2, 0, 1, c.id) + OggPageOf(0, 0, 1, Text("tags")) + OggPageOf(4, c.granule, 1, Zeros(4)));
        ASSERT_TRUE(CSupOgg(m.reader, m.records).Analyse().IsOk());
        const StreamInfo* s = m.records.StreamIf(0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->codecName, c.codec);
        EXPECT_EQ(s->sampleRate, c.rate);
        EXPECT_EQ(s->channels, c.channels);
        EXPECT_EQ(s->durationMs, c.durationMs);
    }
    // Theora: 29.97 frames/s, 4:3 pixels, key frame 590 and 9 frames after it (shift 6).
    MemoryReader m(OggPageOf(2, 0, 5, theora) + OggPageOf(0, 0, 5, Text("tags")) + OggPageOf(4, 590u << 6 | 9, 5, Zeros(4)));
    ASSERT_TRUE(CSupOgg(m.reader, m.records).Analyse().IsOk());
    const VideoInfo& v = m.records.video;
    EXPECT_EQ(v.width, 320);
    EXPECT_EQ(v.height, 240);
    EXPECT_EQ(v.usPerFrame, 33366);
    EXPECT_DOUBLE_EQ(v.pixelAspect, 4.0 / 3.0);
    EXPECT_EQ(v.durationMs, 19986);  // 599 frames x 1001 / 30000 s
}

TEST(NamedFormatReaders, ChainedOggLastsAllItsLinks) {
    // Links played one after another: Opus 2 s, then Vorbis 3 s whose stream
    // reuses the first serial, then FLAC 1 s. The file lasts 6 s; the streams
    // reported are the first link's, lasting their own 2 s.
    const Bytes opus = Text("OpusHead") + Bytes{1, 2} + Le16(312) + Le32(44100) + Le16(0) + Bytes{0};
    const Bytes vorbis = Bytes{1} + Text("vorbis") + Le32(0) + Bytes{2} + Le32(32000) + Le32(0) + Le32(96000) +
                         Le32(0) + Bytes{0xB8, 1};
    const Bytes flac = Bytes{0x7F} + Text("FLAC") + Bytes{1, 0} + Be16(1) + Text("fLaC") + Bytes{0, 0, 0, 34} +
                       Be16(4096) + Be16(4096) + Zeros(6) +
                       Be64(uint64_t(96000) << 44 | uint64_t(5) << 41 | uint64_t(23) << 36) + Zeros(16);
    auto link = [](uint32_t serial, const Bytes& id, uint64_t granule) {
        return OggPageOf(2, 0, serial, id) + OggPageOf(0, 0, serial, Text("tags")) +
               OggPageOf(0, granule / 2, serial, Zeros(8)) + OggPageOf(4, granule, serial, Zeros(4));
    };
    const Bytes chain = link(1, opus, 48000 * 2 + 312) + link(1, vorbis, 32000 * 3) + link(2, flac, 96000);
    struct Case {
        const char* what;
        Bytes file;
        int64_t fileMs, streamMs;
        std::string_view status;
    };
    const Case cases[] = {
        {"three links", chain, 6000, 2000, "ok"},
        {"one link", link(1, opus, 48000 * 2 + 312), 2000, 2000, "ok"},
        {"second link cut short", link(1, opus, 48000 * 2 + 312) + OggPageOf(2, 0, 3, vorbis), 2000, 2000, "truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryReader m(c.file);
        EXPECT_EQ(CSupOgg(m.reader, m.records).Analyse().Code(), c.status);
        EXPECT_EQ(m.records.container.durationMs, c.fileMs);
        ASSERT_NE(m.records.StreamIf(0), nullptr);
        EXPECT_EQ(m.records.StreamIf(0)->durationMs, c.streamMs);
        EXPECT_EQ(m.records.container.audioCount, 1);
    }
}

TEST(NamedFormatReaders, RealMediaStreamsFromTheirHeaders) {
    // PROP, a RealVideo 4 stream at 23.976 frames/s, a version 5 RealAudio
    // header (Cook, 44.1 kHz stereo) whose stream states no duration of its own, and CONT.
    auto chunk = [](const char* id, const Bytes& body) {
        return Text(id) + Be32(static_cast<uint32_t>(10 + body.size())) + Be16(0) + body;
    };
    auto mdpr = [&](uint16_t number, uint32_t durationMs, const char* mime, const Bytes& specific) {
        return chunk("MDPR", Be16(number) + Be32(0) + Be32(500000) + Be32(0) + Be32(0) + Be32(0) + Be32(0) +
                                 Be32(durationMs) + Bytes{4} + Text("name") +
                                 Bytes{static_cast<uint8_t>(std::strlen(mime))} + Text(mime) +
                                 Be32(static_cast<uint32_t>(specific.size())) + specific);
    };
    const Bytes video = Be32(34) + Text("VIDO") + Text("RV40") + Be16(640) + Be16(360) + Be16(12) + Zeros(4) +
                        Be32(0x17FA0E) + Zeros(8);  // 23.976 in 16.16
    const Bytes audio = Text(".ra\xFD") + Be16(5) + Zeros(48) + Be16(44100) + Zeros(2) + Be16(16) + Be16(2) +
                        Text("genr") + Text("cook") + Zeros(8);
    const Bytes file = chunk(".RMF", Be32(0) + Be32(4)) +
                       chunk("PROP", Be32(0) + Be32(600000) + Zeros(12) + Be32(61000) + Zeros(12) + Be16(2) + Be16(0)) +
                       mdpr(0, 60000, "video/x-pn-realvideo", video) + mdpr(1, 0, "audio/x-pn-realaudio", audio) +
                       chunk("CONT", Be16(3) + Text("Sea") + Be16(0) + Be16(0) + Be16(0));
    MemoryReader m(file);
    EXPECT_EQ(CSupRM(m.reader, m.records).Analyse().Code(), "truncated");  // the headers alone, no DATA chunk
    const VideoInfo& v = m.records.video;
    EXPECT_EQ(FourCCText(v.fourcc), "RV40");
    EXPECT_EQ(v.width, 640);
    EXPECT_EQ(v.height, 360);
    EXPECT_EQ(v.usPerFrame, 41707);  // 65536 000 000 / 0x17FA0E, truncated
    EXPECT_EQ(v.durationMs, 60000);
    const StreamInfo* s = m.records.StreamIf(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FourCCText(s->fourcc), "cook");
    EXPECT_EQ(s->sampleRate, 44100);
    EXPECT_EQ(s->channels, 2);
    EXPECT_EQ(s->durationMs, 61000);
    EXPECT_EQ(m.records.container.durationMs, 61000);
    EXPECT_EQ(m.records.container.bitrateKbps, 600);
    ASSERT_EQ(m.records.container.metadata.size(), 1u);
    EXPECT_EQ(m.records.container.metadata[0].text, "Sea");
}

TEST(NamedFormatReaders, FramesBlocksAndExtendedHeaders) {
    // AIFF-C IMA ADPCM counts packets of 64 samples; a WavPack file of two
    // stereo blocks per set has four channels; a Creative Voice extended
    // block makes the sound block after it stereo at its own rate.
    const Bytes rate8k = Be16(0x400B) + Be64(0xFA00000000000000ull);
    const Bytes comm = Text("COMM") + Be32(24) + Be16(1) + Be32(1250) + Be16(16) + rate8k + Text("ima4") + Bytes{0, 0};
    const Bytes aifc = Text("FORM") + Be32(4 + 32) + Text("AIFC") + comm;
    auto wvBlock = [](uint32_t flags) {
        return Text("wvpk") + Le32(24) + Le16(0x410) + Bytes{0, 0} + Le32(44100) + Le32(0) + Le32(44100) +
               Le32(flags | 1 | 9u << 23) + Le32(0);
    };
    const Bytes wavpack = wvBlock(1u << 11) + wvBlock(1u << 12);
    const Bytes voc = Text("Creative Voice File\x1A") + Le16(26) + Le16(0x010A) + Le16(0x1129) +
                      Bytes{8, 4, 0, 0} + Le16(65536 - 256000000 / (2 * 16000)) + Bytes{0, 1} +
                      Bytes{1, 2 + 96, 0, 0} + Bytes{0, 0} + Zeros(96);
    const struct {
        const char* what;
        Bytes bytes;
        int32_t type, rate, channels;
        int64_t durationMs;
    } cases[] = {
        {"AIFF-C IMA ADPCM", aifc, kTypeAifc, 8000, 1, 10000},
        {"WavPack 4 channels", wavpack, kTypeWavPack, 44100, 4, 1000},
        {"Creative Voice extended", voc, kTypeCreativeVoice, 16000, 2, 3},  // 48 frames of two bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryReader m(c.bytes);
        ASSERT_TRUE(AnalyseNamedFormat(c.type, m.reader, m.records).IsOk());
        const StreamInfo* s = m.records.StreamIf(0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->sampleRate, c.rate);
        EXPECT_EQ(s->channels, c.channels);
        EXPECT_EQ(s->durationMs, c.durationMs);
    }
}

TEST(NamedFormatReaders, BareRealAudioIsItsStreamHeader) {
    // A .ra file is the ".ra" header a RealMedia stream carries, then data.
    const Bytes rm = ReadBytes(SamplePath("named/rm_rv10_ac3.rm"));
    const Bytes magic = Text(".ra\xFD");
    const auto at = std::search(rm.begin(), rm.end(), magic.begin(), magic.end());
    ASSERT_NE(at, rm.end());
    // Its data plays at the header's 480000 bytes per minute: 4000 bytes, half a second.
    MemoryReader m(Bytes(at, at + 73) + Zeros(4000));
    ASSERT_TRUE(AnalyseNamedFormat(kTypeRealAudio, m.reader, m.records).IsOk());
    const StreamInfo* s = m.records.StreamIf(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->sampleRate, 44100);
    EXPECT_EQ(s->channels, 2);
    EXPECT_EQ(s->formatTag, 0x2000);  // "dnet": AC-3
    EXPECT_EQ(s->stampedDurationMs, 500);
    EXPECT_EQ(s->durationMs, 0);  // the file states no time of its own
}

std::vector<std::string> Samples() {
    std::vector<std::string> names = SampleNamesIn("named");
    std::erase_if(names, [](const std::string& n) { return n.ends_with(".txt") || n.ends_with(".sh") || n.ends_with("README"); });
    return names;
}

void RunDriver(const Bytes& b) {
    MemFile file(b);
    Display display;
    CAnalysisDriver driver(display);
    driver.AnalyseFile(file.Path());
}

TEST(NamedFormatRobustness, TruncatedAndMutatedSamples) {
    const auto runAll = [](const Bytes& b) { fuzz::RunAllNamed(b.data(), b.size()); };
    std::mt19937 random(20261209);
    ASSERT_EQ(Samples().size(), 27u);
    for (const std::string& name : Samples()) {
        SCOPED_TRACE(name);
        const Bytes whole = ReadBytes(SamplePath(name));
        ASSERT_FALSE(whole.empty());
        ForEachTruncation(whole, 64, 24, runAll);
        ForEachTruncation(whole, 0, 6, RunDriver);
        for (int round = 0; round < 40; ++round) {
            Bytes b = whole;
            for (int c = 0, changes = 1 + static_cast<int>(random() % 8); c < changes; ++c) {
                // Most changes hit the headers in the first 4 KiB.
                const size_t at = random() % 3 == 0 ? random() % b.size() : random() % std::min<size_t>(b.size(), 4096);
                b[at] = random() % 3 == 0 ? 0xFF : static_cast<uint8_t>(random());
            }
            runAll(b);
            if (round % 10 == 0) RunDriver(b);
        }
    }
}

}  // namespace
}  // namespace torvo
