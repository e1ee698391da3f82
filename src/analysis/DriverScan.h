// The driver's side of the full scan: whether a file is scanned and with
// which parameters, and the statistics figures of a running or finished scan.
#pragma once

#include <optional>
#include <string>

#include "analysis/FastScan.h"
#include "records/Records.h"
#include "analysis/ScanStatistics.h"
#include "formats/vgs/FrameLayout.h"

namespace torvo {

// The scan parameters for an analysed file, or none when the file is not
// scanned: at most one top-level RIFF chunk, an MPEG file that is not a
// transport stream or an AVI file, and at least one video stream.
std::optional<FastScanParams> ScanParamsFor(const AnalysisRecords& records, const std::string& path);

// What a finished scan found, for reports.
struct ScanSummary {
    uint64_t pictures = 0, i = 0, p = 0, b = 0, other = 0;
    int gopLength = 0, bSpacing = 0, gopRegularity = 0;
    uint32_t longestBRun = 0, longestIDistance = 0;
    uint64_t largestFrame = 0;
    std::string frameTypes;  // one letter per picture in coded order: I, P, B, D, S
    uint64_t videoBytes = 0, audioBytes = 0;
    int64_t readKiBps = 0;   // over the last eight cycles, or the whole scan when it was shorter
    bool failed = false;
};
ScanSummary SummariseScan(const CFastScan& scan);

// Whether an ended scan recorded pictures (the VGS window has something to show).
bool ScanHasPictures(const CFastScan* scan);
// The VGS drawing of an ended scan's pictures; it reads the scan's frame
// list, so the scan must outlive it.
CFrameLayout FrameLayoutOf(const CFastScan& scan, const VideoInfo& video);

// The figures of a running scan (interim) or of one that has ended (final).
ScanFigures InterimFigures(const CFastScan& scan);
ScanFigures FinalFigures(const CFastScan& scan);

}  // namespace torvo
