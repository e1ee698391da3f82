// The settings file read without Qt, where that gives exactly what QSettings
// reads: the plain form QSettings writes for simple values (section headers
// and keys of letters, digits, "_-." and %XX escapes of ASCII; values bare,
// or in double quotes, without backslash escapes; UTF-8; "\n" line ends).
// A file with anything else (comments, escapes, lists, "@" values, a byte
// order mark, a key given twice) is not read here: its reader falls back to
// QSettings itself, so no value is ever read differently.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace torvo {

class CPlainIni {
public:
    // The values of text; nothing when it is not in the plain form.
    static std::optional<CPlainIni> Parse(std::string_view text);

    // Whether Find answers for section/name as QSettings would: not for
    // names that are empty or hold the path separators '/' and '\'.
    static bool Answers(std::string_view section, std::string_view name);
    // The text QSettings reads for section/name; null when it has no such value.
    const std::string* Find(std::string_view section, std::string_view name) const;

    // The number QSettings' toInt reads from a value, where that is sure
    // without Qt: the canonical decimal form ("0", "-12") is that number, a
    // text that is empty or has an ASCII byte other than digits, signs and
    // blanks is none. Other texts ("+1", "012", blanks or non-ASCII ones
    // that Qt may take for blanks) leave known false: QSettings must tell.
    static std::optional<int32_t> Int(std::string_view text, bool& known);

private:
    // (section, name) → value, in file order.
    std::vector<std::pair<std::pair<std::string, std::string>, std::string>> values_;
};

}  // namespace torvo
