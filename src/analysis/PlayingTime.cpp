#include "analysis/PlayingTime.h"

#include <algorithm>

#include "analysis/FrameStatistics.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr std::string_view kTimeCaption = N_("Время");

}  // namespace

int64_t FilePlayingTime(const AnalysisRecords& records) {
    if (records.container.durationMs > 0) return records.container.durationMs;
    int64_t longest = 0;
    if (records.container.videoCount >= 1) longest = CollectPictureFigures(records.video).durationMs;
    for (const auto& stream : records.streams)
        if (stream) longest = std::max(longest, stream->durationMs);
    return longest;
}

void ReportFilePlayingTime(Display& display, const AnalysisRecords& records) {
    ReportFilePlayingTime(display, FilePlayingTime(records));
}

void ReportFilePlayingTime(Display& display, int64_t ms) {
    if (ms <= 0) return;
    const std::string text = DurationText(ms);
    display.Fields().SetField("CONT_DURATION", 0, text);
    display.FilePanel().Set(kTimeCaption, text);
}

void ReportAudioPlayingTime(Display& display, const StreamInfo& stream, int n) {
    if (stream.durationMs <= 0 || n < 0) return;
    const std::string text = DurationText(stream.durationMs);
    display.Fields().SetField("AUDIO_DURATION", n, text);
    if (static_cast<size_t>(n) < kMaxAudioListEntries) display.AudioPanel(static_cast<size_t>(n)).Set(kTimeCaption, text);
}

}  // namespace torvo
