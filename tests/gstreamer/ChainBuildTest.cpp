// Suggested chains built and played on this machine's GStreamer: the first
// chain of AVI, MP4 and MPEG program stream samples reaches PAUSED in the
// render child with the machine's own sinks, plays (its position advances)
// with fake sinks, and a chain that cannot be built says where it failed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "TestUtil.h"
#include "XvfbDisplay.h"
#include "analysis/Driver.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/GstInventoryCache.h"
#include "platform/gstreamer/render/ChildChainPlatform.h"
#include "platform/gstreamer/render/ChainProtocol.h"
#include "platform/gstreamer/render/ChildPlayback.h"
#include "render/SuggestedChains.h"

namespace torvo {
namespace {

struct Machine {
    // The renderers are the sinks that work here: a private X server and a
    // null sound card give the chains theirs.
    test::XvfbDisplay xvfb;
    test::NullSoundCard sound;
    CReadDatabase database;
    std::unique_ptr<CInventoryService> inventory;
    Display display;
    CAnalysisDriver driver{display};
    // ownSinks: the chains are built with the renderers chosen for this
    // machine; else stand-ins that draw nowhere take their place.
    explicit Machine(bool ownSinks = false) {
        if (ownSinks) {
            unsetenv("TORVO_PLAY_VIDEO_SINK");
            unsetenv("TORVO_PLAY_AUDIO_SINK");
        } else {
            setenv("TORVO_PLAY_VIDEO_SINK", "fakesink", 1);
            setenv("TORVO_PLAY_AUDIO_SINK", "fakesink", 1);
        }
        EXPECT_TRUE(database.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {}));
        inventory = std::make_unique<CInventoryService>(GstInventoryGatherer(DatabaseGuidNames(database), WithoutCache()));
        DriverOptions options;
        UseDatabaseNames(options, database);
        options.waitForInventory = [this](bool& on) {
            inventory->Wait(on);
            return inventory->Published();
        };
        driver.SetOptions(options);
    }
    // The suggested chains of a sample's stream.
    CSuggestedChains Suggest(const std::string& path, ChainKind kind) {
        EXPECT_TRUE(driver.AnalyseFile(path));
        CSuggestedChains chains(DatabaseGuidNames(database));
        EXPECT_GT(chains.Suggest(kind, inventory->Published(), ChainStreamTypes(driver.Records(), kind, 0), path), 0);
        return chains;
    }
    std::string Describe(uint32_t code) { return database.DescribeHresult(256, code); }
};

// With the machine's own sinks (the X sink of a private X server, ALSA's
// null device): anamorphic MPEG program streams negotiate too.
TEST(ChainBuild, FirstChainsReachPausedWithTheMachinesOwnSinks) {
    Machine m(true);
    if (m.xvfb.Name().empty()) GTEST_SKIP() << "Xvfb is not installed";
    CChildChainPlatform platform;
    struct Case {
        const char* sample;
        ChainKind kind;
    };
    for (const Case c : {Case{"avi_mpeg4.avi", ChainKind::kVideo}, Case{"avi_mpeg4_mp3.avi", ChainKind::kVideo},
                         Case{"avi_mpeg4_mp3.avi", ChainKind::kAudio}, Case{"mp4_mpeg4_aac.mp4", ChainKind::kVideo},
                         Case{"mpeg/dvd_pal_ac3.vob", ChainKind::kVideo}, Case{"mpeg/vcd_pal.mpg", ChainKind::kVideo}}) {
        const std::string path = test::SamplePath(c.sample);
        CSuggestedChains chains = m.Suggest(path, c.kind);
        const ChainBuildRequest request = chains.Request(c.kind, 0, path);
        ASSERT_GE(request.nodes.size(), 3u) << c.sample;
        EXPECT_TRUE(request.nodes.back().renderer);
        // The renderer is the X sink (Xvfb has no Xv port), never a whole-screen one.
        if (c.kind == ChainKind::kVideo) {
            EXPECT_NE(request.nodes.back().path.find("libgstximagesink"), std::string::npos);
        }
        const ChainBuildReport report = platform.BuildChain(request);
        EXPECT_TRUE(BuildSucceeded(report)) << c.sample << ": " << BuildErrorText(request, report, {});
        EXPECT_EQ(report.completedNodes, int(request.nodes.size()));
    }
}

TEST(ChainBuild, BuiltChainPlaysAndItsPositionAdvances) {
    Machine m;
    if (m.xvfb.Name().empty()) GTEST_SKIP() << "Xvfb is not installed";
    const std::string path = test::SamplePath("avi_mpeg4.avi");
    CSuggestedChains chains = m.Suggest(path, ChainKind::kVideo);
    CRender render(CChildPlayback::ForChain(chain_protocol::RequestText(chains.Request(ChainKind::kVideo, 0, path))),
                   "Тест лишь видео");
    std::string error;
    ASSERT_TRUE(render.Play(path, 0, error)) << error;
    EXPECT_EQ(render.State(), kPlayRunning);
    int position = 0;
    for (int i = 0; i < 100 && position == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        position = render.Position();
    }
    EXPECT_GT(position, 0);
    EXPECT_GT(render.Duration(), 0);
    render.Teardown();
}

TEST(ChainBuild, FailuresNameTheirStep) {
    Machine m;
    if (m.xvfb.Name().empty()) GTEST_SKIP() << "Xvfb is not installed";
    CChildChainPlatform platform;
    const std::string path = test::SamplePath("avi_mpeg4.avi");
    CSuggestedChains chains = m.Suggest(path, ChainKind::kVideo);
    const auto describe = [&m](uint32_t code) { return m.Describe(code); };

    ChainBuildRequest missingFile = chains.Request(ChainKind::kVideo, 0, path + ".gone");
    EXPECT_EQ(BuildErrorText(missingFile, platform.BuildChain(missingFile), describe)
                  .rfind("Не удалось создать элемент-источник filesrc для входного файла " + path +
                         ".gone.Неудача gst_element_factory_make(),ошибка:the file cannot be read",
                         0),
              0u);

    // A decoder that is not installed (any more).
    ChainBuildRequest gone = chains.Request(ChainKind::kVideo, 0, path);
    gone.nodes[1].clsidText = GuidString(NameBasedGuid("torvo:factory:no-such-decoder"));
    const ChainBuildReport r = platform.BuildChain(gone);
    EXPECT_EQ(r.failedStep, ChainBuildReport::Step::kCreate);
    EXPECT_EQ(BuildErrorText(gone, r, describe).rfind("Failed to create element " + gone.nodes[1].name + ". Неудача gst_element_factory_create()", 0), 0u);

    // A sound decoder in a video chain: its output cannot reach the video
    // renderer, the first connection made that fails.
    CSuggestedChains audio = m.Suggest(test::SamplePath("avi_mpeg4_mp3.avi"), ChainKind::kAudio);
    ChainBuildRequest mixed = chains.Request(ChainKind::kVideo, 0, path);
    mixed.nodes[1] = audio.Request(ChainKind::kAudio, 0, path).nodes[1];
    const ChainBuildReport m2 = platform.BuildChain(mixed);
    EXPECT_EQ(m2.failedStep, ChainBuildReport::Step::kConnect);
    EXPECT_EQ(m2.node, 2);
    EXPECT_NE(BuildErrorText(mixed, m2, describe).find("Неудача gst_pad_link()"), std::string::npos);
}

}  // namespace
}  // namespace torvo
