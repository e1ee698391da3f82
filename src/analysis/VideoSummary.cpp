#include "analysis/VideoSummary.h"

#include <cmath>

#include "analysis/AudioDescription.h"
#include "analysis/Identify.h"
#include "base/NumberRange.h"
#include "base/Text.h"
#include "analysis/ContainerReport.h"
#include "analysis/FrameStatistics.h"
#include "formats/riff/SupAvi.h"
#include "inventory/CodecStatus.h"
#include "resize/ResizeCalculator.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr const char* kVersionNames[] = {N_("Не знаю"), N_("Не знаю"), "MPEG-1", "MPEG-2", "MPEG \"2.5\"", "MPEG-4", "H.264/AVC"};
// Names of the uncompressed BITMAPINFOHEADER compressions (BI_RGB ...).
constexpr const char* kUncompressedNames[] = {"RGB", "RLE8", "RLE4", "BITFIELDS"};
constexpr const char* kTargetNames[] = {"VCD", "SVCD", "CVD", "DVD"};

bool InRange(int v) { return v >= 1 && v <= 65535; }

std::string Ratio(double x) { return Format("%.3f", x); }

void ShowRatio(Display& display, const char* field, const char* caption, double value) {
    if (value <= 0) return;
    display.Fields().SetField(field, 0, Ratio(value));
    display.VideoPanel().Set(caption, Ratio(value) + " (" + RatioName(value) + ")");
}

// The match against the standard formats and the ten conversion fields.
void TargetFormats(Display& display, int32_t usPerFrame, int width, int height, double dar) {
    if (width <= 0 || height <= 0 || dar <= 0) return;
    ResizeRecord r;
    r.usPerFrame = usPerFrame;
    r.width = width;
    r.height = height;
    r.pixelAspect = dar * height / width;
    r.target = kTargetClassify;
    if (!ComputeResize(r)) return;

    CExport& fields = display.Fields();
    const bool pal = r.system == kTvPal, wide = r.aspect == kAspectWide;
    display.SetLamp("PAL", pal ? LampState::kLit : LampState::kDark);
    display.SetLamp("NTSC", pal ? LampState::kDark : LampState::kLit);
    display.SetLamp("16:9", wide ? LampState::kLit : LampState::kDark);
    display.SetLamp("4:3", wide ? LampState::kDark : LampState::kLit);
    if (r.sourceRow >= 0 && r.sourceRow < 4) {
        const char* name = kTargetNames[r.sourceRow];
        display.VideoPanel().Set(N_("Преобразов."), Format(N_("Нет, уже в формате %s  "), name));
        fields.SetField("VIDEO_ASPECT_SOURCE_MATCH", 0, name);
    }
    fields.SetField(pal ? "VIDEO_ASPECT_TYPE_PAL" : "VIDEO_ASPECT_TYPE_NTSC", 0, pal ? "PAL" : "NTSC");

    // The panel's own choice follows the source: its TV system and framing.
    r.targetSystem = r.system;
    r.anamorphic = wide;
    display.SetConversionSource(r);
    // A target the calculator does not rewrite shows empty lines rather
    // than those of the target before it.
    auto run = [&](int target, const std::string& key) {
        r.target = target;
        r.resizeLine.clear();
        r.padTrimLine.clear();
        ComputeResize(r);
        fields.SetField("VIDEO_ASPECT_CONVERT_" + key + "1", 0, r.resizeLine);
        fields.SetField("VIDEO_ASPECT_CONVERT_" + key + "2", 0, r.padTrimLine);
    };
    for (int target = 0; target < 4; ++target) run(target, kTargetNames[target]);
    run(kTargetSquare, "AVI");
    display.VideoPanel().Set("1", r.resizeLine);
    display.VideoPanel().Set("2", r.padTrimLine);
}

}  // namespace

std::string RatioName(double x, bool* exact) {
    if (exact) *exact = false;
    if (!(x > 0) || !std::isfinite(x)) return {};
    const double b = x >= 1 ? x : 1 / x;
    int bestN = 0, bestD = 0, closeN = 0, closeD = 0;
    double best = INFINITY;
    bool done = false;
    for (int n = 1; n <= 60 && !done; ++n) {
        for (int d = 1; d <= std::min(n, 29) && !done; ++d) {
            const double diff = std::fabs(double(n) / d - b);
            if (diff < best) best = diff, bestN = n, bestD = d;
            if (diff < 0.01 && closeN == 0) closeN = n, closeD = d;
            done = diff <= 0.000001;
        }
    }
    auto name = [x](int n, int d) { return x > 1 ? Format("%d:%d", n, d) : Format("%d:%d", d, n); };
    if (best <= 0.000001) {
        if (exact) *exact = true;
        return name(bestN, bestD);
    }
    return closeN ? "~" + name(closeN, closeD) : std::string();
}

// The matrix coefficients of the sequence display extension light one lamp.
void ShowMatrixLamps(Display& display, int32_t matrixCoefficients) {
    constexpr std::pair<int32_t, const char*> kMatrixLamps[] = {
        {1, "I709"}, {4, "FCC"}, {5, "I470"}, {6, "S170"}, {7, "S240"}};
    for (const auto& [code, caption] : kMatrixLamps)
        display.SetLamp(caption, code == matrixCoefficients ? LampState::kLit : LampState::kDark);
}

void VideoSummary(Display& display, const AnalysisRecords& records) {
    const VideoInfo& v = records.video;
    const ContainerInfo& c = records.container;
    const PictureFigures f = CollectPictureFigures(v);
    CExport& fields = display.Fields();
    Panel& panel = display.VideoPanel();

    ShowVideoBitrate(display, f.bitrateKbps);

    double fps = 0;
    if (f.usPerFrame > 0) {
        fps = 1000000.0 / f.usPerFrame;
        double pictures = fps, fieldRate = 0;
        const bool interlaced = v.mpeg2Interlaced || v.dvInfo.interlacedDv;
        if (interlaced) {
            const auto e = (static_cast<int64_t>(2000000000.0 / f.usPerFrame) + 1) & ~int64_t(1);
            fieldRate = double(e) / 1000;
            if (v.mpeg2Pulldown) pictures = 0.8 * fps;
        }
        fields.SetField("VIDEO_FRAMES_PER_SEC", 0, Format("%.3f", fps));
        panel.Set(N_("кадр/сек"), Format("%.3f", fps));
        if (fieldRate > 0) {
            fields.SetField("VIDEO_FIELDS_PER_SEC", 0, Format("%.3f", fieldRate));
            panel.Set(N_("полей/сек"), Format("%.3f", fieldRate));
        }
        fields.SetField("VIDEO_PICS_PER_SEC", 0, Format("%.3f", pictures));
        panel.Set(N_("карт/сек"), Format("%.3f", pictures));
    }

    const bool sized = InRange(f.width) && InRange(f.height);
    if (sized) {
        fields.FormatField("VIDEO_SIZE_X", 0, "%d", f.width);
        fields.FormatField("VIDEO_SIZE_Y", 0, "%d", f.height);
        panel.Set(N_("Кадр (ш x в)"), Format("%d x %d", f.width, f.height));
        ShowQualityFactor(display, f.bitrateKbps, f.width, f.height, fps);
    }

    // The MPEG-2 sequence display extension's size, else the size H.264 frame cropping leaves.
    const Mpeg2Summary& m2 = v.mpeg2Summary;
    const VideoHeader& h264 = v.headers[kHeaderH264];
    if (InRange(m2.displayWidth) && InRange(m2.displayHeight))
        panel.Set("seq ext", Format("%d x %d", m2.displayWidth, m2.displayHeight));
    else if (v.h264 && InRange(h264.croppedWidth) && InRange(h264.croppedHeight))
        panel.Set("seq ext", Format("%d x %d", h264.croppedWidth, h264.croppedHeight));

    int64_t frames = f.frameCount;
    // Containers hold playing times up to the largest 64-bit count: scaled in 128 bits.
    if (frames == 0 && f.durationMs > 0 && f.usPerFrame > 0)
        frames = SaturatingInt64(ScaleSaturating(uint64_t(f.durationMs), 1000, uint64_t(f.usPerFrame)));
    ShowFrameCount(display, frames);

    const double sar = sized ? double(f.width) / f.height : 0;
    double par = f.pixelAspect, dar = f.displayAspect;
    if (sar > 0) {
        if (dar == 0) dar = par * sar;
        if (par == 0) par = dar / sar;
    }
    if (dar == 0 && c.declaredWidth > 0 && c.declaredHeight > 0) dar = double(c.declaredWidth) / c.declaredHeight;
    ShowRatio(display, "VIDEO_SAR", "sar", sar);
    ShowRatio(display, "VIDEO_PAR", "par", par);
    ShowRatio(display, "VIDEO_DAR", "dar", dar);
    if (v.headers[kHeaderMpegVideo].present) ShowMatrixLamps(display, m2.matrixCoefficients);

    if (c.typeId == kTypeFlv) AddFlvCompatibilityLines(display, records);
    FrameScanStatistics(display, records, f, fps, frames);
    if (sized) TargetFormats(display, f.usPerFrame, f.width, f.height, dar);
}

VideoCodecFacts IdentifyVideoCodec(const AnalysisRecords& records, const VideoCodecLookup& lookup, bool codecInfo,
                                   int mpegVersionCode, const std::function<int()>& statusQuestion) {
    const VideoInfo& v = records.video;
    const int32_t type = records.container.typeId;
    VideoCodecFacts facts;
    // FourCCs below 4 are the uncompressed BITMAPINFOHEADER kinds.
    const uint32_t compression = v.fourcc >= 4 ? v.fourcc : 0;
    uint32_t lookupFourcc = compression;
    bool byHandler = type == kTypeAvi && v.handler != 0;
    if (type == kTypeMpeg) {
        if (mpegVersionCode == 2) facts.type = "MPEG1";
        else if (mpegVersionCode == 3) facts.type = "MPEG2";
        else if (mpegVersionCode == 6) facts.type = "H264";
        if (!facts.type.empty()) facts.name = kVersionNames[mpegVersionCode];
        // An HEVC elementary stream: its profile and level name it.
        else if (v.hevc) facts.type = "HEVC", facts.name = v.codecName;
    } else if (type == kTypeDvIec61834 || type == kTypeDvSmpte314M) {
        facts.type = "DV/DVC";
        facts.name = type == kTypeDvSmpte314M ? "DV (SMPTE 314M)" : "DV (IEC 61834)";
    } else if (type == kTypeFlv) {
        facts.type = FlvVideoCodecType(v.flvCodecId);
        facts.name = FlvVideoCodecName(v.flvCodecId);
    } else if (compression) {
        const std::string handler = FourccText(v.handler);
        facts.type = FourccText(compression);
        if (facts.type == "DIV4" && handler == "DIV3") {
            // DivX 3 "fast motion" files: named as DIV4, reported as DIV3.
            facts.type = "DIV3";
            byHandler = false;
        } else if (facts.type == "FFDS" && handler == "FFV1") {
            lookupFourcc = v.handler;
            facts.type = handler;
        }
    } else if (type == kTypeAvi) {
        facts.type = FourccText(v.handler) + "(" + kUncompressedNames[v.fourcc & 3] + ")";
    }

    std::optional<VideoCodecEntry> entry;
    if (lookup.byFourcc) {
        if (byHandler) entry = lookup.byFourcc(FourccText(v.handler));
        if (!entry && lookupFourcc) entry = lookup.byFourcc(FourccText(lookupFourcc));
    }
    // QuickTime files name their video through QuickTime's own codec list first.
    if (facts.name.empty() && type == kTypeQuickTime) facts.name = QuickTimeVideoCodecName(v.fourcc);
    if (facts.name.empty()) {
        std::optional<std::string> mapped;
        if (lookup.byUserData) mapped = lookup.byUserData(records.container.userDataLines);
        if (mapped) facts.name = *mapped;
        else if (entry) facts.name = entry->name;
    }
    // Codecs the container names in words: by that name, also as the type when there is no FourCC.
    if (facts.name.empty()) facts.name = v.codecName;
    if (facts.type.empty()) facts.type = v.codecName;
    if ((entry && entry->flags.starts_with("*")) || IsUncompressedVideo(records)) facts.status = kStatusNotNeeded;
    else if (!codecInfo) facts.status = kStatusDisabled;
    else facts.status = statusQuestion ? statusQuestion() : kStatusUndetermined;
    return facts;
}

int VideoCodecStep(Display& display, const AnalysisRecords& records, const VideoCodecLookup& lookup, bool codecInfo,
                    int mpegVersionCode, const std::function<int()>& statusQuestion) {
    const VideoCodecFacts facts = IdentifyVideoCodec(records, lookup, codecInfo, mpegVersionCode, statusQuestion);
    CExport& fields = display.Fields();
    fields.SetField("VIDEO_CODEC_TYPE", 0, facts.type);
    fields.SetField("VIDEO_CODEC_NAME", 0, facts.name);
    const StatusTexts texts = TextsForStatus(facts.status);
    fields.SetField("VIDEO_CODEC_STATUS", 0, texts.field);
    Panel& panel = display.VideoPanel();
    panel.Set(N_("Кодек"), facts.type);
    panel.Set(N_("Имя"), facts.name);
    panel.Set(N_("Сост."), texts.field, static_cast<int>(texts.colour));
    return facts.status;
}

}  // namespace torvo
