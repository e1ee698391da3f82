// How a playback in the test monitor failed, told the way the render test
// tells its own failures: a failed start as a failed render with the
// player's message, a crash as a crash with the culprit module and the
// crash report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvo {

struct PlaybackFailure {
    enum class Kind { kNone, kFailed, kCrashed };
    Kind kind = Kind::kNone;
    std::string message;      // kFailed: the player's own reason
    std::string culpritPath;  // kCrashed: the module of the faulting code, when known
    int signal = 0;
};

struct FailureRow {
    std::string text;
    int colour = 0;
};

struct FailureReport {
    std::vector<FailureRow> rows;  // for the render list or the chain list
    std::string crashReport;       // for the message window; empty unless a crash
};

// ownProgram is never named as the culprit.
FailureReport ReportPlaybackFailure(const PlaybackFailure& failure, std::string_view ownProgram);

// The render list's row for a playback whose sound is not heard (the sink
// that did not open; empty when no sound output is installed).
FailureRow UnheardSoundRow(std::string_view sink);

// The crash report's paragraphs as rows (empty lines dropped).
std::vector<std::string> ReportRows(const std::string& report);

}  // namespace torvo
