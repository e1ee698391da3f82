#include "CliReport.h"

#include <vector>

#include "analysis/ScanStatistics.h"

namespace torvo::cli {
namespace {

void AppendPanel(std::string& out, const Panel& panel) {
    for (const auto& [caption, field] : panel.Fields()) out += "  " + caption + ": " + field.text + "\n";
}

void AppendNotes(std::string& out, const char* title, const NotesList& notes) {
    if (notes.Lines().empty()) return;
    out += std::string(title) + "\n";
    for (const NoteLine& line : notes.Lines()) out += "  " + line.text + "\n";
}

}  // namespace

std::string TextReport(const std::string& path, const Display& display) {
    std::string out = "== " + path + "\n";
    out += "Файл\n";
    AppendPanel(out, display.FilePanel());
    AppendNotes(out, "Контейнер", display.Container());
    AppendNotes(out, "Данные пользователя / Метаданные", display.UserData());
    // CBR and VBR belong to the audio panel (the stream it shows); the rest to the video panel.
    std::vector<std::string> videoLamps, audioLamps;
    for (const std::string& lamp : display.LitLamps())
        (lamp == "CBR" || lamp == "VBR" ? audioLamps : videoLamps).push_back(lamp);
    auto appendLamps = [&out](const std::vector<std::string>& lamps) {
        if (lamps.empty()) return;
        out += "  Индикаторы:";
        for (const std::string& lamp : lamps) out += " " + lamp;
        out += "\n";
    };
    if (!display.VideoPanel().Empty() || !videoLamps.empty() || !display.Bars().empty() ||
        !display.LastPictures().empty()) {
        out += "Видео\n";
        AppendPanel(out, display.VideoPanel());
        appendLamps(videoLamps);
        for (const auto& [caption, bar] : display.Bars()) {
            out += "  " + caption + ":";
            for (const BarSegment& segment : bar.segments)
                out += " " + std::to_string(segment.from) + "-" + std::to_string(segment.to);
            out += " / " + std::to_string(bar.scale) + "\n";
        }
        if (!display.LastPictures().empty()) {
            out += "  " + std::string(kLastPicturesCaption) + ": ";
            for (const uint32_t word : display.LastPictures()) out += PictureTypeLetter(word);
            out += "\n";
        }
    }
    const auto& audio = display.AudioPanels();
    for (size_t i = 0; i < audio.size(); ++i) {
        if (audio[i].Empty()) continue;
        out += "Звук " + std::to_string(i + 1) + "\n";
        AppendPanel(out, audio[i]);
        if (static_cast<int>(i) == display.ShownAudio()) appendLamps(audioLamps);
    }
    AppendNotes(out, "Рендеринг", display.Render());
    return out;
}

std::string FieldLines(const Display& display) {
    std::string out;
    const auto keys = CExport::Keys();
    for (size_t i = 0; i < keys.size(); ++i)
        out.append(CExport::BareName(keys[i])).append("\t").append(display.Fields().Value(i)).append("\n");
    return out;
}

JsonMembers JsonMembersOf(const nlohmann::ordered_json& extra) {
    JsonMembers members;
    for (const auto& [key, value] : extra.items())
        members.emplace_back(key, value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    return members;
}

std::string JsonLine(const std::string& path, int typeId, const Display& display, const ScanSummary* scan,
                     const nlohmann::ordered_json* extra, const TypedReport* typed) {
    if (!extra) return JsonReportLine(path, typeId, display, scan, nullptr, typed);
    const JsonMembers members = JsonMembersOf(*extra);
    return JsonReportLine(path, typeId, display, scan, &members, typed);
}

}  // namespace torvo::cli
