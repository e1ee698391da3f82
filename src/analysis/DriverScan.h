// The driver's side of the full scan: whether a file is scanned and with
// which parameters, and the statistics figures of a running or finished scan.
#pragma once

#include <optional>
#include <string>

#include "analysis/FastScan.h"
#include "analysis/Records.h"
#include "formats/riff/ScanStatistics.h"

namespace torvo {

// The scan parameters for an analysed file, or none when the file is not
// scanned: at most one top-level RIFF chunk, an MPEG file that is not a
// transport stream or an AVI file, and at least one video stream.
std::optional<FastScanParams> ScanParamsFor(const AnalysisRecords& records, const std::string& path);

// The figures of a running scan (interim) or of one that has ended (final).
ScanFigures InterimFigures(const CFastScan& scan);
ScanFigures FinalFigures(const CFastScan& scan);

}  // namespace torvo
