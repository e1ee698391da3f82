#include "export/Template.h"

namespace torvo {
namespace {

// Appends text, cut at a character boundary to what the output has room for.
void AppendWithin(std::string& out, std::string_view text) {
    const size_t room = kExportBufferBytes - 1 - out.size();
    if (text.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text = text.substr(0, cut);
    }
    out.append(text);
}

char Unescape(char c) {
    switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return c;
    }
}

}  // namespace

std::string SubstituteTemplate(std::string_view tpl, const CExport& fields) {
    std::string out;
    for (size_t i = 0; i < tpl.size() && out.size() < kExportBufferBytes - 1;) {
        const char c = tpl[i];
        if (c == '%') {
            const auto slot = CExport::Lookup(tpl.substr(i));
            AppendWithin(out, slot ? std::string_view(fields.Value(*slot)) : kUnknownKeyText);
            // Whatever the key was, the text up to the closing '%' is consumed.
            const size_t close = tpl.find('%', i + 1);
            if (close == std::string_view::npos) break;
            i = close + 1;
        } else if (c == '\\') {
            if (i + 1 >= tpl.size()) break;
            out.push_back(Unescape(tpl[i + 1]));
            i += 2;
        } else {
            if (c != '\r' && c != '\n') out.push_back(c);
            ++i;
        }
    }
    return out;
}

std::optional<std::string> TemplateFromFileBytes(std::string_view bytes) {
    std::string kept;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(start, end - start);
        if (line[0] != '#') kept.append(line);
        start = end;
    }
    if (kept.size() < 2) return std::nullopt;
    const bool lastWasHash = kept.back() == '#';
    kept.pop_back();
    if (lastWasHash) kept.pop_back();
    if (kept.empty()) return std::nullopt;
    return kept;
}

namespace {
std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
}  // namespace

std::string ExportTargetName(int mode, const std::string& mediaPath, const std::string& exportPath,
                             const std::string& exportFile) {
    switch (mode) {
        case 1: return FolderOf(mediaPath) + BaseName(mediaPath) + ".txt";
        case 2: {
            std::string folder = exportPath;
            if (!folder.empty() && folder.back() != '/') folder.push_back('/');  // the last component is a folder
            return folder + BaseName(mediaPath) + ".txt";
        }
        case 3: return exportFile;
        default: return {};
    }
}

}  // namespace torvo
