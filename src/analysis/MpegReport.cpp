#include "analysis/MpegReport.h"

#include <array>

#include "base/Text.h"
#include "formats/mpeg/SupDV.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr std::array<const char*, 8> kKindLabels = {
    N_("нет "), N_("Элементное видео MPEG"), N_("Элементный звук  MPEG"), N_("Системн.поток MPEG-1"),
    N_("Програмн.поток MPEG-2"), N_("Транспортн.поток MPEG-2"), N_("нет "), N_("Не знаю")};

LampState Lit(bool on) { return on ? LampState::kLit : LampState::kDark; }

// Stores text under the field when on, else the empty text.
void Flag(CExport& fields, std::string_view name, bool on, std::string_view text) {
    fields.SetField(name, 0, on ? text : std::string_view());
}

void ReportMpeg4(Display& display, const VideoInfo& video) {
    const Mpeg4Summary& s = video.mpeg4Summary;
    const bool gmc = video.mpeg4Gmc, qpel = video.mpeg4Qpel, bvop = video.mpeg4BVop;
    const bool placeholders = s.zeroTimeNvops > 0, duplicates = s.nonZeroTimeNvops > 0 || video.mpeg4NVop;
    display.SetLamp("MPG4", LampState::kLit);
    display.SetLamp("GMC", Lit(gmc));
    display.SetLamp("QPEL", Lit(qpel));
    display.SetLamp("BVOP", Lit(bvop));
    display.SetLamp("NVOP", Lit(placeholders || duplicates));
    display.SetLamp("PVOP", Lit(s.hasP || video.mpeg4VopCounts[1] > 0));
    display.SetLamp("PB", Lit(placeholders));
    display.SetLamp("DF", Lit(duplicates));
    CExport& fields = display.Fields();
    fields.SetField("VIDEO_MPEG4", 0, "MPEG-4");
    Flag(fields, "VIDEO_MPEG4_BVOP", bvop, "B-VOP");
    Flag(fields, "VIDEO_MPEG4_NVOP", duplicates, "N-VOP");
    Flag(fields, "VIDEO_MPEG4_QPEL", qpel, "QPel");
    Flag(fields, "VIDEO_MPEG4_GMC", gmc, "GMC");
    if (video.mpeg4VopCounts[0] != 0) display.SetBar("VOP", VopBar(video.mpeg4VopCounts));
}

void ReportMpeg2(Display& display, const Mpeg2Summary& s) {
    display.SetLamp("MPG2", LampState::kLit);
    display.SetLamp("I/L", Lit(s.interlaced));
    display.SetLamp("PROG", Lit(!s.interlaced));
    display.SetLamp("TFF", Lit(s.tff));
    display.SetLamp("BFF", Lit(s.bff));
    display.SetLamp("PPF", Lit(s.ppf));
    display.SetLamp("3:2", Lit(s.pulldown32));
    CExport& fields = display.Fields();
    fields.SetField("VIDEO_MPEG2", 0, "MPEG-2");
    Flag(fields, "VIDEO_MPEG2_I_L", s.interlaced, "I/L");
    Flag(fields, "VIDEO_MPEG2_PROG", !s.interlaced, "Prog");
    Flag(fields, "VIDEO_MPEG2_TFF", s.tff, "TFF");
    Flag(fields, "VIDEO_MPEG2_BFF", s.bff, "BFF");
    Flag(fields, "VIDEO_MPEG2_3X2", s.pulldown32, "3:2");
    Flag(fields, "VIDEO_MPEG2_PPF", s.ppf, "PPF");
}

void ReportDv(Display& display, const DvInfo& dv) {
    display.SetLamp("I/L", Lit(dv.interlacedDv));
    display.SetLamp("PROG", Lit(!dv.interlacedDv));
    // The first/second flag tells which field comes first.
    display.SetLamp("TFF", Lit(dv.interlacedDv && dv.firstSecond));
    display.SetLamp("BFF", Lit(dv.interlacedDv && !dv.firstSecond));
    display.SetLamp("PPF", LampState::kHidden);
    display.SetLamp("3:2", LampState::kHidden);
    display.SetLamp("16:9", Lit(dv.wide));
    display.SetLamp("4:3", Lit(!dv.wide));
    display.SetLamp("PAL", Lit(dv.pal));
    display.SetLamp("NTSC", Lit(!dv.pal));
}

}  // namespace

std::string MpegSummaryLine(const ContainerInfo& c) {
    std::string line;
    if (c.cdImage) line += "ISO << ";
    if (c.mpegInCdxa) line += "CDXA << ";
    const size_t kind = static_cast<size_t>(c.layout);
    line += kind < kKindLabels.size() ? kKindLabels[kind] : kKindLabels[0];
    if (c.videoCount + c.audioCount + c.otherCount > 0) {
        line += " << { ";
        if (c.videoCount > 0) line += Format(N_("%d вид, "), c.videoCount);
        if (c.audioCount > 0) line += Format(N_("%d ауд, "), c.audioCount);
        if (c.otherCount > 0) line += Format(N_("%d иных,  "), c.otherCount);
        if (line.ends_with(", ")) line.replace(line.size() - 2, 2, " }");
    }
    return line;
}

void ReportMpegSummary(Display& display, const AnalysisRecords& records) {
    if (records.container.dvdFormat) display.Container().Add(N_("Формат DVD \"VOB\""), kColourMpegSummary);
    display.Container().Add(MpegSummaryLine(records.container), kColourMpegSummary);
}

VideoFormatCase ReportVideoFormat(Display& display, const AnalysisRecords& records) {
    const ContainerInfo& c = records.container;
    const VideoInfo& video = records.video;
    const bool rawDv = video.dv || video.headers[kHeaderRawDv].present;
    const bool typeShowsVideo = c.typeId == kTypeAvi || c.typeId == kTypeMpeg || c.typeId == kTypeFlv ||
                                c.typeId == kTypeMp4 || c.typeId == kTypeQuickTime ||
                                c.typeId == kTypeTransportStream || c.typeId == kTypeMatroska || rawDv;
    if (!typeShowsVideo || c.videoCount < 1) return VideoFormatCase::kNone;
    // H.264 is named whenever it was seen, beside MPEG-4 Part 2 or not.
    Flag(display.Fields(), "VIDEO_H264", video.h264, "H264");
    if (video.mpeg4Vol) {
        ReportMpeg4(display, video);
        return VideoFormatCase::kMpeg4;
    }
    if (video.h264) {
        display.SetLamp("H264", LampState::kLit);
        return VideoFormatCase::kH264;
    }
    if (video.mpeg2Summary.seen) {
        ReportMpeg2(display, video.mpeg2Summary);
        return VideoFormatCase::kMpeg2;
    }
    if (rawDv) {
        ReportDv(display, video.dvInfo);
        return VideoFormatCase::kRawDv;
    }
    return VideoFormatCase::kNone;
}

BarGraph VopBar(const std::array<uint32_t, 4>& c) {
    BarGraph bar;
    const double total = double(c[0]) + c[1] + c[2] + c[3];
    if (c[0] == 0 || total == 0) return bar;
    // Rounding adds a half and truncates.
    const int s1 = static_cast<int>(100.0 * c[0] / total + 0.5);
    const int s2 = static_cast<int>(100.0 * (double(c[0]) + c[1]) / total + 0.5);
    bar.segments = {{0, s1, 0xD2E0FC}, {s1, s2, 0xFFD0D0}, {s2, 100, 0xE0FFE0}};
    return bar;
}

void ApplyDvPicture(VideoInfo& video) {
    video.width = 720;
    video.height = video.dvInfo.pal ? 576 : 480;
    video.displayAspect = video.dvInfo.wide ? 16.0 / 9.0 : 4.0 / 3.0;
    video.pixelAspect = 0;
}

void ApplyRawDvTiming(VideoInfo& video, uint64_t fileLength) {
    // Raw DV is nothing but frames of a fixed size: 12 DIF sequences at 25
    // frames/s for the 625-line system, 10 at 30000/1001 for the 525-line one.
    const uint64_t frameBytes = (video.dvInfo.pal ? 12 : 10) * CSupDV::kSequenceBytes;
    video.usPerFrame = video.dvInfo.pal ? 40000 : 33367;
    video.frameCount = static_cast<int64_t>(fileLength / frameBytes);
    video.durationMs = video.dvInfo.pal ? video.frameCount * 40 : video.frameCount * 1001 / 30;
}

}  // namespace torvo
