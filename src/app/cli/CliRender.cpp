#include "CliRender.h"

#include <chrono>
#include <ostream>
#include <thread>

#include "base/Text.h"
#include "base/Translate.h"
#include "settings/ProgramLocation.h"

namespace torvo::cli {

void RunRenderTest(RenderRun& run, const std::string& path, const AnalysisRecords& records, Display& display,
                   nlohmann::ordered_json& extra) {
    const ContainerInfo& c = records.container;
    RenderTickContext tick(display.Render());
    tick.fileHasVideo = c.videoCount > 0 || c.videoPresent;
    tick.fileHasAudio = c.audioCount > 0 || c.soundPresent;
    tick.ownProgram = ProgramPath();
    tick.switchCodecInfoOff = run.switchCodecInfoOff;
    tick.showMessage = [&run](const std::string& caption, const std::string& text) {
        run.err << Localise(caption) << ": " << Localise(text) << "\n";
    };
    display.Render().Clear();
    run.test.Start(path, run.inventory);
    while (!run.test.Tick(tick)) std::this_thread::sleep_for(std::chrono::milliseconds(run.tickMs));

    nlohmann::ordered_json chains;
    chains["result"] = Format("0x%08x", run.test.Hresult());
    const CFilterArea& area = run.test.Area();
    chains["video"] = area.Text(kVideoChainText);
    chains["audio"] = area.Text(kAudioChainText);
    chains["video_decoder_format"] = area.Text(kVideoDecoderText);
    chains["audio_decoder_format"] = area.Text(kAudioDecoderText);
    if (run.test.Outcome().kind == RenderOutcome::Kind::kCrashed) chains["culprit"] = run.test.Outcome().culpritPath;
    extra["render_chains"] = chains;
}

}  // namespace torvo::cli
