// The video summary: rates, sizes, aspect ratios, duration and the match
// against the standard target formats, from the decoded video values; and the
// video codec step, which names the codec and its status.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// "16:9" when x is that fraction (n <= 60, d <= 29) to within 1e-6, else
// "~n:d" for the first fraction within 0.01, else empty. The pair reads in the
// direction of x: 0.75 gives "3:4".
std::string RatioName(double x, bool* exact = nullptr);

// Runs the video summary of one file (at least one video stream was found).
void VideoSummary(Display& display, const AnalysisRecords& records);

// What the codec database says about a video FourCC.
struct VideoCodecEntry {
    std::string name;
    std::string flags;  // a leading '*' marks a format that needs no codec
};

struct VideoCodecLookup {
    // The database entry for a FourCC ("XVID"), if it has one.
    std::function<std::optional<VideoCodecEntry>(std::string_view fourcc)> byFourcc;
    // The codec named by the first mapping key found in the user data lines.
    std::function<std::optional<std::string>(const std::vector<std::string>& userDataLines)> byUserData;
};

struct VideoCodecFacts {
    std::string type;  // VIDEO_CODEC_TYPE
    std::string name;  // VIDEO_CODEC_NAME
    int status = 0;    // codec status code
};

// Type, name and status of the video codec. `codecInfo` is the codec
// interaction preference; `mpegVersionCode` the MPEG video record's version
// code (2 MPEG-1, 3 MPEG-2, 6 H.264) for MPEG files.
// statusQuestion answers the status when a codec is needed and codec
// interaction is on (undetermined without it).
VideoCodecFacts IdentifyVideoCodec(const AnalysisRecords& records, const VideoCodecLookup& lookup, bool codecInfo,
                               int mpegVersionCode, const std::function<int()>& statusQuestion = {});
// Stores and shows them; returns the status code.
int VideoCodecStep(Display& display, const AnalysisRecords& records, const VideoCodecLookup& lookup, bool codecInfo,
                    int mpegVersionCode, const std::function<int()>& statusQuestion = {});

}  // namespace torvo
