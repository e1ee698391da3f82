#include "analysis/FrameStatistics.h"

#include <algorithm>

#include "base/SizeText.h"
#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
namespace {

// The container's value, else the first alternative that has one: the
// container's other headers, then what the stream parsers decoded (MPEG
// video, H.264, DV; negative values there mean "unknown").
template <typename T>
T FirstNonZero(T main, const VideoInfo& v, T PictureRecord::*field) {
    if (main != T{}) return main;
    for (const PictureRecord& alt : v.altPictures)
        if (alt.*field != T{}) return alt.*field;
    return T{};
}

template <typename T, typename H>
T FirstNonZero(T main, const VideoInfo& v, T PictureRecord::*field, H VideoHeader::*decoded) {
    if (const T value = FirstNonZero(main, v, field); value != T{}) return value;
    for (const VideoHeader& header : v.headers)
        if (header.*decoded > H{}) return static_cast<T>(header.*decoded);
    return T{};
}

}  // namespace

PictureFigures CollectPictureFigures(const VideoInfo& v) {
    PictureFigures f;
    f.usPerFrame = FirstNonZero(v.usPerFrame, v, &PictureRecord::usPerFrame, &VideoHeader::frameDurationUs);
    f.bitrateKbps = FirstNonZero(v.bitrateKbps, v, &PictureRecord::bitrateKbps, &VideoHeader::bitrateKbps);
    f.durationMs = FirstNonZero(v.durationMs, v, &PictureRecord::durationMs, &VideoHeader::durationMs);
    f.frameCount = FirstNonZero(v.frameCount, v, &PictureRecord::frameCount);
    f.width = FirstNonZero(v.width, v, &PictureRecord::width, &VideoHeader::width);
    f.height = FirstNonZero(v.height, v, &PictureRecord::height, &VideoHeader::height);
    f.pixelAspect = FirstNonZero(v.pixelAspect, v, &PictureRecord::pixelAspect, &VideoHeader::pixelAspect);
    f.displayAspect = FirstNonZero(v.displayAspect, v, &PictureRecord::displayAspect, &VideoHeader::displayAspect);
    return f;
}

int64_t FramesPlayingTimeMs(uint64_t frames, int32_t usPerFrame) {
    if (usPerFrame <= 0 || frames == 0) return 0;
    const double rate = 1000000.0 / usPerFrame;
    return static_cast<int64_t>((double(frames) * 1000 + rate / 2) / rate);
}

std::string DurationText(int64_t ms) {
    if (ms < 0) return {};
    if (ms < 3600000)
        return Format("%d:%02d.%03d", static_cast<int>(ms / 60000), static_cast<int>(ms / 1000 % 60),
                      static_cast<int>(ms % 1000));
    const int64_t s = ms / 1000 + (ms % 1000 >= 500);  // rounded, without ms + 500 overflowing
    return Format("%lld:%02d:%02d", static_cast<long long>(s / 3600), static_cast<int>(s / 60 % 60),
                  static_cast<int>(s % 60));
}

int64_t EstimateVideoBitrate(const AnalysisRecords& records, int64_t d) {
    int64_t audio = 0;
    for (const int slot : records.audioList) {
        const StreamInfo* s = slot >= 0 ? records.StreamIf(static_cast<size_t>(slot)) : nullptr;
        if (!s) break;
        int32_t kbps = 0;
        for (const AudioResult& r : s->audio)
            if (kbps <= 0 && r.bitrateKbps > 0) kbps = r.bitrateKbps;
        for (const AudioResult& r : s->audio)
            if (kbps <= 0 && r.secondBitrateKbps > 0) kbps = r.secondBitrateKbps;
        audio += std::max(kbps, 0);
    }
    const ContainerInfo& c = records.container;
    if (c.bitrateKbps > audio) return c.bitrateKbps - audio;
    const auto declared = static_cast<int64_t>(std::min<uint64_t>(c.declaredLength, INT64_MAX));
    const int64_t media = declared > 0 ? declared : static_cast<int64_t>(std::min<uint64_t>(c.fileSize, INT64_MAX));
    if (d <= 0 || d > INT64_MAX / 125 || audio > INT64_MAX / 125 / d) return 0;
    const int64_t audioBytes = audio * d * 125 / 1000;
    if (audioBytes > media || (media - audioBytes) > INT64_MAX / 1000) return 0;
    return (media - audioBytes) * 1000 / (d * 125);
}

void ShowVideoBitrate(Display& display, int64_t kbps) {
    if (kbps <= 0) return;
    const std::string text = Format("%lld", static_cast<long long>(kbps));
    display.Fields().SetField("VIDEO_BITRATE", 0, text);
    display.VideoPanel().Set(N_("кб/с"), text);
}

void ShowFrameCount(Display& display, int64_t frames) {
    if (frames <= 0) return;
    display.Fields().FormatField("VIDEO_FRAME_COUNT", 0, "%lld", static_cast<long long>(frames));
    display.VideoPanel().Set(N_("Кадров"), ByteCountText(static_cast<uint64_t>(frames)));
}

void ShowQualityFactor(Display& display, int64_t kbps, int width, int height, double fps) {
    if (kbps <= 0 || width <= 0 || height <= 0 || fps <= 0) return;
    const std::string text = Format("%.3f", double(kbps) * 1000 / (double(width) * height) / fps);
    display.Fields().SetField("VIDEO_QF", 0, text);
    display.VideoPanel().Set(N_("КК"), text);
}

void FrameScanStatistics(Display& display, const AnalysisRecords& records, const PictureFigures& f, double fps,
                         int64_t frameCount) {
    const int64_t d = f.durationMs;
    if (d > 0) {
        const std::string text = DurationText(d);
        display.Fields().SetField("VIDEO_DURATION", 0, text);
        display.VideoPanel().Set(N_("Время"), text);
    }
    const int64_t kbps = f.bitrateKbps > 0 ? f.bitrateKbps : EstimateVideoBitrate(records, d);
    ShowVideoBitrate(display, kbps);
    ShowFrameCount(display, frameCount);
    const bool sized = f.width > 0 && f.width <= 65535 && f.height > 0 && f.height <= 65535;
    if (sized) ShowQualityFactor(display, kbps, f.width, f.height, fps);
}

}  // namespace torvo
