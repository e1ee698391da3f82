#include "analysis/ContainerSummary.h"

#include <cmath>
#include <ctime>

#include "analysis/SizeText.h"
#include "analysis/Text.h"

namespace torvo {
namespace {

constexpr const char* kLayoutLabels[] = {
    "нет ",                     // none
    "Элементное видео MPEG",    // video elementary stream
    "Элементный звук  MPEG",    // audio elementary stream
    "Системн.поток MPEG-1",
    "Програмн.поток MPEG-2",
    "Транспортн.поток MPEG-2",
    "нет ",                     // elementary streams in an MP4 track
    "Не знаю",                  // raw DV
};

}  // namespace

std::string MpegSummaryLine(const ContainerInfo& c) {
    std::string line;
    if (c.cdImage) line += "ISO << ";
    if (c.mpegInCdxa) line += "CDXA << ";
    const auto layout = static_cast<size_t>(c.layout);
    line += layout < std::size(kLayoutLabels) ? kLayoutLabels[layout] : "Не знаю";
    if (c.videoCount + c.audioCount + c.otherCount > 0) {
        line += " << { ";
        if (c.videoCount > 0) line += Format("%d вид, ", c.videoCount);
        if (c.audioCount > 0) line += Format("%d ауд, ", c.audioCount);
        if (c.otherCount > 0) line += Format("%d иных,  ", c.otherCount);
        if (line.ends_with(", ")) line.replace(line.size() - 2, 2, " }");
    }
    return line;
}

void ReportMpegSummary(Display& display, const ContainerInfo& c) {
    if (c.dvdFormat) display.Container().Add("Формат DVD \"VOB\"", kColourMpegSummary);
    display.Container().Add(MpegSummaryLine(c), kColourMpegSummary);
}

void ReportLengthCheck(Display& display, uint64_t declared, uint64_t actual) {
    if (declared == 0) return;
    NotesList& notes = display.Container();
    if (declared == actual) {
        notes.Add("Длина файла верна  ", kColourGood);
    } else if (declared > actual) {
        notes.Add("Файл некорректно усечен.   ", kColourDamage);
        notes.Add(" · Исходн.размер:" + FullSizeText(declared), kColourDamage);
    } else {
        notes.Add("Учти: " + LargestUnitSizeText(actual - declared) + " ненужных байтов в конце файла", kColourWarning);
    }
}

std::string FileTimeText(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y %b %d   %H:%M:%S", &local);
    return std::string(text, n);
}

void ReportSystemSummary(Display& display, const AnalysisRecords& records) {
    const ContainerInfo& c = records.container;
    const VideoInfo& v = records.video;
    NotesList& notes = display.Container();
    if (c.bitrateKbps > 0) {
        notes.Add(Format("Сис.битрейт: %d КБ/с", c.bitrateKbps) + (c.variableRate ? " VBR" : ""));
        if (c.secondBitrateKbps > 0)
            notes.Add(Format("Сис.битрейт: %d КБ/с", c.secondBitrateKbps) + (c.variableRate ? " VBR" : ""));
    }
    if (c.drm) notes.Add("Учтите: файл имеет защиту DRM.", kColourWarning);

    // The declared frame size is judged against the picture's display aspect ratio.
    double dar = v.displayAspect;
    if (dar == 0 && v.pixelAspect > 0 && v.height > 0) dar = v.pixelAspect * v.width / v.height;
    if (c.declaredWidth > 0 && c.declaredHeight > 0) {
        const double declaredRatio = double(c.declaredWidth) / c.declaredHeight;
        if (dar > 0 && std::fabs(1 - dar / declaredRatio) > 0.05)
            notes.Add(Format("ВНИМАНИЕ! Неверный размер кадра: %d x %d", c.declaredWidth, c.declaredHeight),
                      kColourWarning);
        else
            notes.Add(Format("Рекомендован размер кадра %d x %d", c.declaredWidth, c.declaredHeight));
    }
    // The first label begins with a Latin C, as it always has.
    if (c.creationTime) notes.Add("Cоздан:\t\t " + FileTimeText(c.creationTime));
    if (c.modificationTime) notes.Add("Изменен: \t " + FileTimeText(c.modificationTime));
}

}  // namespace torvo
