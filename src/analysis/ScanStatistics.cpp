#include "analysis/ScanStatistics.h"

#include "analysis/PlayingTime.h"
#include "base/SizeText.h"
#include "base/Text.h"
#include "analysis/FrameStatistics.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr int64_t kInterimThresholdMs = 1000;
constexpr int kRegularPerCent = 51;

BarGraph PictureTypeBar(const ScanFigures& s, uint64_t total) {
    const uint64_t i = s.byType[kPictureI], p = s.byType[kPictureP], b = s.byType[kPictureB];
    const int iEnd = static_cast<int>(i * 100 / total), pEnd = static_cast<int>((i + p) * 100 / total);
    const int bEnd = static_cast<int>((i + p + b) * 100 / total);
    BarGraph bar;
    bar.segments = {{0, iEnd, PictureTypeColour(kPictureI)},
                    {iEnd, pEnd, PictureTypeColour(kPictureP)},
                    {pEnd, bEnd, PictureTypeColour(kPictureB)},
                    {bEnd, 100, PictureTypeColour(kPictureS)}};
    return bar;
}

double PerCent(uint64_t part, uint64_t whole) { return whole ? double(part) * 100.0 / double(whole) : 0.0; }

void ShareLines(Display& display, const AnalysisRecords& records, const ScanFigures& s, ScanDisplayState& state) {
    const bool dv = records.video.dv || records.video.dvInfo.present;
    const uint64_t size = s.fileSize;
    const uint64_t used = s.videoBytes + s.audioBytes;
    const uint64_t rest = size > used ? size - used : 0;
    const std::string lines[3] = {
        Format("%s: %s (%.2f%%)", dv ? N_("DV аудио/видео") : N_("Видео"), LargestUnitSizeText(s.videoBytes).c_str(),
               PerCent(s.videoBytes, size)),
        Format("%s: %s (%.2f%%)", dv ? "AVI Copy of DV Audio" : N_("аудио"), LargestUnitSizeText(s.audioBytes).c_str(),
               PerCent(s.audioBytes, size)),
        Format("AVI Overhead: %s%s (%.2f%%)", s.final ? "" : "~ ", LargestUnitSizeText(rest).c_str(),
               PerCent(rest, size))};
    const int colour = s.final ? kColourMpegSummary : kColourWarning;
    NotesList& notes = display.Container();
    for (size_t k = 0; k < 3; ++k) {
        if (state.shareLines[k] >= 0) notes.Replace(static_cast<size_t>(state.shareLines[k]), lines[k], colour);
        else state.shareLines[k] = static_cast<int64_t>(notes.Add(lines[k], colour));
    }
}

}  // namespace

std::string GopText(const ScanFigures& s) {
    const GopPattern& g = s.gop;
    if (g.gopLength > 0 && g.regularity >= kRegularPerCent) {
        if (g.bSpacing < 2) return Format("N=%d (%d%%)", g.gopLength, g.regularity);
        return Format("%d max; N=%d, M=%d (%d%%)", static_cast<int>(s.longestSinceI), g.gopLength, g.bSpacing,
                      g.regularity);
    }
    const uint64_t iPictures = s.byType[kPictureI];
    if (iPictures == 0) return {};
    return Format("%.1f avg / %d max", double(s.pictures) / double(iPictures), static_cast<int>(s.longestSinceI));
}

void FrameScanStatistics(Display& display, const AnalysisRecords& records, const ScanFigures& s,
                         ScanDisplayState& state) {
    ++state.calls;
    Panel& panel = display.VideoPanel();
    if (s.failed) {
        panel.Set(kScanStatusCaption, N_("Не могу обработат"));
        return;
    }
    if (s.final) panel.Remove(kScanStatusCaption);
    else if (s.elapsedMs > kInterimThresholdMs && s.speedKiBps > 0)
        panel.Set(kScanStatusCaption, Format(N_("просмотр @ %d MБ/с..."), s.speedKiBps / 1024));

    const uint64_t typed = s.pictures;
    if (s.recordedPictures && typed > 0) {
        display.SetBar(kPictureTypeBar, PictureTypeBar(s, typed));
        display.SetLastPictures(s.lastPictures);
        if (const std::string gop = GopText(s); !gop.empty()) panel.Set(kGopCaption, gop);
    }
    if (s.largestFrame > 0) panel.Set(kLargestFrameCaption, Format("%llu max", static_cast<unsigned long long>(s.largestFrame)));

    const PictureFigures f = CollectPictureFigures(records.video);
    const uint64_t frames = s.FrameCount();
    if (f.usPerFrame > 0 && frames > 0) {
        const double rate = 1000000.0 / f.usPerFrame;
        const int64_t d = FramesPlayingTimeMs(frames, f.usPerFrame);
        const std::string text = DurationText(d);
        display.Fields().SetField("VIDEO_DURATION", 0, text);
        panel.Set(N_("Время"), text);
        // The frames counted time the file better than its headers could,
        // unless the container states its own time.
        if (records.container.durationMs <= 0 && d > FilePlayingTime(records)) ReportFilePlayingTime(display, d);
        const int64_t kbps = d > 0 ? static_cast<int64_t>(s.videoBytes * 8 / uint64_t(d)) : 0;
        ShowVideoBitrate(display, kbps);
        const bool sized = f.width > 0 && f.width <= 65535 && f.height > 0 && f.height <= 65535;
        if (sized) ShowQualityFactor(display, kbps, f.width, f.height, rate);
    }
    ShowFrameCount(display, static_cast<int64_t>(frames));
    if (s.avi && (s.final || state.calls % 4 == 0)) ShareLines(display, records, s, state);
}

}  // namespace torvo
