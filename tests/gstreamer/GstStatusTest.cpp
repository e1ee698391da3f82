// The codec status of every bundled sample against GStreamer's own answer:
// some decoder factory accepts the caps of the stream as GStreamer's parsers
// deliver it. Once with every installed plugin, once with a reduced set of
// plugins in a scratch registry (run as a child process of this test).
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "analysis/AudioDescription.h"
#include "analysis/Driver.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "inventory/CodecListing.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/GstInventoryCache.h"

namespace torvo {
namespace {

constexpr const char* kInstalled = "Кодек(и) установлен(ы)";
constexpr const char* kMissing = "Кодек(и) НЕ установлен(ы) ";
constexpr const char* kNotNeeded = "Кодек не нужен   ";

bool Reduced() { return std::getenv("TORVO_REDUCED_PLUGINS") != nullptr; }

struct GstStream {
    std::string caps;
    bool video = false;
    bool raw = false;
    bool decodable = false;
};

struct ParseState {
    GstElement* pipeline = nullptr;
    std::vector<std::string> caps;
    bool done = false;
};

void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* state = static_cast<ParseState*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    gchar* text = gst_caps_to_string(caps);
    state->caps.emplace_back(text);
    g_free(text);
    gst_caps_unref(caps);
    // A sink keeps the data flowing so that the other streams appear too.
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(state->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

void OnNoMorePads(GstElement*, gpointer data) { static_cast<ParseState*>(data)->done = true; }

// The elementary streams of a file as GStreamer's parsers deliver them.
std::vector<GstStream> GStreamerStreams(const std::string& path) {
    ParseState state;
    state.pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    GstElement* parse = gst_element_factory_make("parsebin", nullptr);
    if (!source || !parse) {
        ADD_FAILURE() << "filesrc or parsebin is missing";
        return {};
    }
    g_object_set(source, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(state.pipeline), source, parse, nullptr);
    gst_element_link(source, parse);
    g_signal_connect(parse, "pad-added", G_CALLBACK(OnPadAdded), &state);
    g_signal_connect(parse, "no-more-pads", G_CALLBACK(OnNoMorePads), &state);
    // Playing without clock sync: the small samples run through at once.
    gst_element_set_state(state.pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(state.pipeline);
    // Until every stream is exposed, or the file is done or refused.
    for (int i = 0; i < 300 && !state.done; ++i) {
        GstMessage* m = gst_bus_timed_pop_filtered(
            bus, 10 * GST_MSECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
        if (m) {
            gst_message_unref(m);
            break;
        }
    }
    gst_element_set_state(state.pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(state.pipeline);

    std::vector<GstStream> streams;
    GList* decoders = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER, GST_RANK_MARGINAL);
    for (const std::string& text : state.caps) {
        GstStream s;
        s.caps = text;
        s.video = text.starts_with("video/") || text.starts_with("image/");
        if (!s.video && !text.starts_with("audio/")) continue;
        s.raw = text.starts_with("video/x-raw") || text.starts_with("audio/x-raw");
        GstCaps* caps = gst_caps_from_string(text.c_str());
        GList* accepting = gst_element_factory_list_filter(decoders, caps, GST_PAD_SINK, FALSE);
        s.decodable = accepting != nullptr;
        gst_plugin_feature_list_free(accepting);
        gst_caps_unref(caps);
        streams.push_back(s);
    }
    gst_plugin_feature_list_free(decoders);
    return streams;
}

// What the status must read for GStreamer's answer.
const char* ExpectedStatus(const GstStream& s) { return s.raw ? kNotNeeded : s.decodable ? kInstalled : kMissing; }

// Streams that need plugins the reduced set leaves out.
bool NeedsLeftOutPlugins(const std::string& caps) {
    for (const char* prefix : {"video/mpeg, mpegversion=(int)4", "video/x-h264", "video/x-wmv", "video/x-msmpeg",
                               "audio/mpeg, mpegversion=(int)4", "audio/mpeg, framed=(boolean)true, mpegversion=(int)4"})
        if (caps.starts_with(prefix)) return true;
    return false;
}

// The fourth audio panel has no report field: its text stands for the field's wording.
std::string FieldTextOf(const std::string& panelText) {
    for (int code = 0; code <= kStatusInstalled; ++code)
        if (panelText == TextsForStatus(code).panel) return TextsForStatus(code).field;
    return panelText;
}

std::vector<std::string> AllSamples() {
    std::vector<std::string> names;
    for (const char* folder : {"", "containers", "mpeg", "riff", "tsmkv", "named", "decoders"}) {
        // The reduced set has none of the sound formats' demuxers.
        if (Reduced() && std::string_view(folder) == "named") continue;
        for (std::string& n : test::SampleNamesIn(folder)) names.push_back(std::move(n));
    }
    return names;
}

TEST(GstStatus, MatchesGStreamerForEverySample) {
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    CReadDatabase database;
    ASSERT_TRUE(database.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {}));
    CInventoryService inventory(GstInventoryGatherer(DatabaseGuidNames(database), WithoutCache()));
    Display display;
    CAnalysisDriver driver(display);
    DriverOptions options;
    UseDatabaseNames(options, database);
    options.waitForInventory = [&inventory](bool& on) {
        inventory.Wait(on);
        return inventory.Published();
    };
    driver.SetOptions(options);

    // Without libav, -bad's and -ugly's other decoders: what must read missing and installed.
    struct Reduction {
        const char* name;
        const char* video;
        const char* audio;
    };
    const Reduction reductions[] = {
        {"riff/avi_xvid_bframes_mp3cbr.avi", kMissing, kInstalled}, {"mp4_mpeg4_aac.mp4", kMissing, kMissing},
        {"containers/flv_h264_aac.flv", kMissing, kMissing},        {"mpeg/h264_1080.264", kMissing, ""},
        {"containers/asf_wmv1_wma1.wmv", kMissing, kMissing},       {"aac_adts.aac", "", kMissing},
        {"riff/avi_h264_ac3.avi", kMissing, kInstalled},            {"mpeg/dvd_pal_ac3.vob", kInstalled, kInstalled},
        {"mpeg/dvd_ntsc_lpcm.vob", kInstalled, kInstalled},         {"dv_pal.dv", kInstalled, ""},
        {"mpeg/mp3_cbr128.mp3", "", kInstalled},                    {"containers/mov_mjpeg_mp3.mov", kInstalled, kInstalled},
        {"riff/avi_mjpeg_pcm.avi", kInstalled, kNotNeeded},          {"mpeg/dts_51.dts", "", kInstalled},
        {"decoders/avi_ac3_51_extensible.avi", kMissing, kInstalled}, {"decoders/mov_prores_apch.mov", kMissing, ""},
        {"decoders/mov_alac.mov", "", kMissing},                     {"decoders/avi_ffv1.avi", kMissing, ""},
    };
    // The formats whose answer is easy to get wrong, with every plugin.
    const Reduction everyPlugin[] = {
        {"decoders/avi_ac3_51_extensible.avi", kInstalled, kInstalled}, {"decoders/mkv_cinepak.mkv", kMissing, ""},
        {"decoders/mkv_ffv1.mkv", kInstalled, ""},                     {"decoders/avi_ffv1.avi", kInstalled, ""},
        {"decoders/mov_mjpa_mp2.mov", kInstalled, kInstalled},         {"decoders/mov_alac.mov", "", kInstalled},
        {"decoders/m4a_alac.m4a", "", kInstalled},                     {"decoders/mov_prores_apch.mov", kInstalled, ""},
        {"decoders/mov_prores_apcn.mov", kInstalled, ""},              {"decoders/mov_prores_ap4h.mov", kInstalled, ""},
    };

    int compared = 0, leftOut = 0;
    for (const std::string& name : AllSamples()) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(driver.AnalyseFile(test::SamplePath(name)));
        const CExport& fields = display.Fields();
        std::vector<GstStream> video, audio;
        const std::vector<GstStream> streams = GStreamerStreams(test::SamplePath(name));
        for (const GstStream& s : streams) (s.video ? video : audio).push_back(s);
        // A file GStreamer cannot take apart at all plays none of its streams.
        const GstStream unplayable{"(no demuxer)", false, false, false};

        std::vector<std::pair<std::string, const GstStream*>> ours;
        if (const std::string status(fields.Field("VIDEO_CODEC_STATUS")); !status.empty())
            ours.emplace_back(status, !video.empty() ? &video[0] : streams.empty() ? &unplayable : nullptr);
        for (size_t n = 0; n < kMaxAudioListEntries; ++n) {
            const std::string status(display.AudioPanel(n).Get("Сост."));
            if (status.empty()) continue;
            const std::string field = n < 3 ? std::string(fields.Field("AUDIO_CODEC_STATUS", static_cast<int>(n))) : std::string();
            ours.emplace_back(field.empty() ? FieldTextOf(status) : field,
                              n < audio.size() ? &audio[n] : streams.empty() ? &unplayable : nullptr);
        }
        const auto expected = Reduced() ? std::span<const Reduction>(reductions) : std::span<const Reduction>(everyPlugin);
        for (const Reduction& r : expected) {
            if (name != r.name) continue;
            EXPECT_EQ(fields.Field("VIDEO_CODEC_STATUS"), r.video);
            EXPECT_EQ(fields.Field("AUDIO_CODEC_STATUS"), r.audio);
        }
        for (const auto& [status, theirs] : ours) {
            // A stream GStreamer does not see here cannot be compared (GStreamer
            // treats some files differently); every one we offer gets an answer.
            EXPECT_NE(status, "Статус кодека неопределен");
            // GStreamer reads no raw-sector CD image from a plain file; the
            // reader here does, so those streams are not comparable.
            if (!theirs || theirs->caps.starts_with("video/x-vcd")) continue;
            EXPECT_EQ(status, ExpectedStatus(*theirs)) << theirs->caps;
            ++compared;
            if (Reduced() && NeedsLeftOutPlugins(theirs->caps)) {
                EXPECT_EQ(status, kMissing) << theirs->caps;
                ++leftOut;
            }
        }
    }
    EXPECT_GT(compared, Reduced() ? 50 : 90);
    if (Reduced()) {
        EXPECT_GT(leftOut, 10);
    }
}

// The scratch plugin folder: demuxers, parsers, sinks (the whole-screen one
// never stands for a renderer; the X sink does, and with no sound card's sink
// and no sound server the sound server's sink stands in) and the decoders of
// the older formats.
TEST(GstStatus, MatchesGStreamerWithAReducedPluginSet) {
    if (Reduced()) GTEST_SKIP() << "already the reduced run";
    const std::string plugins = TORVO_GST_PLUGINS_DIR;
    char scratchTemplate[] = "/tmp/torvo-gst-XXXXXX";
    ASSERT_TRUE(mkdtemp(scratchTemplate));
    const std::filesystem::path scratch = scratchTemplate;
    for (const char* plugin : {"coreelements", "typefindfunctions", "playback", "avi", "isomp4", "flv", "asf",
                               "mpegpsdemux", "dv", "audioparsers", "videoparsersbad", "id3demux", "wavparse",
                               "mpg123", "a52dec", "mpeg2dec", "jpeg", "dtsdec", "dvdlpcmdec", "pulseaudio", "kms",
                               "ximagesink"}) {
        const std::string file = plugins + "/libgst" + plugin + ".so";
        ASSERT_TRUE(std::filesystem::exists(file)) << file;
        std::filesystem::create_symlink(file, scratch / ("libgst" + std::string(plugin) + ".so"));
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("GST_PLUGIN_SYSTEM_PATH_1_0", scratch.c_str(), 1);
        setenv("GST_REGISTRY_1_0", (scratch / "registry.bin").c_str(), 1);
        unsetenv("GST_PLUGIN_PATH_1_0");
        unsetenv("GST_PLUGIN_PATH");
        setenv("TORVO_REDUCED_PLUGINS", "1", 1);
        // No sound server answers either: the sound server's sink only stands in.
        setenv("PULSE_SERVER", "unix:/nonexistent/pulse", 1);
        execl("/proc/self/exe", "test_gstreamer", "--gtest_filter=GstStatus.MatchesGStreamerForEverySample",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::remove_all(scratch);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reduced run failed (see its output above)";
}

TEST(GstStatus, CodecListShowsDecodersDemuxersParsersAndSinksWithTheirRanks) {
    if (Reduced()) GTEST_SKIP();
    CReadDatabase database;
    ASSERT_TRUE(database.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {}));
    CInventoryService inventory(GstInventoryGatherer(DatabaseGuidNames(database), WithoutCache()));
    bool on = true;
    ASSERT_EQ(inventory.Wait(on), CInventoryService::WaitResult::kPublished);
    const CodecInventory& inv = *inventory.Published();
    EXPECT_GT(inv.Count(), 100);
    bool demuxer = false, sink = false, decoder = false;
    for (int i = 0; i < inv.Count(); ++i) {
        const auto cells = CodecListCells(inv.At(i));
        if (cells[2] == "Avi demuxer") {
            demuxer = true;
            EXPECT_EQ(cells[4], "0x00800000");  // PRIMARY
            EXPECT_EQ(cells[5], "libgstavi.so");
            EXPECT_EQ(cells[1], "Avi");
        }
        if (cells[0] == "REND" && cells[3] == "{79376820-07D0-11CF-A24D-0020AFD79767}") sink = true;
        if (cells[2] == "libav MPEG-4 part 2 decoder") decoder = cells[1] == "MP4V" && cells[4] == "0x00800000";
    }
    EXPECT_TRUE(demuxer);
    EXPECT_TRUE(sink);
    EXPECT_TRUE(decoder);
}

}  // namespace
}  // namespace torvo
