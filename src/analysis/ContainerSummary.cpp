#include "analysis/ContainerSummary.h"

#include <cmath>
#include <ctime>

#include "base/SizeText.h"
#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
void ReportLengthCheck(Display& display, uint64_t declared, uint64_t actual) {
    if (declared == 0) return;
    NotesList& notes = display.Container();
    if (declared == actual) {
        notes.Add(N_("Длина файла верна  "), kColourGood);
    } else if (declared > actual) {
        notes.Add(N_("Файл некорректно усечен.   "), kColourDamage);
        notes.Add(N_(" · Исходн.размер:") + FullSizeText(declared), kColourDamage);
    } else {
        notes.Add(N_("Учти: ") + LargestUnitSizeText(actual - declared) + N_(" ненужных байтов в конце файла"), kColourWarning);
    }
}

void ReportReadProblems(Display& display, const std::vector<ReadStatus>& problems) {
    NotesList& notes = display.Container();
    for (const ReadStatus& problem : problems) {
        const auto offset = static_cast<unsigned long long>(problem.Offset());
        if (problem.GetKind() == ReadStatus::Kind::kTruncated)
            notes.Add(Format(N_("Файл усечен: данные обрываются, смещение 0x%08llx"), offset), kColourDamage);
        else
            notes.Add(Format(N_("Файл поврежден: смещение 0x%08llx"), offset), kColourDamage);
        notes.Add(" · " + problem.Reason());
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
        notes.Add(Format(N_("Сис.битрейт: %d КБ/с"), c.bitrateKbps) + (c.variableRate ? " VBR" : ""));
        if (c.secondBitrateKbps > 0)
            notes.Add(Format(N_("Сис.битрейт: %d КБ/с"), c.secondBitrateKbps) + (c.variableRate ? " VBR" : ""));
    }
    if (c.drm) notes.Add(N_("Учтите: файл имеет защиту DRM."), kColourWarning);

    // The declared frame size is judged against the picture's display aspect ratio.
    double dar = v.displayAspect;
    if (dar == 0 && v.pixelAspect > 0 && v.height > 0) dar = v.pixelAspect * v.width / v.height;
    if (c.declaredWidth > 0 && c.declaredHeight > 0) {
        const double declaredRatio = double(c.declaredWidth) / c.declaredHeight;
        if (dar > 0 && std::fabs(1 - dar / declaredRatio) > 0.05)
            notes.Add(Format(N_("ВНИМАНИЕ! Неверный размер кадра: %d x %d"), c.declaredWidth, c.declaredHeight),
                      kColourWarning);
        else
            notes.Add(Format(N_("Рекомендован размер кадра %d x %d"), c.declaredWidth, c.declaredHeight));
    }
    // The first label begins with a Latin C, as it always has.
    if (c.creationTime) notes.Add(N_("Cоздан:\t\t ") + FileTimeText(c.creationTime));
    if (c.modificationTime) notes.Add(N_("Изменен: \t ") + FileTimeText(c.modificationTime));
}

}  // namespace torvo
