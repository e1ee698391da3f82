// The RIFF walker on ffmpeg's AVI and WAVE files and on byte-built files
// with the structures ffmpeg never writes.
#include "formats/riff/SupAvi.h"

#include <gtest/gtest.h>

#include <chrono>

#include "formats/riff/RiffBuilder.h"

namespace torvo {
namespace {

using namespace test;

struct Walked {
    AnalysisRecords records;
    int result = -1;
    ReadStatus status;
};

Walked Walk(const Bytes& bytes) {
    Walked w;
    MemFile file(bytes);
    CFileCache reader;
    EXPECT_TRUE(reader.Open(file.Path()));
    CSupAvi avi;
    w.status = avi.WalkRiff(reader, w.records);
    w.result = w.records.container.riffWalkResult;
    return w;
}
Walked WalkSample(const std::string& name) { return Walk(ReadBytes(SamplePath("riff/" + name))); }

std::vector<uint32_t> RunChunks(const ChunkRunList& list) {
    std::vector<uint32_t> chunks;
    for (const ChunkRun& r : list.runs) chunks.push_back(r.chunks);
    return chunks;
}

TEST(RiffWalk, FfmpegAviWithTwoAudioStreams) {
    const Walked w = WalkSample("avi_two_audio.avi");
    const ContainerInfo& c = w.records.container;
    const VideoInfo& v = w.records.video;
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(c.videoCount, 1);
    EXPECT_EQ(c.audioCount, 2);
    EXPECT_EQ(FourccText(v.fourcc), "XVID");
    EXPECT_EQ(v.width, 160);
    EXPECT_EQ(v.height, 120);
    EXPECT_EQ(v.usPerFrame, 40000);
    EXPECT_EQ(v.frameCount, 26);  // as ffprobe counts them
    EXPECT_EQ(v.durationMs, 1040);
    EXPECT_EQ(v.pixelAspect, 1.0);
    EXPECT_TRUE(c.videoPresent);
    EXPECT_EQ(v.altPictures[kPictureAviHeader].frameCount, 26);
    EXPECT_EQ(v.altPictures[kPictureAviHeader].width, 160);
    // The MPEG-4 stream begins with its visual object sequence.
    ASSERT_GE(v.data.Count(), 4u);
    EXPECT_EQ(v.data.View().Be32(0), 0x000001B0u);

    const AudioResult& mp3 = w.records.StreamIf(0)->audio[kAudioClassAvi];
    EXPECT_EQ(mp3.codecClass, kAudioClassAvi);
    EXPECT_EQ(mp3.formatTag, 0x55);
    EXPECT_EQ(mp3.sampleRate, 44100);
    EXPECT_EQ(mp3.channels, 1);
    EXPECT_EQ(mp3.bitrateKbps, 64);
    const AudioResult& ac3 = w.records.StreamIf(1)->audio[kAudioClassAvi];
    EXPECT_EQ(ac3.formatTag, 0x2000);
    EXPECT_EQ(ac3.sampleRate, 48000);
    EXPECT_EQ(ac3.bitrateKbps, 96);
    // The MP3 stream's buffer begins with a frame sync; the AC-3 one with 0B 77.
    EXPECT_EQ(w.records.StreamIf(0)->data.View().U8(0), 0xFF);
    EXPECT_EQ(w.records.StreamIf(1)->data.View().Be16(0), 0x0B77);

    const uint64_t size = ReadBytes(SamplePath("riff/avi_two_audio.avi")).size();
    EXPECT_EQ(c.topLevelRiffCount, 1);
    EXPECT_EQ(c.riffChainEnd, size);
    EXPECT_EQ(c.riffSize + 8u, size);
    EXPECT_EQ(c.riffComputedSize, c.riffSize + 8u);
    EXPECT_TRUE(c.legacyIndex);
    EXPECT_TRUE(c.moviDataSeen);
    EXPECT_FALSE(c.hasMisfit);
    EXPECT_TRUE(c.zeroVideoChunk);  // ffmpeg writes an empty chunk for the frame its B-frame delay drops
    EXPECT_EQ(c.riffTagLines, (std::vector<std::string>{"[JUNK]\todmldmlh", "[ISFT]\tLavf59.27.100"}));
}

TEST(RiffWalk, FfmpegWaveFiles) {
    const Walked pcm = Walk(ReadBytes(SamplePath("wave_pcm.wav")));
    const AudioResult& r = pcm.records.StreamIf(0)->audio[kAudioClassWave];
    EXPECT_EQ(pcm.result, 1);
    EXPECT_EQ(r.codecClass, kAudioClassWave);
    EXPECT_EQ(r.formatTag, 1);
    EXPECT_EQ(r.sampleRate, 44100);
    EXPECT_EQ(r.bitrateKbps, 706);  // 88,200 bytes per second
    EXPECT_EQ(pcm.records.StreamIf(0)->data.Count(), 44100u);  // 0.5 s of 16-bit mono

    const Walked adpcm = WalkSample("wave_adpcm_ima.wav");
    EXPECT_EQ(adpcm.records.StreamIf(0)->audio[kAudioClassWave].formatTag, 0x11);
    EXPECT_EQ(adpcm.records.StreamIf(0)->audio[kAudioClassWave].channels, 2);

    // 176,400 average bytes per second are 1411 kbit/s.
    const Bytes cd = List("RIFF", "WAVE", {Chunk("fmt ", WaveFormat(1, 2, 44100, 176400)), Chunk("data", Bytes(1000, 7))});
    const Walked w = Walk(cd);
    EXPECT_EQ(w.records.StreamIf(0)->audio[kAudioClassWave].bitrateKbps, 1411);
    EXPECT_EQ(w.records.StreamIf(0)->data.Count(), 1000u);
}

TEST(RiffWalk, CdxaDataChunk) {
    const Bytes cdxa = List("RIFF", "CDXA", {Chunk("fmt ", Bytes(16, 0)), Chunk("data", Bytes(2352, 0))});
    const Walked w = Walk(cdxa);
    EXPECT_EQ(w.records.container.cdxaDataOffset, 12u + 24u + 8u);
    EXPECT_EQ(w.records.container.cdxaDataSize, 2352u);
    // A child is walked only when 16 bytes can be read at its start.
    const Bytes tiny = List("RIFF", "CDXA", {Chunk("fmt ", Bytes(16, 0)), Chunk("data", Bytes(6, 0))});
    EXPECT_EQ(Walk(tiny).records.container.cdxaDataOffset, 0u);
}

TEST(RiffWalk, HeaderValues) {
    AviSpec spec;
    spec.extraHeader = {Chunk("segm", Bytes{0}), List("LIST", "odml", {Chunk("dmlh", Le32(1234))})};
    spec.extraTop = {List("LIST", "goog", {Chunk("GDAT", Bytes(8, 0))})};
    Bytes bytes = BuildAvi(spec);
    const Walked w = Walk(bytes);
    const ContainerInfo& c = w.records.container;
    EXPECT_EQ(c.segmentValue, 1);
    EXPECT_EQ(c.odmlFrameCount, 1234u);
    EXPECT_TRUE(c.googleData);
    const PictureRecord& avih = w.records.video.altPictures[kPictureAviHeader];
    EXPECT_EQ(avih.usPerFrame, 40000);
    EXPECT_EQ(avih.durationMs, 240);
    EXPECT_EQ(w.records.video.handler, 0x44495658u);  // "XVID"

    // 40,000 us per frame and 250 frames last 10 s; the maximum rate is in bit/s.
    const Walked ten = Walk(List("RIFF", "AVI ", {List("LIST", "hdrl", {Avih(40000, 250, 352, 288, 1000)})}));
    EXPECT_EQ(ten.records.video.altPictures[kPictureAviHeader].durationMs, 10000);
    EXPECT_EQ(ten.records.video.altPictures[kPictureAviHeader].maxBitrate, 8000u);
    // A stream header's rate and scale give the frame period, rounded.
    const Walked ntsc = Walk(List("RIFF", "AVI ", {List("LIST", "hdrl", {List("LIST", "strl", {Strh("vids", "DIVX", 1001, 30000, 300)})})}));
    EXPECT_EQ(ntsc.records.video.usPerFrame, 33367);
    EXPECT_EQ(ntsc.records.video.durationMs, 10010);
}

TEST(RiffWalk, VideoFormatOfTheFirstVideoStreamOnly) {
    // A top-down bitmap has a negative height; the second video stream is ignored.
    const Bytes bytes = List("RIFF", "AVI ", {List("LIST", "hdrl",
        {List("LIST", "strl", {Strh("vids", "", 1, 25, 1), BitmapStrf(64, -48, "")}),
         List("LIST", "strl", {Strh("vids", "mjpg", 1, 25, 1), BitmapStrf(640, 480, "MJPG")})})});
    const Walked w = Walk(bytes);
    EXPECT_EQ(w.records.container.videoCount, 2);
    EXPECT_EQ(w.records.video.width, 64);
    EXPECT_EQ(w.records.video.height, 48);
    EXPECT_EQ(w.records.video.fourcc, 0u);
    EXPECT_FALSE(w.records.container.videoPresent);  // no FourCC
    EXPECT_EQ(w.records.video.pixelAspect, 0);
}

TEST(RiffWalk, MpegDataAfterTheBitmapHeader) {
    AviSpec spec;
    spec.pattern = "";
    spec.strfExtra = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x13};
    const Walked w = Walk(BuildAvi(spec));
    EXPECT_TRUE(w.records.container.mpegInStreamHeader);
    EXPECT_EQ(w.records.video.data.Count(), 8u);
    EXPECT_EQ(w.records.video.data.View().Be32(0), 0x000001B3u);

    spec.strfExtra = {0, 0, 0, 1, 0x67};  // not MPEG start code order
    EXPECT_FALSE(Walk(BuildAvi(spec)).records.container.mpegInStreamHeader);
}

TEST(RiffWalk, ChunkRunsAndFirstData) {
    AviSpec spec;
    spec.pattern = "AAVVVAVZA";
    const Walked w = Walk(BuildAvi(spec));
    const ContainerInfo& c = w.records.container;
    const ChunkRunList& audio = w.records.StreamIf(0)->chunkRuns;
    const ChunkRunList& video = w.records.video.chunkRuns;
    EXPECT_EQ(RunChunks(audio), (std::vector<uint32_t>{2, 1, 1}));
    EXPECT_EQ(RunChunks(video), (std::vector<uint32_t>{3, 2}));
    EXPECT_TRUE(c.firstDataNotVideo);
    EXPECT_TRUE(c.zeroVideoChunk);
    // Runs know where their data lies in the file and in the stream buffer.
    EXPECT_EQ(audio.runs[0].bytes, 100u);
    EXPECT_EQ(audio.runs[1].bufferOffset, 100u);
    EXPECT_EQ(video.runs[1].bufferOffset, 300u);
    EXPECT_EQ(video.runs[1].bytes, 100u);
    const Bytes bytes = BuildAvi(spec);
    EXPECT_EQ(bytes[audio.runs[1].filePosition - 8], '0');
    EXPECT_EQ(bytes[audio.runs[1].filePosition - 7], '1');
    EXPECT_EQ(w.records.video.data.Count(), 400u);

    // The last run is dropped when the data ends with video.
    spec.pattern = "VAVAVV";
    const Walked v = Walk(BuildAvi(spec));
    EXPECT_EQ(RunChunks(v.records.video.chunkRuns), (std::vector<uint32_t>{1, 1}));
    EXPECT_FALSE(v.records.container.firstDataNotVideo);
}

TEST(RiffWalk, AudioChunksInsideAndOutsideRecLists) {
    const Bytes movi = List("LIST", "movi", {Chunk("02wb", Bytes(10, 1)), List("LIST", "rec ", {Chunk("00dc", Bytes(4, 0)), Chunk("02wb", Bytes(6, 2))}),
                                             Chunk("03wb", Bytes(30, 3))});
    const Walked w = Walk(List("RIFF", "AVI ", {movi}));
    EXPECT_EQ(w.records.StreamIf(1)->data.Count(), 16u);
    EXPECT_EQ(w.records.StreamIf(2)->data.Count(), 30u);
    EXPECT_EQ(w.records.video.data.Count(), 4u);
    EXPECT_TRUE(w.records.container.recList);
}

TEST(RiffWalk, ChunkLargerThanItsParent) {
    // hdrl declares 100 bytes, its avih 200.
    const Bytes avih = Cat({Text("avih"), Le32(200), Bytes(200, 0)});
    const Bytes bytes = List("RIFF", "AVI ", {Cat({Text("LIST"), Le32(100), Text("hdrl"), avih}), List("LIST", "movi", {})});
    const Walked w = Walk(bytes);
    const ContainerInfo& c = w.records.container;
    EXPECT_EQ(w.result, 0);
    EXPECT_TRUE(c.hasMisfit);
    EXPECT_EQ(c.misfitPosition, 24u);
    EXPECT_EQ(c.misfitSize, 200u);
    EXPECT_EQ(c.misfitId, "avih");
    EXPECT_EQ(c.misfitPath, "/RIFF:AVI /LIST:hdrl/avih");
    EXPECT_EQ(c.riffWalkResult, 0);

    // A child as large as its parent's declared size still fits. (The RIFF
    // list steps over hdrl by its declared size, onto a JUNK chunk inside avih.)
    const Bytes exact = Cat({Text("avih"), Le32(100), Bytes(88, 0), Chunk("JUNK", Bytes(4, 0))});
    const Walked e = Walk(List("RIFF", "AVI ", {Cat({Text("LIST"), Le32(100), Text("hdrl"), exact}), List("LIST", "movi", {})}));
    EXPECT_EQ(e.result, 1);
    EXPECT_FALSE(e.records.container.hasMisfit);
}

TEST(RiffWalk, ListChildrenThatOvershootWalkOn) {
    // The list declares 20 bytes but holds 14: the chunk after it is walked
    // as its child too.
    const Bytes odd = Cat({Text("LIST"), Le32(20), Text("INFO"), Chunk("INAM", Bytes{'a'})});
    const Bytes bytes = List("RIFF", "AVI ", {odd, Chunk("ISBJ", Text("next one"))});
    const Walked w = Walk(bytes);
    EXPECT_EQ(w.records.container.riffTagLines, (std::vector<std::string>{"[INAM]\ta", "[ISBJ]\tnext one"}));
}

TEST(RiffWalk, TagTexts) {
    const Bytes info = List("LIST", "INFO", {Chunk("INAM", Bytes{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, 0, 'x'}), Chunk("ICMT", {}),
                                             Chunk("IART", Text("Tab\there"))});
    const Walked w = Walk(List("RIFF", "AVI ", {info}));
    EXPECT_EQ(w.records.container.riffTagLines,
              (std::vector<std::string>{"[INAM]\tПривет", "[ICMT]\t", "[IART]\tTab"}));
    const Bytes long200(200, 'a');
    EXPECT_EQ(TagText(ByteView(long200.data(), long200.size())).size(), 128u);
}

TEST(RiffWalk, JunkTextRuns) {
    const std::string forty = "Made by Quellmark 1.0 (build 17) /x_y.z.";
    ASSERT_EQ(forty.size(), 40u);
    const Bytes junk = Cat({Bytes(10, 0), Text(forty), Bytes(4, 0), Text("short"), Bytes(3, 0)});
    const Walked w = Walk(List("RIFF", "AVI ", {Chunk("JUNK", junk), Chunk("junk", Text("abcde"))}));
    EXPECT_EQ(w.records.container.riffTagLines, std::vector<std::string>{"[JUNK]\t" + forty});

    // The characters of a run, and their neighbours in ASCII that end one.
    const std::string allowed = "az AZ 09 (x) ./_";
    for (const char stop : std::string(",-:@[`{\x7F\xC0")) {
        const Bytes text = Cat({Text(allowed), Bytes{uint8_t(stop)}, Text(allowed)});
        const TextRun found = FindTextRun(ByteView(text.data(), text.size()), 0);
        EXPECT_EQ(found.start, 0u) << stop;
        EXPECT_EQ(found.length, allowed.size()) << stop;
    }
    // A run ends 134 characters after its sixth; at most five runs per file.
    const Bytes longRun(300, 'a');
    const TextRun run = FindTextRun(ByteView(longRun.data(), longRun.size()), 0);
    EXPECT_EQ(run.start, 0u);
    EXPECT_EQ(run.length, 140u);
    Bytes many;
    for (int i = 0; i < 8; ++i) Append(Append(many, "run" + std::to_string(i) + "abc"), {0});
    const Walked capped = Walk(List("RIFF", "AVI ", {Chunk("JUNK", many), Chunk("JUNK", many)}));
    EXPECT_EQ(capped.records.container.riffTagLines.size(), 5u);
    EXPECT_EQ(capped.records.container.riffTagLines[4], "[JUNK]\trun4abc");
}

TEST(RiffWalk, OpenDmlPartsAndTopLevelChain) {
    const Bytes first = BuildAvi({});
    const Bytes part = List("RIFF", "AVIX", {List("LIST", "movi", {Chunk("00dc", Bytes(100, 0))})});
    const Bytes file = Cat({first, part, Chunk("JUNK", Bytes(32, 0)), part});
    const Walked w = Walk(file);
    const ContainerInfo& c = w.records.container;
    EXPECT_EQ(c.topLevelRiffCount, 3);
    EXPECT_EQ(c.riffChainEnd, file.size());
    const uint32_t moviSize = 4 + 3 * 108 + 3 * 58;
    EXPECT_EQ(c.moviAndPartsSize, moviSize + 2 * part.size());

    // The part sizes are summed stepping by unpadded sizes, the parts counted
    // stepping by padded ones: after an odd JUNK only the count finds the last part.
    const Bytes odd = Cat({first, part, Chunk("JUNK", Bytes(31, 0)), part});
    const Walked o = Walk(odd);
    EXPECT_EQ(o.records.container.topLevelRiffCount, 3);
    EXPECT_EQ(o.records.container.riffChainEnd, odd.size());
    EXPECT_EQ(o.records.container.moviAndPartsSize, moviSize + part.size());
}

TEST(RiffWalk, InterleavedDvType1AndAFifthAudioStream) {
    const Bytes dv = List("RIFF", "AVI ", {List("LIST", "hdrl", {List("LIST", "strl", {Strh("iavs", "dvsd", 1, 25, 10), Chunk("strf", Bytes(32, 0))})})});
    const Walked w = Walk(dv);
    EXPECT_TRUE(w.records.container.dvType1);
    EXPECT_EQ(w.records.video.width, 720);
    EXPECT_EQ(w.records.video.height, 576);
    EXPECT_EQ(w.records.container.videoCount, 1);
    EXPECT_EQ(w.records.container.audioCount, 1);

    std::vector<Bytes> hdrl;
    for (uint16_t i = 1; i <= 5; ++i)
        hdrl.push_back(List("LIST", "strl", {Strh("auds", "", 1, 8000, 0), Chunk("strf", WaveFormat(i, 1, 8000, 8000))}));
    const Walked five = Walk(List("RIFF", "AVI ", {List("LIST", "hdrl", hdrl)}));
    EXPECT_EQ(five.records.container.audioCount, 4);
    EXPECT_EQ(five.records.StreamIf(3)->audio[kAudioClassAvi].formatTag, 4);
    EXPECT_EQ(five.records.StreamIf(4), nullptr);
}

TEST(RiffWalk, OnlyBufferedFrameDataIsVisited) {
    // 10 MiB of 64 KiB frames: what lies past the first 4 MiB is left to the
    // frame scan, and the walk goes on with the legacy index after 'movi'.
    std::vector<Bytes> frames(160, Chunk("00dc", Bytes(65536, 0x33)));
    for (size_t i = 1; i < frames.size(); i += 2) frames[i] = Chunk("01wb", Bytes(65536, 0x44));
    const Bytes file = List("RIFF", "AVI ", {List("LIST", "movi", frames), Chunk("idx1", Bytes(160 * 16, 0))});
    const Walked w = Walk(file);
    const size_t collected = w.records.video.data.Count() + w.records.StreamIf(0)->data.Count();
    EXPECT_LT(collected, CFileCache::kHeaderSize);
    EXPECT_GT(collected, CFileCache::kHeaderSize - 2 * 65536);
    EXPECT_TRUE(w.records.container.legacyIndex);
    EXPECT_EQ(w.result, 1);
    EXPECT_EQ(w.records.container.riffChainEnd, file.size());
}

TEST(RiffWalk, HostileNestingStaysCheap) {
    // Lists whose children overshoot walk everything after them, again at
    // every level; zeros read as empty chunks. The chunk limit keeps it short.
    Bytes chain;
    for (int i = 0; i < 20; ++i) chain = Cat({chain, Text("LIST"), Le32(6), Text("INFO"), Chunk("INAM", Bytes{'a'})});
    const auto start = std::chrono::steady_clock::now();
    Walk(List("RIFF", "AVI ", {chain, Bytes(2 << 20, 0)}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    Bytes deep = Chunk("JUNK", {});
    for (int i = 0; i < 1000; ++i) deep = List("LIST", "deep", {deep});
    EXPECT_EQ(Walk(List("RIFF", "AVI ", {deep})).result, 1);
}

}  // namespace
}  // namespace torvo
