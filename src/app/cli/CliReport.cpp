#include "CliReport.h"

#include <nlohmann/json.hpp>

#include "formats/riff/ScanStatistics.h"

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

nlohmann::json PanelJson(const Panel& panel) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [caption, field] : panel.Fields()) object[caption] = field.text;
    return object;
}

nlohmann::json LinesJson(const NotesList& notes) {
    nlohmann::json lines = nlohmann::json::array();
    for (const NoteLine& line : notes.Lines()) lines.push_back(line.text);
    return lines;
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

std::string JsonLine(const std::string& path, int typeId, const Display& display, const ScanSummary* scan,
                     const nlohmann::ordered_json* extra) {
    nlohmann::ordered_json j;
    j["file"] = path;
    j["type_id"] = typeId;
    // The keys are distinct, so they are appended in order without looking each one up.
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    auto& entries = fields.get_ref<nlohmann::ordered_json::object_t&>();
    const auto keys = CExport::Keys();
    entries.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        entries.Container::emplace_back(std::string(CExport::BareName(keys[i])), display.Fields().Value(i));
    j["fields"] = std::move(fields);
    nlohmann::json notes = nlohmann::json::array();
    for (const NoteLine& line : display.Container().Lines())
        notes.push_back({{"text", line.text}, {"colour", line.colour}});
    j["notes"] = notes;
    j["tags"] = LinesJson(display.UserData());
    j["lamps"] = display.LitLamps();
    j["video"] = PanelJson(display.VideoPanel());
    nlohmann::json audio = nlohmann::json::array();
    for (const Panel& panel : display.AudioPanels())
        if (!panel.Empty()) audio.push_back(PanelJson(panel));
    j["audio"] = audio;
    j["render"] = LinesJson(display.Render());
    if (scan) {
        j["scan"] = {{"pictures", scan->pictures},
                     {"i", scan->i},
                     {"p", scan->p},
                     {"b", scan->b},
                     {"other", scan->other},
                     {"gop_length", scan->gopLength},
                     {"b_spacing", scan->bSpacing},
                     {"gop_regularity", scan->gopRegularity},
                     {"longest_b_run", scan->longestBRun},
                     {"longest_i_distance", scan->longestIDistance},
                     {"largest_frame", scan->largestFrame},
                     {"frame_types", scan->frameTypes},
                     {"video_bytes", scan->videoBytes},
                     {"audio_bytes", scan->audioBytes},
                     {"read_kib_per_s", scan->readKiBps},
                     {"failed", scan->failed}};
    }
    if (extra)
        for (const auto& [key, value] : extra->items()) j[key] = value;
    // File names need not be valid UTF-8; such bytes become U+FFFD rather than an exception.
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace torvo::cli
