#include "analysis/VideoFormat.h"

namespace torvo {
namespace {

LampState Lit(bool on) { return on ? LampState::kLit : LampState::kDark; }

void SetFlagField(CExport& fields, const char* name, bool on, const char* text) {
    if (on) fields.SetField(name, 0, text);
}

}  // namespace

bool VideoFormatApplies(const ContainerInfo& c, const VideoInfo& v) {
    const bool kind = c.typeId == kTypeAvi || c.typeId == kTypeMpeg || c.typeId == kTypeFlv || v.dv ||
                      c.typeId == kTypeMp4 || c.typeId == kTypeQuickTime;
    return kind && c.videoCount >= 1;
}

BarGraph VopBar(const std::array<uint32_t, 4>& c) {
    BarGraph bar;
    const double total = double(c[0]) + c[1] + c[2] + c[3];
    if (c[0] == 0 || total == 0) return bar;
    const int s1 = static_cast<int>(100.0 * c[0] / total + 0.5);
    const int s2 = static_cast<int>(100.0 * (double(c[0]) + c[1]) / total + 0.5);
    bar.segments = {{0, s1, 0xD2E0FC}, {s1, s2, 0xFFD0D0}, {s2, 100, 0xE0FFE0}};
    return bar;
}

void ReportVideoFormat(Display& display, VideoInfo& v) {
    CExport& fields = display.Fields();
    // H.264 is named whenever it was seen, not only beside MPEG-4 Part 2.
    SetFlagField(fields, "VIDEO_H264", v.h264, "H264");
    if (v.mpeg4Vol) {
        display.SetLamp("MPG4", LampState::kLit);
        display.SetLamp("GMC", Lit(v.mpeg4Gmc));
        display.SetLamp("QPEL", Lit(v.mpeg4Qpel));
        display.SetLamp("BVOP", Lit(v.mpeg4BVop));
        display.SetLamp("NVOP", Lit(v.mpeg4NVop));
        fields.SetField("VIDEO_MPEG4", 0, "MPEG-4");
        SetFlagField(fields, "VIDEO_MPEG4_BVOP", v.mpeg4BVop, "B-VOP");
        SetFlagField(fields, "VIDEO_MPEG4_NVOP", v.mpeg4NVop, "N-VOP");
        SetFlagField(fields, "VIDEO_MPEG4_QPEL", v.mpeg4Qpel, "QPel");
        SetFlagField(fields, "VIDEO_MPEG4_GMC", v.mpeg4Gmc, "GMC");
        if (v.mpeg4VopCounts[0] != 0) display.SetBar("VOP", VopBar(v.mpeg4VopCounts));
    } else if (v.h264) {
        display.SetLamp("H264", LampState::kLit);
    } else if (v.mpeg2) {
        display.SetLamp("MPG2", LampState::kLit);
        display.SetLamp("I/L", Lit(v.mpeg2Interlaced));
        display.SetLamp("PROG", Lit(!v.mpeg2Interlaced));
        display.SetLamp("TFF", Lit(v.mpeg2Tff));
        display.SetLamp("BFF", Lit(v.mpeg2Bff));
        display.SetLamp("PPF", Lit(v.mpeg2Ppf));
        display.SetLamp("3:2", Lit(v.mpeg2Pulldown));
        fields.SetField("VIDEO_MPEG2", 0, "MPEG-2");
        SetFlagField(fields, "VIDEO_MPEG2_I_L", v.mpeg2Interlaced, "I/L");
        SetFlagField(fields, "VIDEO_MPEG2_PROG", !v.mpeg2Interlaced, "Prog");
        SetFlagField(fields, "VIDEO_MPEG2_TFF", v.mpeg2Tff, "TFF");
        SetFlagField(fields, "VIDEO_MPEG2_BFF", v.mpeg2Bff, "BFF");
        SetFlagField(fields, "VIDEO_MPEG2_3X2", v.mpeg2Pulldown, "3:2");
        SetFlagField(fields, "VIDEO_MPEG2_PPF", v.mpeg2Ppf, "PPF");
    } else if (v.dv) {
        display.SetLamp("3:2", LampState::kHidden);
        display.SetLamp("PPF", LampState::kHidden);
        display.SetLamp("16:9", Lit(v.dvWide));
        display.SetLamp("4:3", Lit(!v.dvWide));
        display.SetLamp("PAL", Lit(v.dvPal));
        display.SetLamp("NTSC", Lit(!v.dvPal));
        v.width = 720;
        v.height = v.dvPal ? 576 : 480;
        v.displayAspect = v.dvWide ? 16.0 / 9.0 : 4.0 / 3.0;
        v.pixelAspect = 0;
    }
}

}  // namespace torvo
