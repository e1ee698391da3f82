// The render test's rules over recorded graphs: filter records and pins, the
// classification against an inventory, the chain walk and the rows of a
// full, a partial, a failed and a crashed render, and the progress count.
#include <gtest/gtest.h>

#include <future>

#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "inventory/InventoryService.h"
#include "render/Playback.h"
#include "render/RenderTest.h"

namespace torvo {
namespace {

const CReadDatabase& Database() {
    static CReadDatabase db;
    static const bool loaded = db.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {});
    EXPECT_TRUE(loaded);
    return db;
}

constexpr MediaTypePair kAvi{guids::kMediaTypeStream, guids::kSubtypeAvi};
constexpr MediaTypePair kMp4v{guids::kMediaTypeVideo, FourccGuid("MP4V")};
constexpr MediaTypePair kDx50{guids::kMediaTypeVideo, FourccGuid("DX50")};
constexpr MediaTypePair kI420{guids::kMediaTypeVideo, FourccGuid("IYUV")};
constexpr MediaTypePair kMp3{guids::kMediaTypeAudio, FormatTagGuid(0x55)};
constexpr MediaTypePair kPcm{guids::kMediaTypeAudio, guids::kSubtypePcm};

// A graph as the platform reports it.
struct GraphBuilder {
    std::vector<GraphFilter> filters;
    int nextPin = 0;

    size_t Add(const std::string& name, const Guid& clsid = {}) {
        GraphFilter f;
        f.name = name;
        f.clsidText = GuidString(clsid.IsNull() ? NameBasedGuid("torvo:factory:" + name) : clsid);
        filters.push_back(f);
        return filters.size() - 1;
    }
    GraphPin& Pin(size_t filter, bool output, const std::string& name) {
        GraphPin p;
        p.id = nextPin++;
        p.output = output;
        p.name = name;
        filters[filter].pins.push_back(p);
        return filters[filter].pins.back();
    }
    void Link(size_t from, size_t to, const MediaTypePair& type, const char* caps = "") {
        GraphPin& out = Pin(from, true, "src_" + std::to_string(nextPin));
        const int outId = out.id;
        GraphPin& in = Pin(to, false, "sink");
        in.connected = true;
        in.type = type;
        in.caps = caps;
        in.peer = outId;
        for (GraphPin& p : filters[from].pins)
            if (p.id == outId) {
                p.connected = true;
                p.type = type;
                p.caps = caps;
                p.peer = in.id;
            }
    }
};

// The AVI graph GStreamer builds: a video branch and an audio branch.
GraphBuilder AviGraph(bool video, bool audio) {
    GraphBuilder g;
    const size_t src = g.Add("filesrc"), demux = g.Add("avidemux");
    g.Link(src, demux, kAvi);
    if (video) {
        const size_t parse = g.Add("mpeg4videoparse"), dec = g.Add("avdec_mpeg4");
        const size_t sink = g.Add("fakesink", guids::kClsidVideoRendererDefault);
        g.Link(demux, parse, kMp4v);
        g.Link(parse, dec, kMp4v);
        g.Link(dec, sink, kI420, "video/x-raw");
    }
    if (audio) {
        const size_t dec = g.Add("avdec_mp3"), sink = g.Add("fakesink", guids::kClsidDSoundRender);
        g.Link(demux, dec, kMp3);
        g.Link(dec, sink, kPcm, "audio/x-raw");
    }
    return g;
}

struct Inventory {
    CodecInventory table;
    int Add(const std::string& name, const std::string& factory, int kind, const Guid& clsid = {}) {
        const int i = table.Count();
        CodecEntry& e = table.At(i);
        e.index = i;
        e.kind = kind;
        e.name.Set(name);
        e.friendlyName.Set(name);
        e.clsid = clsid.IsNull() ? NameBasedGuid("torvo:factory:" + factory) : clsid;
        e.clsidText.Set(GuidString(e.clsid));
        e.displayPath.Set("lib" + factory + ".so");
        table.SetCount(i + 1);
        return i;
    }
    Inventory() {
        Add("Microsoft ADPCM", "acm", kKindAcm);  // entry 0 is never a chain element
        Add("AVI demuxer", "avidemux", kKindDsh);
        Add("MPEG 4 video elementary stream parser", "mpeg4videoparse", kKindDsh);
        Add("libav MPEG-4 part 2 decoder", "avdec_mpeg4", kKindDsh);
        Add("libav MP3 decoder", "avdec_mp3", kKindDsh);
        Add("Auto video sink", "autovideosink", kKindRenderer, guids::kClsidVideoRendererDefault);
        Add("Auto audio sink", "autoaudiosink", kKindRenderer, guids::kClsidDSoundRender);
    }
};

class RecordedRender : public IRenderPlatform {
public:
    explicit RecordedRender(RenderOutcome outcome, std::shared_future<void> gate = {})
        : outcome_(std::move(outcome)), gate_(std::move(gate)) {}
    RenderOutcome RenderFile(const std::string&) override {
        if (gate_.valid()) gate_.wait();
        return outcome_;
    }

private:
    RenderOutcome outcome_;
    std::shared_future<void> gate_;
};

RenderOutcome Rendered(const GraphBuilder& g, uint32_t code) {
    RenderOutcome o;
    o.kind = RenderOutcome::Kind::kRendered;
    o.hresult = code;
    o.filters = g.filters;
    return o;
}

struct TestRun {
    Inventory inventory;
    NotesList rows;
    int switchedOff = 0;
    std::string message;
    CrashRecord crash;
    std::unique_ptr<CRenderTest> test;

    std::vector<std::string> Render(RenderOutcome outcome, bool video = true, bool audio = true,
                                    std::shared_future<void> gate = {}) {
        RenderTestContext context{
            [outcome, gate] { return std::make_unique<RecordedRender>(outcome, gate); },
            DatabaseGuidNames(Database()),
            [](uint32_t code) { return Database().DescribeHresult(256, code); }, &crash};
        test = std::make_unique<CRenderTest>(context);
        test->Start("/media/clip.avi", &inventory.table);
        RenderTickContext tick(rows);
        tick.fileHasVideo = video;
        tick.fileHasAudio = audio;
        tick.ownProgram = "/usr/bin/torvo";
        tick.switchCodecInfoOff = [this] { ++switchedOff; };
        tick.showMessage = [this](const std::string&, const std::string& text) { message = text; };
        while (!test->Tick(tick)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::vector<std::string> texts;
        for (const NoteLine& line : rows.Lines()) texts.push_back(line.text);
        return texts;
    }
};

const std::string kVideoLine =
    "(ист)-->>--(A)-->[AVI demuxer ]>--(B)-->[MPEG 4 video elementary stream parser ]>--(C)-->"
    "[libav MPEG-4 part 2 decoder ]>--(D)-->[Auto video sink ]";
const std::string kAudioLine = "(ист)-->>--(A)-->[AVI demuxer ]>--(B)-->[libav MP3 decoder ]>--(C)-->[Auto audio sink ]";

TEST(RenderRows, FullRenderListsTheVideoThenTheAudioChainThroughTheInventory) {
    TestRun run;
    const auto rows = run.Render(Rendered(AviGraph(true, true), 0));
    const std::vector<std::string> expected = {"Рендеринг выполнен. Использована такая цепочка фильтров: ", kVideoLine,
                                               kAudioLine};
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(run.test->Playable());

    const CFilterArea& area = run.test->Area();
    EXPECT_EQ(area.Text(kVideoChainText), "(S) --> avidemux --> mpeg4videoparse --> avdec_mpeg4 --> (R)");
    EXPECT_EQ(area.Text(kAudioChainText), "(S) --> avidemux --> avdec_mp3 --> (R)");
    EXPECT_EQ(area.Text(kVideoDecoderText), "MP4V");
    EXPECT_EQ(area.Text(kAudioDecoderText), "MP3");
    // Roles, video bits low and audio bits shifted by eight.
    const auto& f = area.Filters();
    EXPECT_EQ(f[0].roles, kRoleSource | kRoleSource << 8);
    EXPECT_EQ(f[1].roles, kRolePassThrough | kRolePassThrough << 8);
    EXPECT_EQ(f[2].roles, kRolePassThrough);
    EXPECT_EQ(f[3].roles, kRoleDecoder);
    EXPECT_EQ(f[4].roles, kRoleChainStart);
    EXPECT_EQ(f[5].roles, kRoleDecoder << 8);
    EXPECT_EQ(f[6].roles, kRoleChainStart << 8);
    // Classification: by identifier, the renderer stand-ins by the renderers' own; the source is no entry.
    EXPECT_EQ(f[0].inventoryIndex, -1);
    EXPECT_EQ(f[3].inventoryIndex, 3);
    EXPECT_EQ(f[4].inventoryIndex, 5);
    // The chain's detail texts: the header names the source, media types their type.
    const ChainLine& video = run.test->Lines().at(0);
    EXPECT_EQ(video.elements.front().detail, "filesrc");
    EXPECT_EQ(video.elements.at(1).type, ChainElementType::kMediaType);
    EXPECT_EQ(video.elements.back().type, ChainElementType::kRenderer);
    EXPECT_EQ(video.elements.back().inventoryIndex, 5);
    // The demuxer feeds the audio chain through its audio pin, whatever the video walk left.
    const ChainLine& audio = run.test->Lines().at(1);
    ASSERT_EQ(audio.elements.size(), 7u);
    EXPECT_EQ(audio.elements[3].mediaType, kMp3);
    EXPECT_EQ(audio.elements[5].mediaType, kPcm);
}

TEST(RenderRows, PartialRenderExplainsWhichStreamIsMissingOnlyWhenBothExist) {
    const std::string partial = "Рендеринг выполнен лишь частично. Вот сообщение GStreamer об ошибке: ";
    const std::string code = Database().DescribeHresult(256, render_codes::kPartialRender);
    const std::string audioOnly = "Конкретнее, звук можно отрендерить, а видео - нет:                      ";
    const std::string videoOnly = "Конкретнее, видео можно отрендерить, а звук нет:                    ";
    struct Case {
        bool videoChain, audioChain, fileVideo, fileAudio;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {false, true, true, true, {partial, code, audioOnly, kAudioLine}},
        {true, false, true, true, {partial, code, videoOnly, kVideoLine}},
        {false, true, false, true, {partial, code, kAudioLine}},  // an audio-only file
    };
    for (const Case& c : cases) {
        TestRun run;
        EXPECT_EQ(run.Render(Rendered(AviGraph(c.videoChain, c.audioChain), render_codes::kPartialRender), c.fileVideo,
                             c.fileAudio),
                  c.rows);
    }
    EXPECT_NE(code.find("0x00040242"), std::string::npos);
}

TEST(RenderRows, FailureShowsTheDescribedCodeAndATimeoutIsAFailure) {
    for (uint32_t code : {render_codes::kUnsupportedStream, render_codes::kTimeout}) {
        RenderOutcome o;
        o.kind = RenderOutcome::Kind::kFailed;
        o.hresult = code;
        TestRun run;
        const std::vector<std::string> expected = {"Рендеринг не удался. Вот сообщение GStreamer об ошибке:        ",
                                                   Database().DescribeHresult(256, code)};
        EXPECT_EQ(run.Render(o), expected);
        EXPECT_EQ(run.test->State(), kRenderFailureShown);
        EXPECT_FALSE(run.test->Playable());
    }
}

TEST(RenderRows, CrashNamesTheCulpritSwitchesCodecInfoOffAndIsReportedOnce) {
    RenderOutcome o;
    o.kind = RenderOutcome::Kind::kCrashed;
    o.culpritPath = "/tmp/plugins/libtorvocrash.so";
    TestRun run;
    const auto rows = run.Render(o);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0], "<< GStreamer рухнул в ходе рендеринга>>");
    EXPECT_EQ(rows[1], "Внимание: При попытке воспроизвести этот файл GStreamer рухнул.");
    EXPECT_NE(std::find(rows.begin(), rows.end(), o.culpritPath), rows.end());
    EXPECT_NE(run.message.find(o.culpritPath), std::string::npos);
    EXPECT_EQ(run.switchedOff, 1);
    EXPECT_EQ(run.test->State(), kRenderCrashShown);
    EXPECT_EQ(run.crash.state.load(), kCrashReported);
    EXPECT_TRUE(run.crash.culpritPath.Empty());
}

TEST(RenderRecords, ExtraPinsReuseTheSixthRecordAndAVfwWrapperIsNamedByItsCodec) {
    GraphBuilder g;
    const size_t src = g.Add("filesrc"), wrapper = g.Add("vfw", guids::kClsidAviDec);
    g.Link(src, wrapper, kDx50);
    for (int i = 0; i < 8; ++i) g.Pin(wrapper, true, "out" + std::to_string(i));
    Inventory inventory;
    const int divx = inventory.Add("DivX VFW", "divx", kKindVfw);
    CodecEntry& e = inventory.table.At(divx);
    e.registration.pinCount = 1;
    e.registration.pins[0].typeCount = 1;
    e.registration.pins[0].types[0] = kDx50;

    CFilterArea area;
    area.Fill(g.filters);
    area.Classify(&inventory.table, DatabaseGuidNames(Database()));
    const FilterRecord& f = area.Filters()[1];
    EXPECT_EQ(f.outputs[5].name.View(), "out7");
    EXPECT_EQ(f.outputs[4].name.View(), "out4");
    EXPECT_EQ(f.name.View(), "[VFW: DivX VFW]");
    EXPECT_EQ(f.inventoryIndex, divx);
    EXPECT_EQ(f.inputs[0].peer, &area.Filters()[0].outputs[0]);
    EXPECT_EQ(area.Filters()[0].outputs[0].peer->owner, &f);

    // Without a registered codec the wrapper says so.
    Inventory empty;
    area.Fill(g.filters);
    area.Classify(&empty.table, DatabaseGuidNames(Database()));
    EXPECT_EQ(area.Filters()[1].name.View(), "Неопределен кодек VFW");
}

TEST(RenderProgress, CountsTicksWhileTheThreadRunsUpTo101) {
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    Inventory inventory;
    RenderTestContext context{[gate] { return std::make_unique<RecordedRender>(Rendered(AviGraph(true, true), 0), gate); },
                              DatabaseGuidNames(Database()), {}};
    CRenderTest test(context);
    test.Start("/media/clip.avi", &inventory.table);
    NotesList rows;
    RenderTickContext tick(rows);
    EXPECT_FALSE(test.Tick(tick));
    EXPECT_EQ(test.State(), kRenderRunning);
    for (int i = 0; i < 105; ++i) EXPECT_FALSE(test.Tick(tick));
    EXPECT_EQ(test.Progress(), 101);
    release.set_value();
    while (!test.Tick(tick)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(test.State(), kRenderResultShown);
}

}  // namespace
}  // namespace torvo

namespace torvo {
namespace {

// A platform that records what the playback asks of it.
class RecordedPlayback : public IPlaybackPlatform {
public:
    int64_t duration = 0, position = 0, lastSeek = -1;
    int volume = 1, runs = 0, pauses = 0, stops = 0;
    bool Open(const std::string&, uint64_t, std::string&) override { return true; }
    bool Run() override { return ++runs > 0; }
    bool Pause() override { return ++pauses > 0; }
    bool Stop() override { return ++stops > 0; }
    int64_t Duration() override { return duration; }
    int64_t CurrentPosition() override { return position; }
    bool SetPosition(int64_t p, bool) override {
        lastSeek = p;
        return true;
    }
    void SetVolume(int v) override { volume = v; }
    void Close() override {}
};

TEST(RenderPlaybackRules, StatesPositionSeekAndVolumeFollowTheSliders) {
    EXPECT_EQ(CRender::VolumeScale(5000) - 10000, -2500);
    const int scale[][2] = {{0, 0}, {2499, 4998}, {2500, 5000}, {7500, 9000}, {10000, 10000}};
    for (const auto& [slider, v] : scale) EXPECT_EQ(CRender::VolumeScale(slider), v) << slider;

    auto platform = std::make_unique<RecordedPlayback>();
    RecordedPlayback& p = *platform;
    CRender render(std::move(platform), "Тест лишь видео");
    std::string error;
    ASSERT_TRUE(render.Play("/media/clip.avi", 0, error));
    // A zero duration keeps the position at 0 and seeks nowhere.
    p.position = 5000;
    EXPECT_EQ(render.Position(), 0);
    render.Seek(512);
    EXPECT_EQ(p.lastSeek, -1);
    p.duration = 10'000'000;
    p.position = 2'500'000;
    EXPECT_EQ(render.Position(), 256);
    render.Seek(512);
    EXPECT_EQ(p.lastSeek, 5'000'000);
    render.SetVolume(5000);
    EXPECT_EQ(p.volume, -2500);
    // Pause toggles; stop twice-stops, rewinds and pauses on the first picture.
    render.PauseCommand();
    EXPECT_EQ(render.State(), kPlayPaused);
    render.PauseCommand();
    EXPECT_EQ(render.State(), kPlayRunning);
    const int pausesBefore = p.pauses, stopsBefore = p.stops;
    render.StopCommand();
    EXPECT_EQ(render.State(), kPlayStopped);
    EXPECT_EQ(p.stops - stopsBefore, 2);
    EXPECT_EQ(p.pauses - pausesBefore, 1);
    EXPECT_EQ(p.lastSeek, 0);
}

}  // namespace
}  // namespace torvo
