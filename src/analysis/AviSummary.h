// What an AVI file's structure tells the user: the checks of its length and
// chunk sizes, how audio and video are interleaved, the subtype and
// compatibility notes; and the tag and user-data listing every file gets.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// Misfit chunks, truncation and surplus bytes as notes lines. Returns true
// when the file is broken (a corrupt header, or data missing without a legacy
// index): a queue run until the first error stops there.
bool AviChecks(Display& display, uint64_t logicalLength, const ContainerInfo& container);

enum class InterleaveAlign { kNone, kAligned, kSplit };

struct InterleaveResult {
    bool done = false;  // there were enough runs to judge
    std::string text;   // "Interleave: ..."
    int64_t timeMs = 0;
    bool hasPreload = false;  // the first data chunk was audio
    int64_t preloadMs = 0;
    int errorCode = 0;  // 2: the audio frames could not account for the preload run
    InterleaveAlign align = InterleaveAlign::kNone;
};

// How the video runs and the given audio stream's runs alternate. The audio
// frame positions come from the stream's MPEG audio result record
// (frameEnds, frameDurationUs); without them the preload is error 2 and there
// is no alignment.
InterleaveResult InterleaveAnalysis(const VideoInfo& video, const StreamInfo& audio, int32_t usPerFrame,
                                    bool firstDataWasAudio);

// The AVI summary: checks, dropped-frame lamp, notes, subtype, part split,
// interleave of the shown audio stream, MPEG data in the stream header.
// Returns the broken-file flag of the checks.
bool AviSummary(Display& display, uint64_t logicalLength, const AnalysisRecords& records);

// Tag lines of the RIFF walk and of the container's metadata, then up to five
// "[USER]" lines from the collected user data (kept in the container).
void TagListing(Display& display, ContainerInfo& container);

}  // namespace torvo
