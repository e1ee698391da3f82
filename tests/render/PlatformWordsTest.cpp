// The texts that tell what GStreamer did name GStreamer's own things
// (elements, pads, its error and missing-plugin texts), never a Windows
// mechanism: what the core makes of GStreamer's answers, and every user text
// written in the GStreamer platform and the render panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "inventory/InventoryService.h"
#include "render/ChainBuild.h"
#include "render/PlaybackFailure.h"

namespace torvo {
namespace {

const std::regex& WindowsWords() {
    static const std::regex words(
        R"(DirectShow|ConnectDirect|CoCreateInstance|AddSourceFilter|AddFilter\(|QueryPinInfo|CLSIDFromString|)"
        R"(\b[Pp]ins?\b|Реестр|Microsoft|quartz|regsvr32|"MS |0x8000[0-9A-Fa-f]{4}|0x0004[0-9A-Fa-f]{4})");
    return words;
}

void ExpectLinuxWords(const std::string& text, const std::string& where) {
    std::smatch m;
    EXPECT_FALSE(std::regex_search(text, m, WindowsWords())) << where << ": \"" << m.str() << "\" in " << text;
}

TEST(PlatformWords, TextsMadeOfGStreamersAnswers) {
    ChainBuildRequest request;
    request.file = "/media/clip.avi";
    ChainBuildNode demuxer, decoder;
    demuxer.name = "Avi demuxer";
    decoder.name = "libav MPEG-4 part 2 decoder";
    decoder.clsidText = "not-an-id";
    request.nodes = {demuxer, decoder};
    // Codes stand beside GStreamer's words only as a last resort: a message hides them.
    const auto describe = [](uint32_t code) { return "0x" + std::to_string(code); };
    using Step = ChainBuildReport::Step;
    for (Step step : {Step::kNone, Step::kSource, Step::kCreate, Step::kClassId, Step::kAdd, Step::kConnect, Step::kPinInfo}) {
        ChainBuildReport r;
        r.failedStep = step;
        r.node = 1;
        r.code = 0x80004005;
        r.message = "Internal data stream error.";
        r.outputPin = 0x07fd6730;
        r.outputPinName = "video_0";
        r.inputPinName = "sink";
        const std::string text = BuildErrorText(request, r, describe);
        EXPECT_NE(text.find("Internal data stream error."), std::string::npos) << text;
        ExpectLinuxWords(text, "chain build step " + std::to_string(int(step)));
    }
    for (int32_t state : {kCrashReported, kCrashInRender, kCrashFailure})
        for (const char* culprit : {"", "/usr/lib/x86_64-linux-gnu/gstreamer-1.0/libgstcrash.so"})
            ExpectLinuxWords(CrashReportText(state, "", culprit, "/usr/bin/torvo"), "crash report");
    for (const auto kind : {PlaybackFailure::Kind::kFailed, PlaybackFailure::Kind::kCrashed}) {
        PlaybackFailure failure;
        failure.kind = kind;
        failure.message = "Could not open audio device for playback.";
        for (const FailureRow& row : ReportPlaybackFailure(failure, "/usr/bin/torvo").rows)
            ExpectLinuxWords(row.text, "playback failure");
    }
    ExpectLinuxWords(UnavailableMessage("torvo-gst.so not found").text, "no module");
}

// The user texts written where GStreamer's answers are put into words: the
// literals with Russian in them or of several words (keys and caps are neither).
TEST(PlatformWords, UserTextsOfTheGStreamerPlatformAndTheRenderPanel) {
    const std::filesystem::path root = TORVO_SOURCE_ROOT;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root / "src/platform/gstreamer"))
        if (e.path().extension() == ".cpp") files.push_back(e.path());
    for (const char* file : {"src/render/RenderTest.cpp", "src/render/PlaybackFailure.cpp", "src/render/SuggestedChains.cpp",
                             "src/render/ChainLine.cpp", "src/app/gui/RenderControls.cpp", "src/app/gui/ChainCommands.cpp",
                             "src/app/gui/TestMonitor.cpp", "src/app/gui/SettingsDialog.cpp", "src/app/cli/CliRender.cpp",
                             "src/app/cli/CliChains.cpp"})
        files.push_back(root / file);
    const std::regex literal(R"lit("(?:[^"\\\n]|\\.)*")lit");
    int texts = 0;
    for (const auto& file : files) {
        std::ifstream in(file);
        ASSERT_TRUE(in) << file;
        std::ostringstream source;
        source << in.rdbuf();
        const std::string code = source.str();
        for (auto it = std::sregex_iterator(code.begin(), code.end(), literal); it != std::sregex_iterator(); ++it) {
            const std::string text = it->str();
            const bool russian = text.find("\xD0") != std::string::npos || text.find("\xD1") != std::string::npos;
            if (!russian && std::count(text.begin(), text.end(), ' ') < 2) continue;
            ++texts;
            ExpectLinuxWords(text, file.filename().string());
        }
    }
    EXPECT_GT(texts, 40);
}

}  // namespace
}  // namespace torvo
