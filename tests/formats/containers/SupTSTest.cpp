// Transport streams: the ffmpeg samples against ffprobe, and byte-built
// streams for the tables, descriptors, clock references and packet forms.
#include <gtest/gtest.h>

#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/FfprobeExpectations.h"
#include "analysis/StreamReport.h"
#include "formats/containers/SupTS.h"

namespace torvo {
namespace {

using namespace test;

TEST(SupTSSamples, AgreeWithFfprobe) {
    ExpectAgreesWithFfprobe("ts_mpeg2_mp2.ts", "MPG2");
    ExpectAgreesWithFfprobe("ts_h264_aac.ts", "H264");
    ExpectAgreesWithFfprobe("m2ts_h264_ac3.m2ts", "H264");
    ExpectAgreesWithFfprobe("ts_hevc.ts", "HEVC");
}

TEST(SupTSSamples, SummaryStreamLinesAndFields) {
    DatabaseDriver d;
    ASSERT_TRUE(d.Analyse("tsmkv/ts_h264_aac.ts"));
    const auto notes = d.Notes();
    const std::vector<std::string> expected = {
        "Тип файла: Транспортн.поток MPEG-2", "Тип MIME:  video/mp2t", "Транспортн.поток MPEG-2 << { 1 вид, 1 ауд }",
        "Пакеты по 188 байт", " · PID 256 (0x0100): тип 0x1B, видео H.264/AVC",
        " · PID 257 (0x0101): тип 0x0F, звук AAC (ADTS), язык eng"};
    ASSERT_GE(notes.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(notes.begin(), notes.begin() + 6), expected);
    EXPECT_EQ(d.Field("VIDEO_CODEC_NAME"), "H.264/AVC");
    EXPECT_EQ(d.Field("VIDEO_H264"), "H264");
    EXPECT_EQ(d.Field("AUDIO_MPEG_STREAM_ID"), "0xc0");
    EXPECT_EQ(d.Field("CONT_AUDIO_STREAM_COUNT"), "1");
    // The overall bitrate: the file's bits over the clock span.
    const int kbps = std::atoi(d.Field("CONT_TOTAL_BITRATE").c_str());
    EXPECT_NEAR(kbps, 18988 * 8 / 1000.0, 12);

    // HEVC is named with the profile and level of its SPS (ffprobe: Main, level 30).
    DatabaseDriver hevc;
    ASSERT_TRUE(hevc.Analyse("tsmkv/ts_hevc.ts"));
    const auto hevcNotes = hevc.Notes();
    EXPECT_NE(std::find(hevcNotes.begin(), hevcNotes.end(), " · PID 256 (0x0100): тип 0x24, видео HEVC Main@L1"),
              hevcNotes.end());

    DatabaseDriver m2;
    ASSERT_TRUE(m2.Analyse("tsmkv/ts_mpeg2_mp2.ts"));
    EXPECT_EQ(m2.Field("VIDEO_MPEG2"), "MPEG-2");
    EXPECT_EQ(m2.display.Lamp("MPG2"), LampState::kLit);
    EXPECT_EQ(m2.Field("AUDIO_CODEC").rfind("MPEG-1 Layer 2", 0), 0u) << m2.Field("AUDIO_CODEC");
}

// --- byte-built streams ---

// One 188-byte packet; an adaptation field carries the PCR and the stuffing.
Bytes Packet(uint16_t pid, bool unitStart, uint8_t cc, const Bytes& payload, int64_t pcr = -1) {
    Bytes p = {0x47, static_cast<uint8_t>((unitStart ? 0x40 : 0) | pid >> 8), static_cast<uint8_t>(pid), 0};
    Bytes field;
    if (pcr >= 0) {
        const int64_t base = pcr / 300, ext = pcr % 300;
        field = {0x10, uint8_t(base >> 25), uint8_t(base >> 17), uint8_t(base >> 9), uint8_t(base >> 1),
                 uint8_t((base & 1) << 7 | 0x7E | ext >> 8), uint8_t(ext)};
    }
    const size_t room = 184 - std::min<size_t>(payload.size(), 184);
    if (pcr >= 0 || room > 0) {
        const size_t fieldLength = std::max(field.size(), room == 0 ? 0 : room - 1);
        if (field.empty() && fieldLength > 0) field.push_back(0x00);  // flags byte
        field.resize(fieldLength, 0xFF);
        p[3] = 0x30 | cc;
        p.push_back(static_cast<uint8_t>(field.size()));
        p = p + field;
    } else {
        p[3] = 0x10 | cc;
    }
    p = p + Bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(payload.size(), 188 - p.size())));
    return p;
}

// A PSI section with a dummy CRC, behind a pointer field of zero.
Bytes Section(uint8_t tableId, uint16_t idExtension, const Bytes& body) {
    const size_t length = 5 + body.size() + 4;
    return Bytes{0, tableId, static_cast<uint8_t>(0xB0 | length >> 8), static_cast<uint8_t>(length)} +
           Be16(idExtension) + Bytes{0xC1, 0, 0} + body + Zeros(4);
}

Bytes EsEntry(uint8_t type, uint16_t pid, const Bytes& descriptors) {
    return Bytes{type, static_cast<uint8_t>(0xE0 | pid >> 8), static_cast<uint8_t>(pid),
                 static_cast<uint8_t>(0xF0 | descriptors.size() >> 8), static_cast<uint8_t>(descriptors.size())} +
           descriptors;
}

Bytes Pes(uint8_t streamId, const Bytes& data) {
    return Bytes{0, 0, 1, streamId} + Be16(static_cast<uint32_t>(3 + data.size())) + Bytes{0x80, 0, 0} + data;
}

struct BuiltStream {
    Bytes bytes;
    void Add(const Bytes& packet) { bytes = bytes + packet; }
};

TEST(SupTSBuilt, TablesDescriptorsAndClock) {
    const Bytes language = {0x0A, 4, 'd', 'e', 'u', 0};
    const Bytes ac3 = {0x6A, 1, 0};
    const Bytes eac3Registration = {0x05, 4, 'E', 'A', 'C', '3'};
    // Padding descriptors make the program map longer than one packet.
    Bytes padding;
    for (int i = 0; i < 20; ++i) padding = padding + Bytes{0x80, 8} + Zeros(8);
    const Bytes pmtBody = Be16(0xE000 | 0x100) + Be16(0xF000) + EsEntry(0x1B, 0x100, {}) +
                          EsEntry(0x06, 0x101, language + ac3) + EsEntry(0x06, 0x102, eac3Registration) +
                          EsEntry(0x06, 0x103, padding + Bytes{0x59, 0}) + EsEntry(0x42, 0x104, {});
    const Bytes pmt = Section(0x02, 1, pmtBody);
    ASSERT_GT(pmt.size(), 184u);

    BuiltStream ts;
    ts.Add(Packet(0, true, 0, Section(0x00, 1, Be16(0) + Be16(0xE010) + Be16(1) + Be16(0xE000 | 0x1000))));
    ts.Add(Packet(0x1000, true, 0, Bytes(pmt.begin(), pmt.begin() + 184)));
    ts.Add(Packet(0x1000, false, 1, Bytes(pmt.begin() + 184, pmt.end())));
    // The clock starts just before it wraps at 2^33 periods of 90 kHz.
    const int64_t wrap = (int64_t(1) << 33) * 300;
    const int64_t start = wrap - 27000000 / 2;  // half a second before
    uint8_t cc = 0;
    for (int i = 0; i < 40; ++i) {
        const int64_t pcr = (start + int64_t(i) * 27000000 / 10) % wrap;  // every 100 ms
        ts.Add(Packet(0x100, i == 0, cc, i == 0 ? Pes(0xE0, Bytes(100, 0xAA)) : Bytes(184, 0xAA), pcr));
        cc = (cc + 1) & 0xF;
    }
    MemoryReader m(ts.bytes);
    CSupTS parser(m.reader, m.records);
    ASSERT_TRUE(parser.Analyse().IsOk());
    EXPECT_EQ(m.records.container.tsPacketSize, 188u);
    const auto& streams = parser.Streams();
    ASSERT_EQ(streams.size(), 5u);
    EXPECT_EQ(streams[1].language, "deu");
    EXPECT_EQ(streams[1].type.name, "AC-3");
    EXPECT_EQ(streams[1].type.kind, TsStreamKind::kAudio);
    EXPECT_EQ(streams[2].type.name, "E-AC-3");
    EXPECT_EQ(streams[3].type.kind, TsStreamKind::kSubtitle);
    EXPECT_EQ(streams[4].type.name, "не знаю");
    // 39 steps of 100 ms across the wrap.
    EXPECT_EQ(((parser.LastPcr() - parser.FirstPcr()) % wrap + wrap) % wrap, int64_t(39) * 2700000);
    EXPECT_EQ(m.records.video.durationMs, 3900);
    // The video PES payload starts the video buffer: the header is gone.
    ASSERT_GT(m.records.video.data.Count(), 100u);
    EXPECT_EQ(m.records.video.data.View().U8(0), 0xAA);
    // Sound streams are declared even without data: the program map names their codec.
    EXPECT_EQ(m.records.container.audioCount, 2);
    EXPECT_EQ(m.records.container.videoCount, 1);
    EXPECT_EQ(m.records.container.otherCount, 2);
    ASSERT_EQ(m.records.container.tracks.size(), 5u);
    EXPECT_EQ(TransportStreamLine(m.records.container.tracks[1]), " · PID 257 (0x0101): тип 0x06, звук AC-3, язык deu");
}

TEST(SupTSBuilt, BlurayLpcmHeader) {
    // Blu-ray LPCM: each PES payload starts with a four-byte header (channel
    // assignment 3 = stereo, rate 1 = 48 kHz; bits code 1 = 16 bits).
    BuiltStream ts;
    ts.Add(Packet(0, true, 0, Section(0x00, 1, Be16(1) + Be16(0xE000 | 0x1000))));
    ts.Add(Packet(0x1000, true, 0, Section(0x02, 1, Be16(0xE000 | 0x1011) + Be16(0xF000) + EsEntry(0x80, 0x1100, {}))));
    for (uint8_t cc = 0; cc < 4; ++cc)
        ts.Add(Packet(0x1100, cc == 0, cc, cc == 0 ? Pes(0xBD, Bytes{0x03, 0xC0, 0x31, 0x40} + Zeros(100)) : Zeros(184)));
    MemoryReader m(ts.bytes);
    CSupTS parser(m.reader, m.records);
    ASSERT_TRUE(parser.Analyse().IsOk());
    const StreamInfo* sound = m.records.StreamIf(0);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->streamId, 0xBD);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->sampleRate, 48000);
    EXPECT_EQ(sound->bitsPerSample, 16);
    EXPECT_EQ(sound->bitrateKbps, 1536);
    EXPECT_EQ(sound->codecName, "LPCM (Blu-ray)");
    // The header is not part of the collected samples.
    EXPECT_EQ(sound->data.Count(), 100u + 3 * 184u);
    EXPECT_EQ(m.records.container.audioCount, 1);
}

TEST(SupTSBuilt, StreamTypeTable) {
    struct Case {
        uint8_t type, tag;
        uint32_t registration;
        std::string_view name;
        TsStreamKind kind;
    };
    const Case cases[] = {
        {0x02, 0, 0, "MPEG-2 видео", TsStreamKind::kVideo},
        {0x0F, 0, 0, "AAC (ADTS)", TsStreamKind::kAudio},
        {0x24, 0, 0, "HEVC", TsStreamKind::kVideo},
        {0x81, 0, 0, "AC-3", TsStreamKind::kAudio},
        {0x06, 0x7A, 0, "E-AC-3", TsStreamKind::kAudio},
        {0x06, 0, 0x44545332, "DTS", TsStreamKind::kAudio},   // "DTS2"
        {0x06, 0, 0, "частные данные", TsStreamKind::kOther},
        // The descriptor of private data does not rename a stream type of its own.
        {0x1B, 0x6A, 0, "H.264/AVC", TsStreamKind::kVideo},
        {0x90, 0, 0, "субтитры PGS", TsStreamKind::kSubtitle},
    };
    for (const Case& c : cases) {
        const TsStreamType t = DescribeStreamType(c.type, c.tag, c.registration);
        EXPECT_EQ(t.name, c.name) << int(c.type);
        EXPECT_EQ(t.kind, c.kind) << int(c.type);
    }
}

TEST(SupTSBuilt, ResynchronisesAfterGarbageAndReadsTheTail) {
    // The sample with junk in the middle and a long tail of null packets
    // beyond the header buffer: the last clock reference is found through the window.
    const Bytes sample = ReadBytes(SamplePath("tsmkv/ts_mpeg2_mp2.ts"));
    Bytes bytes(sample.begin(), sample.begin() + 188 * 40);
    bytes = bytes + Bytes(77, 0x12) + Bytes(sample.begin() + 188 * 40, sample.end());
    MemoryReader whole(sample);
    CSupTS reference(whole.reader, whole.records);
    ASSERT_TRUE(reference.Analyse().IsOk());
    MemoryReader m(bytes);
    CSupTS parser(m.reader, m.records);
    ASSERT_TRUE(parser.Analyse().IsOk());
    EXPECT_EQ(parser.LastPcr(), reference.LastPcr());
    EXPECT_EQ(m.records.video.durationMs, whole.records.video.durationMs);

    test::MemFile file = test::MemFile::Sparse(6 * 1024 * 1024);
    file.WriteAt(0, sample);
    // Null packets (PID 0x1FFF) up to the end, then the sample's last packets again.
    Bytes nulls;
    for (int i = 0; i < 1000; ++i) nulls = nulls + Packet(0x1FFF, false, 0, Bytes(184, 0xFF));
    const uint64_t tailAt = (6 * 1024 * 1024 / 188 - 1000 - 40) * 188;
    file.WriteAt(tailAt, nulls);
    file.WriteAt(tailAt + nulls.size(), Bytes(sample.end() - 188 * 40, sample.end()));
    CFileCache reader;
    ASSERT_TRUE(reader.Open(file.Path()));
    AnalysisRecords records;
    CSupTS big(reader, records);
    big.Analyse();
    EXPECT_EQ(big.LastPcr(), reference.LastPcr());
}

}  // namespace
}  // namespace torvo
