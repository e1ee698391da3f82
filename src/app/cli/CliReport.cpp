#include "CliReport.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/Text.h"

#include "analysis/ScanStatistics.h"
#include "TypedReportJson.h"

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

// Dumped as the report's JSON is throughout: no ASCII escaping, and bytes
// that are not UTF-8 (file names need not be) become U+FFFD, never an exception.
template <typename Json>
std::string DumpJson(const Json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// A JSON string exactly as DumpJson writes it. The report is a few hundred
// short texts a file, nearly all plain: those are copied as they are, and
// building a JSON document for them cost more than the rest of the line.
void AppendJsonString(std::string& out, std::string_view text) {
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\';
    }) && IsValidUtf8(text);
    if (!plain) {
        out += DumpJson(nlohmann::json(std::string(text)));
        return;
    }
    out += '"';
    out.append(text);
    out += '"';
}

// A JSON array of the items that `append` writes (it returns false for an
// item it leaves out).
template <typename Items, typename Append>
std::string JsonArray(const Items& items, Append append) {
    std::string out = "[";
    for (const auto& item : items) {
        const size_t mark = out.size();
        if (mark > 1) out += ',';
        if (!append(out, item)) out.resize(mark);
    }
    return out + "]";
}

std::string LinesJson(const NotesList& notes) {
    return JsonArray(notes.Lines(), [](std::string& out, const NoteLine& line) {
        AppendJsonString(out, line.text);
        return true;
    });
}

// An object of captions in byte order, a repeated caption keeping its last
// text (the way a JSON object of the panel's fields would hold them).
std::string PanelJson(const Panel& panel) {
    std::vector<std::pair<std::string_view, std::string_view>> fields;
    fields.reserve(panel.Fields().size());
    for (const auto& [caption, field] : panel.Fields()) fields.emplace_back(caption, field.text);
    std::stable_sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out = "{";
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i + 1 < fields.size() && fields[i + 1].first == fields[i].first) continue;
        if (out.size() > 1) out += ',';
        AppendJsonString(out, fields[i].first);
        out += ':';
        AppendJsonString(out, fields[i].second);
    }
    return out + "}";
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
                     const nlohmann::ordered_json* extra, const TypedReport* typed) {
    // The object's members in order, each rendered; a further key of the
    // caller's replaces a member of the same name where it stands.
    std::vector<std::pair<std::string, std::string>> members;
    members.reserve(12);
    auto add = [&members](std::string key, std::string value) { members.emplace_back(std::move(key), std::move(value)); };
    std::string text;
    AppendJsonString(text, path);
    add("file", std::move(text));
    add("type_id", std::to_string(typeId));

    const CExport& values = display.Fields();
    const auto keys = CExport::Keys();
    text = "{";
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) text += ',';
        AppendJsonString(text, CExport::BareName(keys[i]));
        text += ':';
        AppendJsonString(text, values.Value(i));
    }
    text += '}';
    add("fields", std::move(text));

    add("notes", JsonArray(display.Container().Lines(), [](std::string& out, const NoteLine& line) {
        out += "{\"colour\":" + std::to_string(line.colour) + ",\"text\":";
        AppendJsonString(out, line.text);
        out += '}';
        return true;
    }));
    add("tags", LinesJson(display.UserData()));
    add("lamps", JsonArray(display.LitLamps(), [](std::string& out, const std::string& lamp) {
        AppendJsonString(out, lamp);
        return true;
    }));
    add("video", PanelJson(display.VideoPanel()));
    add("audio", JsonArray(display.AudioPanels(), [](std::string& out, const Panel& panel) {
        if (panel.Empty()) return false;
        out += PanelJson(panel);
        return true;
    }));
    add("render", LinesJson(display.Render()));
    if (scan) {
        const nlohmann::ordered_json summary = {{"pictures", scan->pictures},
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
        add("scan", DumpJson(summary));
    }
    if (typed) {
        add("schema", std::to_string(kTypedReportSchema));
        add("container", DumpJson(TypedContainerJson(typed->container)));
        add("streams", DumpJson(TypedStreamsJson(*typed)));
    }
    if (extra) {
        for (const auto& [key, value] : extra->items()) {
            auto same = std::find_if(members.begin(), members.end(), [&key](const auto& m) { return m.first == key; });
            if (same != members.end()) same->second = DumpJson(value);
            else add(key, DumpJson(value));
        }
    }

    std::string out = "{";
    for (const auto& [key, value] : members) {
        if (out.size() > 1) out += ',';
        AppendJsonString(out, key);
        out += ':';
        out += value;
    }
    out += '}';
    return out;
}

}  // namespace torvo::cli
