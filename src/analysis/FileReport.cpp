#include "analysis/FileReport.h"

#include <vector>

#include "analysis/ScanStatistics.h"
#include "base/Translate.h"

namespace torvo {
namespace {

void AppendPanel(std::string& out, const Panel& panel) {
    for (const auto& [caption, field] : panel.Fields()) {
        // A path is the user's own name, whatever words it happens to hold.
        const bool verbatim = caption == Display::kPathCaption;
        out += "  " + Localise(caption) + ": " + (verbatim ? field.text : Localise(field.text)) + "\n";
    }
}

void AppendNotes(std::string& out, const char* title, const NotesList& notes) {
    if (notes.Lines().empty()) return;
    out += Tr(title) + "\n";
    for (const NoteLine& line : notes.Lines()) out += "  " + LocaliseNote(line) + "\n";
}

}  // namespace

FileReport BuildFileReport(const std::string& path, const CAnalysisDriver& driver, const Display& display) {
    FileReport report;
    report.path = path;
    report.typeId = driver.Container().typeId;
    report.display = &display;
    if (driver.Scan()) report.scan = SummariseScan(*driver.Scan());
    report.typed = TypedReportOf(driver, report.scan ? &*report.scan : nullptr);
    return report;
}

std::string ReportJsonLine(const FileReport& report) {
    return JsonReportLine(report.path, report.typeId, *report.display, report.scan ? &*report.scan : nullptr,
                          report.extra.empty() ? nullptr : &report.extra, &report.typed);
}

std::string ReportText(const FileReport& report) {
    const Display& display = *report.display;
    std::string out = "== " + report.path + "\n";
    out += Tr("Файл") + "\n";
    AppendPanel(out, display.FilePanel());
    AppendNotes(out, N_("Контейнер"), display.Container());
    AppendNotes(out, N_("Данные пользователя / Метаданные"), display.UserData());
    // CBR and VBR belong to the audio panel (the stream it shows); the rest to the video panel.
    std::vector<std::string> videoLamps, audioLamps;
    for (const std::string& lamp : display.LitLamps())
        (lamp == "CBR" || lamp == "VBR" ? audioLamps : videoLamps).push_back(lamp);
    auto appendLamps = [&out](const std::vector<std::string>& lamps) {
        if (lamps.empty()) return;
        out += "  " + Tr("Индикаторы") + ":";
        for (const std::string& lamp : lamps) out += " " + lamp;
        out += "\n";
    };
    if (!display.VideoPanel().Empty() || !videoLamps.empty() || !display.Bars().empty() ||
        !display.LastPictures().empty()) {
        out += Tr("Видео") + "\n";
        AppendPanel(out, display.VideoPanel());
        appendLamps(videoLamps);
        for (const auto& [caption, bar] : display.Bars()) {
            out += "  " + Localise(caption) + ":";
            for (const BarSegment& segment : bar.segments)
                out += " " + std::to_string(segment.from) + "-" + std::to_string(segment.to);
            out += " / " + std::to_string(bar.scale) + "\n";
        }
        if (!display.LastPictures().empty()) {
            out += "  " + Localise(kLastPicturesCaption) + ": ";
            for (const uint32_t word : display.LastPictures()) out += PictureTypeLetter(word);
            out += "\n";
        }
    }
    const auto& audio = display.AudioPanels();
    for (size_t i = 0; i < audio.size(); ++i) {
        if (audio[i].Empty()) continue;
        out += Tr("Звук") + " " + std::to_string(i + 1) + "\n";
        AppendPanel(out, audio[i]);
        if (static_cast<int>(i) == display.ShownAudio()) appendLamps(audioLamps);
    }
    AppendNotes(out, N_("Рендеринг"), display.Render());
    return out;
}

std::string ReportFieldLines(const FileReport& report) {
    std::string out;
    const CExport& fields = report.display->Fields();
    const auto keys = CExport::Keys();
    for (size_t i = 0; i < keys.size(); ++i)
        out.append(CExport::BareName(keys[i])).append("\t").append(fields.Value(i)).append("\n");
    return out;
}

}  // namespace torvo
