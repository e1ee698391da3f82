// The frame-scan statistics of a full scan: while it runs (interim) and once
// it is done (final). Picture types, the GOP figures and the largest frame,
// duration, bitrate, frame count and quality factor from the scan, and for
// AVI the shares of video, audio and overhead in the file.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/Display.h"
#include "records/Records.h"
#include "formats/mpeg/PictureRecorder.h"
#include "formats/vgs/FrameLayout.h"
#include "base/Translate.h"

namespace torvo {

// What a scan has counted so far (or in all, when final).
struct ScanFigures {
    bool final = false;
    bool failed = false;
    bool avi = false;
    bool recordedPictures = false;  // the picture recorder saw the video (MPEG)
    int64_t elapsedMs = 0;
    int32_t speedKiBps = 0;
    uint64_t pictures = 0;               // pictures the recorder found
    std::array<uint64_t, 5> byType{};    // S, I, P, B, D
    std::vector<uint32_t> lastPictures;  // frame-list words of the last 64 pictures, oldest first
    uint64_t videoChunks = 0;            // AVI
    uint64_t videoBytes = 0, audioBytes = 0, fileSize = 0;
    uint64_t largestFrame = 0;
    uint32_t longestSinceI = 0;
    GopPattern gop;                      // final only

    // The frames the scan saw: pictures for MPEG, video chunks for AVI.
    uint64_t FrameCount() const { return avi ? videoChunks : pictures; }
};

// What the statistics keep between calls for one file.
struct ScanDisplayState {
    int calls = 0;
    std::array<int64_t, 3> shareLines{-1, -1, -1};  // container notes lines replaced in place
};

// Panel captions and bars the statistics write.
inline constexpr std::string_view kScanStatusCaption = N_("Просмотр");
inline constexpr std::string_view kGopCaption = "GOP";
inline constexpr std::string_view kLargestFrameCaption = N_("Макс.кадр");
inline constexpr std::string_view kPictureTypeBar = N_("Типы кадров");
// The strip of the last pictures (the CLI's label for it).
inline constexpr std::string_view kLastPicturesCaption = N_("Последние 64");

void FrameScanStatistics(Display& display, const AnalysisRecords& records, const ScanFigures& scan,
                         ScanDisplayState& state);

// "N=%d (%d%%)", "%d max; N=%d, M=%d (%d%%)" or "%.1f avg / %d max"; empty without I pictures.
std::string GopText(const ScanFigures& scan);

}  // namespace torvo
