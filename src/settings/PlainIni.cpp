#include "settings/PlainIni.h"

#include <algorithm>
#include <charconv>

#include "base/Text.h"

namespace torvo {

namespace {

bool KeyByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A section or key name as QSettings unescapes it, for names of key bytes
// and %XX escapes of printable ASCII other than the path separators;
// nothing for anything else.
std::optional<std::string> Name(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (KeyByte(text[i])) {
            out.push_back(text[i]);
            continue;
        }
        if (text[i] != '%' || text.size() - i < 3) return std::nullopt;
        const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const char c = static_cast<char>(high * 16 + low);
        if (c < 0x20 || c > 0x7E || c == '/' || c == '\\') return std::nullopt;
        out.push_back(c);
        i += 2;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

// A value as QSettings reads it when it is bare (no blanks at its ends, no
// list commas, comments or escapes) or wholly in double quotes (no quotes
// or escapes inside); nothing otherwise.
std::optional<std::string_view> Value(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return std::nullopt;
    std::string_view value = text;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        value = text.substr(1, text.size() - 2);
        if (value.find('"') != std::string_view::npos) return std::nullopt;
    } else if (text.find_first_of("\",;") != std::string_view::npos || text.starts_with(' ') ||
               text.ends_with(' ')) {
        return std::nullopt;
    }
    // "@" starts a typed value (and "@@" an escaped "@").
    if (value.starts_with('@') || !IsValidUtf8(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<CPlainIni> CPlainIni::Parse(std::string_view text) {
    CPlainIni ini;
    std::optional<std::string> section;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line.back() != ']') return std::nullopt;
            section = Name(line.substr(1, line.size() - 2));
            // "General" holds the keys outside any section.
            if (!section || EqualsIgnoreAsciiCase(*section, "general")) return std::nullopt;
            continue;
        }
        const size_t equals = line.find('=');
        if (!section || equals == std::string_view::npos) return std::nullopt;
        std::optional<std::string> name = Name(line.substr(0, equals));
        const std::optional<std::string_view> value = Value(line.substr(equals + 1));
        if (!name || !value) return std::nullopt;
        auto key = std::make_pair(*section, std::move(*name));
        for (const auto& [known, _] : ini.values_)
            if (known == key) return std::nullopt;  // which one wins is QSettings' business
        ini.values_.emplace_back(std::move(key), std::string(*value));
    }
    return ini;
}

bool CPlainIni::Answers(std::string_view section, std::string_view name) {
    return !section.empty() && !name.empty() && section.find_first_of("/\\") == std::string_view::npos &&
           name.find_first_of("/\\") == std::string_view::npos;
}

const std::string* CPlainIni::Find(std::string_view section, std::string_view name) const {
    for (const auto& [key, value] : values_)
        if (key.first == section && key.second == name) return &value;
    return nullptr;
}

std::optional<int32_t> CPlainIni::Int(std::string_view text, bool& known) {
    known = true;
    const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!digits.empty() && (digits.front() != '0' || text.size() == 1) && error == std::errc() &&
        end == text.data() + text.size())
        return value;
    if (text.empty()) return std::nullopt;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != ' ') return std::nullopt;
    }
    known = false;
    return std::nullopt;
}

}  // namespace torvo
