#include "base/Translate.h"

#include <libintl.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>
#include <vector>

#include "base/ByteView.h"

namespace torvo {
namespace {

constexpr const char* kDomain = "torvo";

// The msgids of the loaded catalogue that hold Russian, the pieces Localise()
// looks for in a composed text, by their first character.
struct Pieces {
    std::vector<std::string> ids;
    std::unordered_map<uint32_t, std::vector<size_t>> byFirst;
    std::vector<size_t> leadingConversion;  // ids that start with a printf conversion
};

// Written once by UseLanguage() before any output, read only afterwards.
struct State {
    Language language = Language::kRussian;
    Pieces pieces;
};
State& TheState() {
    static State state;
    return state;
}

bool IsCyrillicLead(uint8_t byte) { return byte >= 0xD0 && byte <= 0xD3; }
bool IsLetterAt(std::string_view text, size_t pos) {
    if (pos >= text.size()) return false;
    const auto byte = static_cast<uint8_t>(text[pos]);
    return IsCyrillicLead(byte) || (byte < 0x80 && std::isalpha(byte));
}
bool HasCyrillic(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return IsCyrillicLead(static_cast<uint8_t>(c)); });
}
size_t CodePointLength(std::string_view text, size_t pos) {
    const auto byte = static_cast<uint8_t>(text[pos]);
    const size_t length = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    return std::min(length, text.size() - pos);
}
uint32_t FirstKey(std::string_view text) {
    uint32_t key = 0;
    for (size_t i = 0; i < CodePointLength(text, 0); ++i) key = key << 8 | static_cast<uint8_t>(text[i]);
    return key;
}

// C locale names: gettext ignores LANGUAGE for them, and so do we for C.UTF-8,
// so that a script's LANG=C.UTF-8 sees the program's own texts whatever else is set.
bool IsCLocale(std::string_view name) {
    return name == "C" || name == "POSIX" || name.starts_with("C.");
}

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The catalogue folder: TORVO_LOCALEDIR, the build tree's for a program run
// there, an installation's relative to the program, else the installed one.
std::string LocaleDir() {
    if (std::string dir = EnvText("TORVO_LOCALEDIR"); !dir.empty()) return dir;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::string programDir = program.parent_path().string() + "/";
#ifdef TORVO_BUILD_LOCALEDIR
        if (programDir.starts_with(TORVO_BUILD_DIR "/")) return TORVO_BUILD_LOCALEDIR;
#endif
        const std::filesystem::path relative = program.parent_path() / TORVO_LOCALE_FROM_PROGRAM;
        if (std::filesystem::is_directory(relative, error)) return relative.lexically_normal().string();
    }
    return TORVO_INSTALL_LOCALEDIR;
}

std::string CatalogueFile(const std::string& dir, std::string_view code) {
    return dir + "/" + std::string(code) + "/LC_MESSAGES/" + kDomain + ".mo";
}

// The language gettext would choose from the environment among those with a
// catalogue: its code ("en", "pt_BR"), or "" for the program's own Russian.
std::string LanguageFromEnvironment(const std::string& dir) {
    std::string locale = EnvText("LC_ALL");
    if (locale.empty()) locale = EnvText("LC_MESSAGES");
    if (locale.empty()) locale = EnvText("LANG");
    if (locale.empty() || IsCLocale(locale)) return "";
    std::string list = EnvText("LANGUAGE");
    if (list.empty()) list = locale;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string_view entry = std::string_view(list).substr(start, end - start);
        const std::string_view territorial = entry.substr(0, entry.find_first_of(".@"));
        const std::string_view code = entry.substr(0, entry.find_first_of("_.@"));
        if (code == "ru") return "";
        for (const std::string_view candidate : {territorial, code})
            if (!candidate.empty() && std::filesystem::is_regular_file(CatalogueFile(dir, candidate)))
                return std::string(candidate);
        start = end + 1;
    }
    return "";
}

// The original strings of a GNU .mo file (its header entry and plural or
// context parts left out) that hold Russian.
std::vector<std::string> CatalogueIds(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ByteView mo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const bool little = mo.Le32(0) == 0x950412de;
    if (!little && mo.Be32(0) != 0x950412de) return {};
    const auto u32 = [&](uint64_t pos) { return little ? mo.Le32(pos) : mo.Be32(pos); };
    const uint32_t count = std::min<uint32_t>(u32(8), 100000);
    const uint32_t table = u32(12);
    std::vector<std::string> ids;
    for (uint32_t i = 0; i < count && mo.Has(uint64_t(table) + 8 * i, 8); ++i) {
        const uint32_t length = u32(uint64_t(table) + 8 * i);
        const uint32_t offset = u32(uint64_t(table) + 8 * i + 4);
        if (length == 0 || !mo.Has(offset, length)) continue;
        const std::string id(reinterpret_cast<const char*>(mo.data() + offset), length);
        if (id.find('\0') == std::string::npos && id.find('\x04') == std::string::npos && HasCyrillic(id))
            ids.push_back(id);
    }
    return ids;
}

Pieces IndexPieces(std::vector<std::string> ids) {
    Pieces pieces;
    pieces.ids = std::move(ids);
    for (size_t i = 0; i < pieces.ids.size(); ++i) {
        const std::string& id = pieces.ids[i];
        if (id[0] == '%' && id.size() > 1 && id[1] != '%') pieces.leadingConversion.push_back(i);
        else pieces.byFirst[FirstKey(id)].push_back(i);
    }
    return pieces;
}

// One printf conversion of a msgid: its length in the msgid and its kind.
struct Conversion {
    size_t length = 0;
    char kind = 0;  // 'd' integer, 'x' hex, 'f' real, 'c' one character, 's' text, '%' a percent sign
};
Conversion ParseConversion(std::string_view id, size_t pos) {
    size_t i = pos + 1;
    while (i < id.size() && std::isdigit(static_cast<uint8_t>(id[i]))) ++i;
    if (i < id.size() && id[i] == '$') ++i;
    else i = pos + 1;
    while (i < id.size() && std::string_view("-+ #0'").find(id[i]) != std::string_view::npos) ++i;
    while (i < id.size() && (std::isdigit(static_cast<uint8_t>(id[i])) || id[i] == '.')) ++i;
    while (i < id.size() && std::string_view("hlLqjzt").find(id[i]) != std::string_view::npos) ++i;
    if (i >= id.size()) return {};
    const char c = id[i];
    const char kind = c == 'd' || c == 'i' || c == 'u' ? 'd'
                      : c == 'x' || c == 'X'            ? 'x'
                      : c == 'f' || c == 'g' || c == 'e' ? 'f'
                      : c == 'c' || c == 's' || c == '%' ? c
                                                         : 0;
    return {kind ? i + 1 - pos : 0, kind};
}

// How far a number of the given kind reaches from pos (pos itself when there is none).
size_t NumberEnd(std::string_view text, size_t pos, char kind) {
    size_t i = pos;
    while (i < text.size() && text[i] == ' ') ++i;
    if (kind != 'x' && i < text.size() && text[i] == '-') ++i;
    const size_t digits = i;
    const auto isDigit = [&](size_t at) {
        const auto c = static_cast<uint8_t>(text[at]);
        return kind == 'x' ? std::isxdigit(c) != 0 : std::isdigit(c) != 0;
    };
    while (i < text.size() && isDigit(i)) ++i;
    if (kind == 'f' && i < text.size() && text[i] == '.' && i > digits) {
        ++i;
        while (i < text.size() && isDigit(i)) ++i;
    }
    return i > digits ? i : pos;
}

// Matches the msgid from idPos against the text from textPos; on success the
// end of the match in the text and the values of its conversions.
bool Match(std::string_view id, size_t idPos, std::string_view text, size_t textPos, size_t& end,
           std::vector<std::string_view>& values) {
    while (idPos < id.size()) {
        if (id[idPos] != '%') {
            if (textPos >= text.size() || text[textPos] != id[idPos]) return false;
            ++idPos, ++textPos;
            continue;
        }
        const Conversion conversion = ParseConversion(id, idPos);
        if (conversion.kind == 0) return false;
        idPos += conversion.length;
        if (conversion.kind == '%') {
            if (textPos >= text.size() || text[textPos] != '%') return false;
            ++textPos;
        } else if (conversion.kind == 'c') {
            if (textPos >= text.size()) return false;
            const size_t length = CodePointLength(text, textPos);
            values.push_back(text.substr(textPos, length));
            textPos += length;
        } else if (conversion.kind == 's') {
            // A text to the end when it closes the msgid, else the shortest one the rest matches after.
            if (idPos == id.size()) {
                values.push_back(text.substr(textPos));
                end = text.size();
                return true;
            }
            for (size_t stop = textPos; stop < text.size(); ++stop) {
                std::vector<std::string_view> rest{text.substr(textPos, stop - textPos)};
                if (Match(id, idPos, text, stop, end, rest)) {
                    values.insert(values.end(), rest.begin(), rest.end());
                    return true;
                }
            }
            return false;
        } else {
            const size_t stop = NumberEnd(text, textPos, conversion.kind);
            if (stop == textPos) return false;
            values.push_back(text.substr(textPos, stop - textPos));
            textPos = stop;
        }
    }
    // A piece that ends in a letter ends a word.
    size_t last = id.size() - 1;
    while (last > 0 && (static_cast<uint8_t>(id[last]) & 0xC0) == 0x80) --last;
    if (IsLetterAt(id, last) && IsLetterAt(text, textPos)) return false;
    end = textPos;
    return true;
}

// A text put into a message: a path (it holds a '/') is the user's own name and
// stays as it is unless it is one whole catalogue entry ("КБ/с"); anything else
// is localised in turn.
std::string LocaliseValue(std::string_view value) {
    if (value.find('/') == std::string_view::npos) return Localise(value);
    const std::string whole(value);
    return dgettext(kDomain, whole.c_str());
}

// The translation of a matched msgid with the values put in its conversions
// (texts localised in turn); numbered conversions (%2$s) take their value by number.
std::string Fill(const char* translated, const std::vector<std::string_view>& values) {
    const std::string_view out(translated);
    std::string result;
    size_t next = 0;
    for (size_t i = 0; i < out.size();) {
        if (out[i] != '%') {
            result += out[i++];
            continue;
        }
        const Conversion conversion = ParseConversion(out, i);
        if (conversion.kind == 0 || conversion.kind == '%') {
            result += '%';
            i += conversion.kind ? 2 : 1;
            continue;
        }
        size_t index = next++;
        if (size_t dollar = out.find('$', i); dollar < i + conversion.length)
            index = std::strtoul(std::string(out.substr(i + 1, dollar - i - 1)).c_str(), nullptr, 10) - 1;
        if (index < values.size()) result += conversion.kind == 's' ? LocaliseValue(values[index]) : std::string(values[index]);
        i += conversion.length;
    }
    return result;
}

}  // namespace

void UseLanguage(Language language) {
    State& state = TheState();
    state.language = Language::kRussian;
    if (language == Language::kRussian) return;
    const std::string dir = LocaleDir();
    const std::string code = language == Language::kEnglish ? "en" : LanguageFromEnvironment(dir);
    const std::string file = CatalogueFile(dir, code);
    if (code.empty() || !std::filesystem::is_regular_file(file)) return;
    // gettext reads LC_MESSAGES' name, and LANGUAGE beside any locale but "C":
    // C.UTF-8 stands in where the user's locale is not generated here.
    const char* messages = std::setlocale(LC_MESSAGES, "");
    if (!messages || std::string_view(messages) == "C" || std::string_view(messages) == "POSIX")
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    setenv("LANGUAGE", code.c_str(), 1);
    bindtextdomain(kDomain, dir.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
    // The catalogue's header answers only when gettext found the catalogue.
    if (*dgettext(kDomain, "") == '\0') return;
    state.pieces = IndexPieces(CatalogueIds(file));
    state.language = code == "en" ? Language::kEnglish : Language::kSystem;
}

Language CurrentLanguage() { return TheState().language; }

bool ParseLanguage(std::string_view name, Language& language) {
    if (name == "ru") language = Language::kRussian;
    else if (name == "en") language = Language::kEnglish;
    else if (name == "system") language = Language::kSystem;
    else return false;
    return true;
}

std::string Tr(const char* original) {
    if (TheState().language == Language::kRussian || !*original) return original;
    return dgettext(kDomain, original);
}

std::string Localise(std::string_view shown) {
    const State& state = TheState();
    if (state.language == Language::kRussian || !HasCyrillic(shown)) return std::string(shown);
    const std::string whole(shown);
    if (const char* translated = dgettext(kDomain, whole.c_str()); whole != translated) return translated;

    std::string result;
    std::vector<std::string_view> values;
    for (size_t pos = 0; pos < shown.size();) {
        // The longest piece that starts here.
        size_t best = 0, bestEnd = pos;
        std::vector<std::string_view> bestValues;
        const auto tryPieces = [&](const std::vector<size_t>& candidates) {
            for (size_t index : candidates) {
                size_t end = pos;
                values.clear();
                if (Match(state.pieces.ids[index], 0, shown, pos, end, values) && end > bestEnd) {
                    best = index + 1, bestEnd = end;
                    bestValues = values;
                }
            }
        };
        if (auto it = state.pieces.byFirst.find(FirstKey(shown.substr(pos))); it != state.pieces.byFirst.end())
            tryPieces(it->second);
        const bool numberStarts = pos == 0 || !std::isdigit(static_cast<uint8_t>(shown[pos - 1]));
        if (numberStarts && (std::isdigit(static_cast<uint8_t>(shown[pos])) || shown[pos] == '-'))
            tryPieces(state.pieces.leadingConversion);
        if (best) {
            result += Fill(dgettext(kDomain, state.pieces.ids[best - 1].c_str()), bestValues);
            pos = bestEnd;
        } else if (IsLetterAt(shown, pos)) {
            // A word no piece starts: kept whole, so that no piece starts inside it.
            size_t end = pos;
            while (IsLetterAt(shown, end)) end += CodePointLength(shown, end);
            result += shown.substr(pos, end - pos);
            pos = end;
        } else if (std::isdigit(static_cast<uint8_t>(shown[pos]))) {
            // So is a number: a piece that starts with one starts where the number does.
            const size_t end = shown.find_first_not_of("0123456789", pos);
            result += shown.substr(pos, end - pos);
            pos = end == std::string_view::npos ? shown.size() : end;
        } else {
            const size_t length = CodePointLength(shown, pos);
            result += shown.substr(pos, length);
            pos += length;
        }
    }
    return result;
}

}  // namespace torvo
