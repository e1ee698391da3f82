// The AVI summary as a person sees it: checks of length and chunk sizes,
// subtype and compatibility notes, interleave; and the tag listing.
#include "analysis/AviSummary.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/Driver.h"
#include "analysis/TypedReport.h"
#include "formats/riff/RiffBuilder.h"
#include "formats/riff/SupAvi.h"

namespace torvo {
namespace {

using namespace test;

std::vector<std::string> NoteTexts(const Display& d) {
    std::vector<std::string> lines;
    for (const NoteLine& l : d.Container().Lines()) lines.push_back(l.text);
    return lines;
}
int ColourOf(const Display& d, const std::string& text) {
    for (const NoteLine& l : d.Container().Lines())
        if (l.text == text) return l.colour;
    return -1;
}
bool HasNote(const Display& d, const std::string& text) { return ColourOf(d, text) >= 0; }

struct Analysed {
    Display display;
    CAnalysisDriver driver{display};
    explicit Analysed(const Bytes& bytes) {
        MemFile file(bytes);
        EXPECT_TRUE(driver.AnalyseFile(file.Path()));
    }
    std::string_view Field(std::string_view name) const { return display.Fields().Field(name); }
};

Bytes Cut(Bytes b, size_t n) {
    b.resize(b.size() - n);
    return b;
}

TEST(AviChecks, ExactTruncatedAndSurplus) {
    AviSpec spec;
    spec.pattern = std::string(40, 'V');
    // Headers padded as muxers do, so that the cut leaves 'movi' within the file's size.
    spec.extraHeader = {Chunk("JUNK", Bytes(2000, 0))};
    const Bytes whole = BuildAvi(spec);
    {
        const Analysed a(whole);
        EXPECT_EQ(ColourOf(a.display, "Длина файла верна  "), kColourGood);
        EXPECT_EQ(a.Field("CONT_BYTES_MISSING"), "0");
        EXPECT_FALSE(a.driver.BrokenFile());
    }
    {
        const Analysed a(Cut(whole, 1000));
        EXPECT_EQ(ColourOf(a.display, "Файл усечен.   "), kColourDamage);
        EXPECT_TRUE(HasNote(a.display, " · 1,000 байт  отсутствуют"));
        EXPECT_EQ(a.Field("CONT_BYTES_MISSING"), "1000");
        EXPECT_TRUE(a.driver.BrokenFile());
    }
    {
        spec.legacyIndex = true;
        const Analysed a(Cut(BuildAvi(spec), 1000));  // the cut lies in idx1
        EXPECT_EQ(ColourOf(a.display, "Файл усечен в области \"legacy index\".     "), kColourDamage);
        EXPECT_EQ(a.Field("CONT_BYTES_MISSING"), "1000");
        EXPECT_FALSE(a.driver.BrokenFile());
    }
    {
        Bytes longer = whole;
        longer.resize(whole.size() + 2048, 0);
        const Analysed a(longer);
        EXPECT_EQ(ColourOf(a.display, "Учти: 2.00 KБ ненужных байтов в конце файла"), kColourWarning);
        EXPECT_EQ(a.Field("CONT_BYTES_MISSING"), "");
    }
}

TEST(AviChecks, RiffSizeBeyondTheChain) {
    // The chain ends early (a JUNK chunk says it is short) but the RIFF size is larger.
    ContainerInfo c;
    c.riffSize = 5000;
    c.riffChainEnd = 1000;
    Display d;
    EXPECT_FALSE(AviChecks(d, 3000, c));
    EXPECT_EQ(NoteTexts(d), (std::vector<std::string>{"Файл некорректно усечен.   ", " · Исходн.размер:4.88 KБ (5,000 байт )"}));
}

TEST(AviChecks, CorruptHeaderAndBadDataChunk) {
    const Bytes avih = Cat({Text("avih"), Le32(200), Bytes(200, 0)});
    const Bytes header = List("RIFF", "AVI ", {Cat({Text("LIST"), Le32(100), Text("hdrl"), avih}), List("LIST", "movi", {})});
    const Analysed a(header);
    EXPECT_EQ(NoteTexts(a.display)[0], "Corrupt AVI header");
    EXPECT_EQ(ColourOf(a.display, "Corrupt AVI header"), kColourDamage);
    EXPECT_TRUE(HasNote(a.display, " · Chunk: /RIFF:AVI /LIST:hdrl/avih"));
    EXPECT_TRUE(HasNote(a.display, " · Offset: 0x0000001c"));
    EXPECT_TRUE(HasNote(a.display, " · Value:0x000000c8"));
    EXPECT_TRUE(a.driver.BrokenFile());

    // A data chunk larger than movi once frame data was seen: not broken.
    const Bytes bad = Cat({Text("00dc"), Le32(5000), Bytes(40, 0)});
    const Bytes movi = Cat({Text("LIST"), Le32(4 + 108 + 48), Text("movi"), Chunk("00dc", Bytes(100, 1)), bad});
    const Analysed b(List("RIFF", "AVI ", {movi, Bytes(64, 0)}));
    EXPECT_EQ(ColourOf(b.display, "Bad chunk в данных кадра: неверна длина"), kColourDamage);
    EXPECT_TRUE(HasNote(b.display, " · Chunk: /RIFF:AVI /LIST:movi/00dc"));
    EXPECT_FALSE(b.driver.BrokenFile());
}

TEST(AviSummary, SubtypesAndNotes) {
    AviSpec spec;
    spec.extraHeader = {List("LIST", "odml", {Chunk("dmlh", Le32(6))})};
    {
        const Analysed a(BuildAvi(spec));
        EXPECT_EQ(a.Field("CONT_SUBTYPE"), "OpenDML (AVI v2.0), ");
        EXPECT_EQ(ColourOf(a.display, "OpenDML (AVI v2.0)"), kColourMpegSummary);
    }
    {
        AviSpec segm;
        segm.extraHeader = {Chunk("segm", Bytes{0, 0})};
        segm.extraTop = {List("LIST", "goog", {Chunk("GDAT", Bytes(16, 0))})};
        segm.strfExtra = {0, 0, 1, 0xB0, 1, 0, 0, 0};
        const Analysed a(BuildAvi(segm));
        EXPECT_EQ(a.Field("CONT_SUBTYPE"), "AVI v1.0, ");
        EXPECT_TRUE(HasNote(a.display, "AVI v1.0, Сегмент VDub, финал"));
        EXPECT_EQ(ColourOf(a.display, "Compatibility Note: Has Google Data Chunk"), kColourWarning);
        EXPECT_TRUE(HasNote(a.display, "Учти: данные MPEG в загол.потока AVI."));
    }
    {
        // Three RIFF parts: 6 frames in the first, the stream header says 10 in all.
        AviSpec parts;
        parts.pattern = "VVVVVV";
        parts.audio = false;
        Bytes first = BuildAvi(parts);
        const Bytes part = List("RIFF", "AVIX", {List("LIST", "movi", {Chunk("00dc", Bytes(100, 0))})});
        // Make the video stream header's length 10.
        const size_t at = Bytes::size_type(std::search(first.begin(), first.end(), std::begin("vidsXVID"), std::end("vidsXVID") - 1) - first.begin());
        first[at + 32] = 10;
        const Analysed a(Cat({first, part, part}));
        EXPECT_EQ(a.Field("CONT_SUBTYPE"), "Multipart OpenDML AVI (3 части), ");
        EXPECT_TRUE(HasNote(a.display, "Multipart OpenDML AVI (3 части)"));
        EXPECT_EQ(ColourOf(a.display, "(6 кадров в первой части, 4 кадров затем)"), kColourMpegSummary);
    }
    {
        const Bytes dv = List("RIFF", "AVI ", {List("LIST", "hdrl", {Avih(40000, 1, 720, 576),
            List("LIST", "strl", {Strh("iavs", "dvsd", 1, 25, 1), Chunk("strf", Bytes(32, 0))})}), List("LIST", "movi", {})});
        const Analysed a(dv);
        EXPECT_EQ(ColourOf(a.display, "Compatibility Note: DV тип  1 AVI"), kColourWarning);
    }
    {
        AviSpec dropped;
        dropped.pattern = "VAZAVA";
        const Analysed a(BuildAvi(dropped));
        EXPECT_EQ(a.display.Lamp("AVID"), LampState::kLit);
    }
}

// A type-1 DV AVI (ffmpeg writes none: its two PAL frames with sound are
// wrapped here): the one stream's sound is what the frames' AAUX packs say,
// timed as the picture is; the panel's sound lines stay as the headers leave them.
TEST(AviSummary, SoundInsideTypeOneDv) {
    const Bytes frames = ReadBytes(SamplePath("mpeg/dv_pal_sound.dv"));
    ASSERT_EQ(frames.size(), 2 * 144000u);
    const Bytes dv = List("RIFF", "AVI ", {List("LIST", "hdrl", {Avih(40000, 2, 720, 576),
        List("LIST", "strl", {Strh("iavs", "dvsd", 1, 25, 2), Chunk("strf", Bytes(32, 0))})}),
        List("LIST", "movi", {Chunk("00db", Bytes(frames.begin(), frames.begin() + 144000)),
                              Chunk("00db", Bytes(frames.begin() + 144000, frames.end()))})});
    const Analysed a(dv);
    const TypedReport typed = BuildTypedReport(a.driver.Records(), "", "");
    ASSERT_EQ(typed.streams.size(), 2u);
    const TypedStream& sound = typed.streams[1];
    EXPECT_EQ(sound.codec, "pcm_s16le");
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_EQ(sound.bitsPerSample, 16);
    EXPECT_EQ(sound.duration, 0.08);
    // The DV demuxer hands the sound on raw: no decoder to miss.
    EXPECT_EQ(sound.decoder, "not_needed");
    EXPECT_EQ(a.Field("AUDIO_SAMPLE_RATE"), "");
}

TEST(Interleave, RegularBlocksWithAndWithoutPreload) {
    AviSpec spec;
    spec.pattern = "VAVAVAVAVA";
    {
        const Analysed a(BuildAvi(spec));
        EXPECT_TRUE(HasNote(a.display, "Interleave: 1 вид кадр  (40 мс)"));
        EXPECT_EQ(a.Field("CONT_INTERLEAVE_TIME"), "40");
        EXPECT_EQ(a.Field("CONT_INTERLEAVE_PRELOAD"), "");
    }
    spec.pattern = "AAVVAVVAVVAVVA";
    {
        // Audio first, and no audio frame positions to measure the preload with.
        const Analysed a(BuildAvi(spec));
        EXPECT_TRUE(HasNote(a.display, "Interleave: 2 вид кадров (80 мс)E2/  0"));
        EXPECT_EQ(a.Field("CONT_INTERLEAVE_PRELOAD"), "0");
        EXPECT_EQ(a.Field("CONT_INTERLEAVE_ALIGN"), "");
    }
}

TEST(Interleave, IrregularBlocks) {
    VideoInfo v;
    StreamInfo audio;
    audio.chunkRuns.runs = {{0, 0, 10, 1}, {0, 10, 10, 1}, {0, 20, 10, 1}};
    // A lone first run is a preload and left out: (3 + 2 + 4) / 3 runs.
    v.chunkRuns.runs = {{0, 0, 0, 1}, {0, 0, 0, 3}, {0, 0, 0, 2}, {0, 0, 0, 4}};
    InterleaveResult r = InterleaveAnalysis(v, audio, 40000, false);
    EXPECT_EQ(r.text, "Interleave: 120 мс (3.0 в.кадров)");
    EXPECT_EQ(r.timeMs, 120);
    // A single-chunk first run is left out even beside a run of two.
    v.chunkRuns.runs = {{0, 0, 0, 1}, {0, 0, 0, 2}, {0, 0, 0, 3}, {0, 0, 0, 2}};
    EXPECT_EQ(InterleaveAnalysis(v, audio, 40000, false).text, "Interleave: 93 мс (2.3 в.кадров)");
    // A first run close to the second counts.
    v.chunkRuns.runs = {{0, 0, 0, 2}, {0, 0, 0, 3}, {0, 0, 0, 2}, {0, 0, 0, 4}};
    r = InterleaveAnalysis(v, audio, 40000, false);
    EXPECT_EQ(r.text, "Interleave: 110 мс (2.8 в.кадров)");
    // Too few runs: nothing to say.
    v.chunkRuns.runs.resize(1);
    EXPECT_FALSE(InterleaveAnalysis(v, audio, 40000, false).done);
}

TEST(Interleave, PreloadAndAlignmentFromAudioFrames) {
    VideoInfo v;
    v.chunkRuns.runs = {{0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}};
    StreamInfo audio;
    AudioResult& mp3 = audio.audio[kAudioClassMpeg];
    mp3.frameDurationUs = 26122;
    mp3.frameEnds = {0, 418, 836, 1254, 1672, 2090, 2508};  // six 418-byte frames
    // The preload run holds three frames; later runs start on frame starts.
    audio.chunkRuns.runs = {{0, 0, 1254, 3}, {0, 1254, 836, 1}, {0, 2090, 418, 1}};
    InterleaveResult r = InterleaveAnalysis(v, audio, 40000, true);
    EXPECT_EQ(r.text, "Interleave: 1 вид кадр  (40 мс), preload=78");
    EXPECT_EQ(r.preloadMs, 78);
    EXPECT_EQ(r.align, InterleaveAlign::kAligned);

    // A run that starts inside a frame splits it.
    audio.chunkRuns.runs[1].bufferOffset = 1300;
    EXPECT_EQ(InterleaveAnalysis(v, audio, 40000, true).align, InterleaveAlign::kSplit);

    // Frames that stop well before the end of the preload run cannot account for it.
    audio.chunkRuns.runs[0].bytes = 4000;
    r = InterleaveAnalysis(v, audio, 40000, true);
    EXPECT_EQ(r.errorCode, 2);
    EXPECT_EQ(r.text, "Interleave: 1 вид кадр  (40 мс)E2/  0");

    audio.ngValue = 12;
    EXPECT_EQ(InterleaveAnalysis(v, audio, 40000, false).text, "Interleave: 1 вид кадр  (40 мс) NG= 12");
}

TEST(AviSummary, FfmpegSampleAsAPersonSeesIt) {
    const Analysed a(ReadBytes(SamplePath("riff/avi_fmp4_mp2.avi")));
    // The MP2 frames the audio test found show how the audio lies against the interleave.
    EXPECT_EQ(NoteTexts(a.display), (std::vector<std::string>{"Длина файла верна  ", "AVI v1.0", "Interleave: 1 вид кадр  (40 мс)",
                                                              "Аудиокадры:   Aligned on interleaves"}));
    EXPECT_EQ(a.Field("CONT_SUBTYPE"), "AVI v1.0, ");
    EXPECT_EQ(a.Field("CONT_INTERLEAVE_TIME"), "40");
    std::vector<std::string> tags;
    for (const NoteLine& l : a.display.UserData().Lines()) tags.push_back(l.text);
    // The encoder's user data in the MPEG-4 video is listed too.
    EXPECT_EQ(tags, (std::vector<std::string>{"[JUNK]\todmldmlh", "[ISFT]\tLavf59.27.100", "[USER]\tLavc59.37.100"}));
    EXPECT_EQ(a.driver.Records().container.riffWalkResult, 1);
    EXPECT_EQ(a.Field("CONT_AUDIO_STREAM_COUNT"), "1");
    EXPECT_EQ(a.Field("AUDIO_SAMPLE_RATE"), "44100");
    EXPECT_EQ(a.Field("AUDIO_BITRATE"), "64");
}

// Stands in for the MPEG content analysis: notes what it was given.
class SeenContent : public ContentAnalyser {
public:
    ReadStatus Analyse(CFileCache& reader, FileIdentity& identity, AnalysisRecords&) override {
        firstBytes = reader.Header().Be32(0);
        typeAtCall = identity.typeId;
        return ReadStatus::Ok();
    }
    uint32_t firstBytes = 0;
    int32_t typeAtCall = -1;
};

TEST(RiffDispatch, CdxaDataIsAnalysedAsMpeg) {
    const Bytes pack = Cat({Bytes{0, 0, 1, 0xBA}, Bytes(2000, 0xFF)});
    const Bytes cdxa = List("RIFF", "CDXA", {Chunk("fmt ", Bytes(16, 0)), Chunk("data", pack)});
    MemFile file(cdxa);
    Display d;
    CAnalysisDriver driver(d);
    SeenContent content;
    driver.SetContentAnalyser(&content);
    ASSERT_TRUE(driver.AnalyseFile(file.Path()));
    EXPECT_EQ(content.firstBytes, 0x000001BAu);
    EXPECT_EQ(content.typeAtCall, kTypeUnknown);
    EXPECT_TRUE(driver.Records().container.mpegInCdxa);
}

TEST(TagListing, MetadataAndUserDataRuns) {
    ContainerInfo c;
    c.riffTagLines = {"[INAM]\tx"};
    c.metadata = {{"title", "Song", ""}, {"name", "", "ignored"}, {"a", "b", "c"}, {"", "orphan", ""}};
    const std::string user = std::string("XviD0050") + '\0' + "DivX503b1393p" + '\0' + "XviD0050" + '\0' + "no" + '\0' +
                             "one111" + '\0' + "two222" + '\0' + "three3" + '\0' + "four44" + '\0' + "five55";
    c.userData.assign(user.begin(), user.end());
    Display d;
    TagListing(d, c);
    std::vector<std::string> lines;
    for (const NoteLine& l : d.UserData().Lines()) lines.push_back(l.text);
    EXPECT_EQ(lines, (std::vector<std::string>{"[INAM]\tx", "title:Song", "name:ignored", "a:b:c", "[USER]\tXviD0050",
                                               "[USER]\tDivX503b1393p", "[USER]\tone111", "[USER]\ttwo222",
                                               "[USER]\tthree3"}));
    EXPECT_EQ(c.userDataLines, (std::vector<std::string>{"XviD0050", "DivX503b1393p", "one111", "two222", "three3"}));
}

}  // namespace
}  // namespace torvo
