// The render test on this machine's GStreamer: the child describes what a
// plain uridecodebin run picks; a reduced plugin set renders partly or not at
// all; test-only plugins that crash or hang are reported, not suffered.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "ScratchDir.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/render/ChildChainPlatform.h"
#include "platform/gstreamer/render/ChildPlayback.h"
#include "platform/gstreamer/render/RenderProtocol.h"
#include "render/ChainBuild.h"
#include "platform/gstreamer/render/ChildRenderPlatform.h"
#include "render/PlaybackFailure.h"
#include "render/RenderTest.h"

namespace torvo {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::ScratchDir;

const CReadDatabase& Database() {
    static CReadDatabase db;
    static const bool loaded = db.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {});
    EXPECT_TRUE(loaded);
    return db;
}

std::string Sample(const char* name) { return std::string(TORVO_TEST_DATA_DIR) + "/" + name; }

// The decoders a plain uridecodebin run picks, by factory name.
std::set<std::string> ReferenceDecoders(const std::string& file) {
    std::set<std::string> names;
    const std::string command = std::string(TORVO_RENDER_REFERENCE) + " '" + file + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return names;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        if (!name.empty()) names.insert(name);
    }
    ::pclose(pipe);
    return names;
}

// The records' decoders of either chain.
std::set<std::string> ChainDecoders(const RenderOutcome& outcome) {
    CFilterArea area;
    area.Fill(outcome.filters);
    area.Classify(nullptr, DatabaseGuidNames(Database()));
    area.DescribeChain(ChainKind::kAudio, DatabaseGuidNames(Database()));
    area.DescribeChain(ChainKind::kVideo, DatabaseGuidNames(Database()));
    std::set<std::string> names;
    for (const FilterRecord& f : area.Filters())
        if (f.Used() && (f.roles & (kRoleDecoder | kRoleDecoder << 8))) names.insert(std::string(f.name.View()));
    return names;
}

// A plugin folder holding links to some of the system's plugin files, and a
// registry of its own, for the lifetime of the object.
class ReducedPlugins {
public:
    explicit ReducedPlugins(std::initializer_list<const char*> plugins, const char* extraPath = nullptr)
        : system_("GST_PLUGIN_SYSTEM_PATH_1_0", (scratch_ / "plugins").c_str()),
          registry_("GST_REGISTRY_1_0", (scratch_ / "registry.bin").c_str()),
          extra_("GST_PLUGIN_PATH", extraPath),
          fork_("GST_REGISTRY_FORK", "no") {
        fs::create_directories(scratch_ / "plugins");
        for (const char* p : plugins)
            fs::create_symlink(fs::path(TORVO_GST_PLUGIN_DIR) / (std::string("libgst") + p + ".so"),
                               scratch_ / "plugins" / (std::string("libgst") + p + ".so"));
    }

private:
    ScratchDir scratch_;
    ScopedEnv system_, registry_, extra_, fork_;
};

struct RowsOf {
    NotesList rows;
    int switchedOff = 0;
    std::vector<std::string> texts;

    RowsOf(const std::string& file, bool video, bool audio, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        RenderTestContext context{[limit] { return std::make_unique<CChildRenderPlatform>(limit); },
                                  DatabaseGuidNames(Database()),
                                  [](uint32_t code) { return Database().DescribeHresult(256, code); }};
        CRenderTest test(context);
        test.Start(file, nullptr);
        RenderTickContext tick(rows);
        tick.fileHasVideo = video;
        tick.fileHasAudio = audio;
        tick.switchCodecInfoOff = [this] { ++switchedOff; };
        while (!test.Tick(tick)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const NoteLine& line : rows.Lines()) texts.push_back(line.text);
    }
};

TEST(RenderChild, RealSamplesNameTheDecodersAPlainUridecodebinPicks) {
    ASSERT_FALSE(RenderHelperPath().empty());
    CChildRenderPlatform platform;
    for (const char* name : {"avi_mpeg4_mp3.avi", "mp4_mpeg4_aac.mp4", "mpeg2_ps.mpg", "flv_h263_mp3.flv",
                             "asf_wmv2_wma.wmv", "ogg_vorbis.ogg"}) {
        SCOPED_TRACE(name);
        const RenderOutcome outcome = platform.RenderFile(Sample(name));
        ASSERT_EQ(outcome.kind, RenderOutcome::Kind::kRendered) << outcome.message;
        EXPECT_EQ(outcome.hresult, render_codes::kOk);
        EXPECT_EQ(ChainDecoders(outcome), ReferenceDecoders(Sample(name)));
    }
    // The chain text names every element between the source and the renderer.
    CFilterArea area;
    area.Fill(platform.RenderFile(Sample("avi_mpeg4_mp3.avi")).filters);
    area.DescribeChain(ChainKind::kVideo, {});
    const std::string& video = area.Text(kVideoChainText);
    EXPECT_TRUE(video.starts_with("(S) --> avidemux --> ")) << video;
    EXPECT_TRUE(video.ends_with(" --> (R)")) << video;
    // A WAVE file's parser turns the file into PCM: it counts as the decoder.
    area.Fill(platform.RenderFile(Sample("wave_pcm.wav")).filters);
    area.DescribeChain(ChainKind::kAudio, {});
    EXPECT_EQ(area.Text(kAudioChainText), "(S) --> wavparse --> (R)");
    EXPECT_TRUE(area.Chain(ChainKind::kVideo).empty());
}

TEST(RenderChild, WithoutAVideoDecoderAnAviRendersPartlyOrNotAtAll) {
    ReducedPlugins reduced({"coreelements", "typefindfunctions", "playback", "avi", "audioparsers", "mpg123"});
    const RowsOf partial(Sample("avi_mpeg4_mp3.avi"), true, true);
    ASSERT_GE(partial.texts.size(), 4u);
    EXPECT_EQ(partial.texts[0], "Рендеринг выполнен лишь частично. Вот сообщение GStreamer об ошибке: ");
    // What GStreamer misses, in its own words, instead of a code.
    EXPECT_EQ(partial.texts[1], "Нет модуля GStreamer: MPEG-4 Video decoder");
    EXPECT_EQ(partial.texts[2], "Конкретнее, звук можно отрендерить, а видео - нет:                      ");
    EXPECT_TRUE(partial.texts[3].starts_with("(ист)-->"));

    const RowsOf failed(Sample("avi_mpeg4.avi"), true, false);
    const std::vector<std::string> expected = {"Рендеринг не удался. Вот сообщение GStreamer об ошибке:        ",
                                               "Нет модуля GStreamer: MPEG-4 Video decoder"};
    EXPECT_EQ(failed.texts, expected);
}

TEST(RenderChild, ACrashingPluginIsNamedAsTheCulpritAndAHangingOneTimesOut) {
    {
        ReducedPlugins reduced({"coreelements", "typefindfunctions", "playback", "avi", "videoparsersbad"},
                               TORVO_CRASH_PLUGIN_DIR);
        CChildRenderPlatform platform;
        const RenderOutcome outcome = platform.RenderFile(Sample("avi_mpeg4.avi"));
        ASSERT_EQ(outcome.kind, RenderOutcome::Kind::kCrashed);
        EXPECT_EQ(fs::canonical(outcome.culpritPath), fs::canonical(TORVO_CRASH_PLUGIN_FILE));
        EXPECT_EQ(outcome.signal, SIGSEGV);

        const RowsOf rows(Sample("avi_mpeg4.avi"), true, false);
        ASSERT_FALSE(rows.texts.empty());
        EXPECT_EQ(rows.texts[0], "<< GStreamer рухнул в ходе рендеринга>>");
        bool named = false;
        for (const std::string& t : rows.texts) named |= t.find("libtorvocrash.so") != std::string::npos;
        EXPECT_TRUE(named);
        EXPECT_EQ(rows.switchedOff, 1);
    }
    {
        ReducedPlugins reduced({"coreelements", "typefindfunctions", "playback", "avi", "videoparsersbad"},
                               TORVO_HANG_PLUGIN_DIR);
        const auto started = std::chrono::steady_clock::now();
        const RowsOf rows(Sample("avi_mpeg4.avi"), true, false, std::chrono::seconds(3));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
        const std::vector<std::string> expected = {"Рендеринг не удался. Вот сообщение GStreamer об ошибке:        ",
                                                   "Превышено время ожидания: рендеринг не закончился вовремя и был остановлен."};
        EXPECT_EQ(rows.texts, expected);
    }
}

// A player that fails or crashes is told like the render test's own
// failures: Russian rows, the culprit module and the crash report.
TEST(RenderPlayback, FailedAndCrashedPlayersAreReportedWithTheirCulprit) {
    ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", "fakesink");
    {
        ReducedPlugins reduced({"coreelements", "typefindfunctions", "playback", "avi", "videoparsersbad"},
                               TORVO_CRASH_PLUGIN_DIR);
        CRender render(std::make_unique<CChildPlayback>(), "Тест GStreamer");
        std::string error;
        EXPECT_FALSE(render.Play(Sample("avi_mpeg4.avi"), 0, error));
        const PlaybackFailure failure = render.Failure();
        ASSERT_EQ(failure.kind, PlaybackFailure::Kind::kCrashed);
        EXPECT_EQ(fs::canonical(failure.culpritPath), fs::canonical(TORVO_CRASH_PLUGIN_FILE));
        const FailureReport report = ReportPlaybackFailure(failure, "/usr/bin/torvo");
        ASSERT_GE(report.rows.size(), 3u);
        EXPECT_EQ(report.rows[0].text, "<< GStreamer рухнул в ходе рендеринга>>");
        bool named = false;
        for (const FailureRow& row : report.rows) {
            EXPECT_EQ(row.colour, kRenderRowCrash);
            named |= row.text.find("libtorvocrash.so") != std::string::npos;
        }
        EXPECT_TRUE(named);
        EXPECT_EQ(report.crashReport.rfind("Внимание: При попытке воспроизвести этот файл GStreamer рухнул.", 0), 0u);
    }
    // A file nothing can play: a failed render with the player's reason.
    CRender none(std::make_unique<CChildPlayback>(), "Тест GStreamer");
    std::string error;
    EXPECT_FALSE(none.Play(Sample("document.pdf"), 0, error));
    const FailureReport failed = ReportPlaybackFailure(none.Failure(), {});
    ASSERT_EQ(failed.rows.size(), 2u);
    EXPECT_EQ(failed.rows[0].text, "Рендеринг не удался. Вот сообщение GStreamer об ошибке:        ");
    EXPECT_FALSE(failed.rows[1].text.empty());
    EXPECT_TRUE(failed.crashReport.empty());
    // The helper missing: no crash, a reason in Russian.
    CRender missing(std::make_unique<CChildPlayback>("/nonexistent/torvo-render"), "Тест GStreamer");
    EXPECT_FALSE(missing.Play(Sample("avi_mpeg4.avi"), 0, error));
    EXPECT_EQ(missing.Failure().kind, PlaybackFailure::Kind::kFailed);
    EXPECT_EQ(error.rfind("Не удалось запустить torvo-render", 0), 0u) << error;
}

// The crashing decoder outranks every other MPEG-4 decoder: a chain built
// through it crashes in its child. The program goes on, the row and the crash
// report name the module, and the next file's chain builds.
TEST(RenderChains, ACrashInsideAChainBuildIsContainedAndNamed) {
    ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", "fakesink");
    ReducedPlugins reduced({"coreelements", "typefindfunctions", "playback", "avi", "videoparsersbad", "wavparse"},
                           TORVO_CRASH_PLUGIN_DIR);
    const auto node = [](const char* factory, bool renderer = false) {
        ChainBuildNode n;
        n.name = factory;
        n.clsidText = render_protocol::ClassIdText(factory, "");
        n.renderer = renderer;
        return n;
    };
    CChildChainPlatform platform;
    ChainBuildRequest crashing;
    crashing.file = Sample("avi_mpeg4.avi");
    crashing.nodes = {node("avidemux"), node("torvocrashdec"), node("fakesink", true)};
    const ChainBuildReport report = platform.BuildChain(crashing);
    ASSERT_TRUE(report.crashed) << report.message;
    EXPECT_EQ(fs::canonical(report.crashedIn), fs::canonical(TORVO_CRASH_PLUGIN_FILE));
    const std::string row = BuildErrorText(crashing, report, {});
    EXPECT_EQ(row.rfind("GStreamer рухнул при сборке цепочки, предположительно в модуле ", 0), 0u) << row;
    EXPECT_NE(row.find("libtorvocrash.so"), std::string::npos) << row;
    const std::string crashReport = ChainCrashReport(report, "/usr/bin/torvo");
    EXPECT_EQ(crashReport.rfind("Внимание: При попытке воспроизвести этот файл GStreamer рухнул.", 0), 0u);
    EXPECT_NE(crashReport.find("libtorvocrash.so"), std::string::npos);

    ChainBuildRequest next;
    next.kind = ChainKind::kAudio;
    next.file = Sample("wave_pcm.wav");
    next.nodes = {node("wavparse"), node("fakesink", true)};
    const ChainBuildReport built = platform.BuildChain(next);
    EXPECT_TRUE(BuildSucceeded(built)) << built.message;
    EXPECT_FALSE(built.crashed);
    EXPECT_TRUE(ChainCrashReport(built, "/usr/bin/torvo").empty());
}

// Playback through the crashing decoder (chosen by its rank) ends its
// player only: the next file plays.
TEST(RenderPlayback, AfterAPlayerCrashTheNextFilePlays) {
    ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", "fakesink");
    ReducedPlugins reduced({"coreelements", "typefindfunctions", "playback", "avi", "videoparsersbad", "wavparse"},
                           TORVO_CRASH_PLUGIN_DIR);
    std::string error;
    CRender crashed(std::make_unique<CChildPlayback>(), "Тест GStreamer");
    EXPECT_FALSE(crashed.Play(Sample("avi_mpeg4.avi"), 0, error));
    ASSERT_EQ(crashed.Failure().kind, PlaybackFailure::Kind::kCrashed);
    crashed.Teardown();
    CRender next(std::make_unique<CChildPlayback>(), "Тест GStreamer");
    EXPECT_TRUE(next.Play(Sample("wave_pcm.wav"), 0, error)) << error;
    EXPECT_EQ(next.Failure().kind, PlaybackFailure::Kind::kNone);
    next.Teardown();
}

TEST(RenderPlayback, ASamplePlaysPausesStopsAndSeeksInTheChild) {
    ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", "fakesink");
    auto platform = std::make_unique<CChildPlayback>();
    CChildPlayback* child = platform.get();
    CRender render(std::move(platform), "Тест GStreamer");
    std::string error;
    ASSERT_TRUE(render.Play(Sample("avi_mpeg4_mp3.avi"), 0, error)) << error;
    EXPECT_EQ(render.State(), kPlayRunning);
    EXPECT_GT(render.Duration(), 0);
    // The position advances while it plays.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (render.Position() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(render.Position(), 0);
    render.PauseCommand();
    EXPECT_EQ(render.State(), kPlayPaused);
    render.StopCommand();
    EXPECT_EQ(render.State(), kPlayStopped);
    render.SetVolume(5000);
    render.Seek(512);
    EXPECT_FALSE(child->Ended());
    render.Teardown();
    EXPECT_EQ(render.Position(), 0);
    // A file that does not play says why.
    CRender none(std::make_unique<CChildPlayback>(), "Тест GStreamer");
    EXPECT_FALSE(none.Play(Sample("document.pdf"), 0, error));
    EXPECT_FALSE(error.empty());
}

// A sound output that does not open leaves the picture playing and is told
// as unheard sound, only for files that have sound.
TEST(RenderPlayback, AnUnopenedSoundOutputIsToldNotHidden) {
    struct Case {
        const char* sink;
        const char* sample;
        std::optional<std::string> unheard;
    };
    const Case cases[] = {
        {"fakesink", "wave_pcm.wav", std::nullopt},
        {"torvo-no-such-sink", "wave_pcm.wav", "torvo-no-such-sink"},
        {"torvo-no-such-sink", "mpeg2_video.m2v", std::nullopt},
    };
    for (const Case& c : cases) {
        ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", c.sink);
        CRender render(std::make_unique<CChildPlayback>(), "Тест GStreamer");
        std::string error;
        ASSERT_TRUE(render.Play(Sample(c.sample), 0, error)) << c.sample << ": " << error;
        EXPECT_EQ(render.UnheardSoundSink(), c.unheard) << c.sink << " " << c.sample;
        render.Teardown();
    }
    EXPECT_NE(UnheardSoundRow("pulsesink").text.find("pulsesink"), std::string::npos);
    EXPECT_EQ(UnheardSoundRow("").colour, kRenderRowPartial);
}

TEST(RenderChild, TheParentReadsWhateverTheChildLeftBehind) {
    // No result line: the child died without its handler.
    EXPECT_EQ(ParseRenderLines("{\"filter\":{\"name\":\"x\"}}\n", false).kind, RenderOutcome::Kind::kCrashed);
    // Garbage lines are skipped; a failure keeps no graph.
    const RenderOutcome failed = ParseRenderLines("junk\n{\"filter\":{}}\n{\"result\":{\"hresult\":2147746405}}\n", true);
    EXPECT_EQ(failed.kind, RenderOutcome::Kind::kFailed);
    EXPECT_EQ(failed.hresult, render_codes::kUnsupportedStream);
    EXPECT_TRUE(failed.filters.empty());
    const RenderOutcome crash = ParseRenderLines("{\"crash\":{\"signal\":11,\"module\":\"/a/b.so\"}}\n", false);
    EXPECT_EQ(crash.culpritPath, "/a/b.so");
    // A missing helper is a failure, not a crash.
    CChildRenderPlatform none(std::chrono::seconds(1), "/nonexistent/torvo-render");
    EXPECT_EQ(none.RenderFile(Sample("wave_pcm.wav")).kind, RenderOutcome::Kind::kFailed);
}

}  // namespace
}  // namespace torvo
