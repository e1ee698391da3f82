#include "analysis/ReportLine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "base/JsonText.h"
#include "formats/containers/FormatRegistry.h"

namespace torvo {
namespace {

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

std::string ScanJson(const ScanSummary& scan) {
    return CJsonObject()
        .Add("pictures", scan.pictures)
        .Add("i", scan.i)
        .Add("p", scan.p)
        .Add("b", scan.b)
        .Add("other", scan.other)
        .Add("gop_length", scan.gopLength)
        .Add("b_spacing", scan.bSpacing)
        .Add("gop_regularity", scan.gopRegularity)
        .Add("longest_b_run", scan.longestBRun)
        .Add("longest_i_distance", scan.longestIDistance)
        .Add("largest_frame", scan.largestFrame)
        .Add("frame_types", scan.frameTypes)
        .Add("video_bytes", scan.videoBytes)
        .Add("audio_bytes", scan.audioBytes)
        .Add("read_kib_per_s", scan.readKiBps)
        .Add("failed", scan.failed)
        .Text();
}

// "file", the name readable as text, and "file_bytes", its exact bytes,
// when the name is not UTF-8: a report can always be joined to its file.
template <typename Add>
void AddFileName(const std::string& path, Add add) {
    add("file", JsonString(EscapedName(path)));
    if (NameBytesNeeded(path)) add("file_bytes", JsonString(Base64(path)));
}

}  // namespace

std::string TypedContainerJson(const TypedContainer& c) {
    return CJsonObject()
        .Add("type_id", c.typeId)
        .TextOrNull("type", c.name)
        .TextOrNull("format", c.format)
        .TextOrNull("mime", c.mime)
        .Add("size", c.size)
        .AddOrNull("duration", c.duration)
        .AddOrNull("bit_rate", c.bitRate)
        .Text();
}

std::string TypedStreamsJson(const TypedReport& report) {
    return JsonArray(report.streams, [](std::string& out, const TypedStream& s) {
        CJsonObject o;
        o.Add("index", s.index).Add("type", s.image ? "image" : s.video ? "video" : "audio").TextOrNull("codec", s.codec);
        if (s.image) {
            o.AddOrNull("width", s.width).AddOrNull("height", s.height);
        } else if (s.video) {
            o.TextOrNull("fourcc", s.fourcc).AddOrNull("width", s.width).AddOrNull("height", s.height);
            o.AddOrNull("frame_rate", s.frameRate);
        } else {
            o.AddOrNull("format_tag", s.formatTag).AddOrNull("sample_rate", s.sampleRate);
            o.AddOrNull("channels", s.channels).AddOrNull("bits_per_sample", s.bitsPerSample);
        }
        o.TextOrNull("language", s.language).TextOrNull("title", s.title);
        o.AddOrNull("duration", s.duration).AddOrNull("bit_rate", s.bitRate).Add("decoder", s.decoder);
        out += o.Text();
        return true;
    });
}

std::string JsonReportLine(const std::string& path, int typeId, const Display& display, const ScanSummary* scan,
                           const JsonMembers* extra, const TypedReport* typed) {
    // The object's members in order, each rendered; a further member of the
    // caller's replaces a member of the same name where it stands.
    JsonMembers members;
    members.reserve(12);
    auto add = [&members](std::string key, std::string value) { members.emplace_back(std::move(key), std::move(value)); };
    AddFileName(path, add);
    add("type_id", std::to_string(typeId));

    const CExport& values = display.Fields();
    const auto keys = CExport::Keys();
    std::string text = "{";
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
    if (scan) add("scan", ScanJson(*scan));
    if (typed) {
        add("schema", std::to_string(kTypedReportSchema));
        add("container", TypedContainerJson(typed->container));
        add("streams", TypedStreamsJson(*typed));
        add("diagnostics", JsonArray(typed->diagnostics, [](std::string& out, const TypedDiagnostic& d) {
            out += CJsonObject().Add("code", d.code).Add("offset", d.offset).Add("message", d.message).Text();
            return true;
        }));
    }
    if (extra) {
        for (const auto& member : *extra) {
            auto same = std::find_if(members.begin(), members.end(),
                                     [&member](const auto& m) { return m.first == member.first; });
            if (same != members.end()) same->second = member.second;
            else members.push_back(member);
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

TypedReport TypedReportOf(const CAnalysisDriver& driver, const ScanSummary* scan) {
    // The recorded row names the type unless the content analysis settled another.
    const SignatureRow* row = driver.Identity().row;
    if (!row || row->typeId != driver.Container().typeId) row = FormatRowForType(driver.Container().typeId);
    return BuildTypedReport(driver.Records(), row && row->description ? row->description : "",
                            row && row->mime ? row->mime : "", scan);
}

std::string ErrorJsonLine(const std::string& path, const std::string& code, const std::string& message) {
    const std::string error = CJsonObject().Add("code", code).Add("message", message).Text();
    CJsonObject line;
    line.Add("schema", kTypedReportSchema);
    AddFileName(path, [&line](std::string_view key, const std::string& json) { line.Raw(key, json); });
    return line.Raw("error", error).Text();
}

std::string NotOpenedJsonLine(const std::string& path, const UserMessage& message) {
    return ErrorJsonLine(path, FailureCode(path), OneLine({message}));
}

std::string FailureCode(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "not_found";
        if (errno == EACCES) return "permission_denied";
        return "unreadable";
    }
    if (S_ISDIR(info.st_mode)) return "is_directory";
    if (::access(path.c_str(), R_OK) != 0) return "permission_denied";
    return "unreadable";
}

std::string OneLine(const std::vector<UserMessage>& messages) {
    std::string raw;
    for (const UserMessage& m : messages) {
        if (!raw.empty()) raw += "; ";
        raw += m.caption + ": " + m.text;
    }
    std::string line;
    for (const char c : raw) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (blank) {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            // A caption that ends in blanks leaves " :" behind; keep "text:".
            if (c == ':' && !line.empty() && line.back() == ' ') line.pop_back();
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';')) line.pop_back();
    return line;
}

}  // namespace torvo
