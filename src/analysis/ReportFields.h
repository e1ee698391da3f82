// CExport's report field table: the named text fields every analyser leaves
// its results in, and the texts generated from the key list (the default
// export template and the two tab-separated header lines).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace torvo {

class CExport {
public:
    static constexpr size_t kKeyCount = 80;
    static constexpr size_t kMaxValueChars = 255;
    // Keys before this index are single-instance and make up the generated
    // texts; then come the audio keys of the second and third stream, then
    // the playing times (the file's and each audio stream's).
    static constexpr size_t kSingleInstanceKeys = 60;

    CExport() = default;
    virtual ~CExport() = default;

    // The ordered key list, each key with its percent signs.
    static std::span<const std::string_view> Keys();

    // Slot of the first key that equals the beginning of text, compared
    // case-insensitively over the key's own length; text may go on after it.
    static std::optional<size_t> Lookup(std::string_view text);

    // Stores text (cut to 255 characters) under NAME for stream index 0,
    // NAME_2 for 1, NAME_3 for 2. Returns the characters stored, 0 when the
    // key does not exist or the index is out of range.
    size_t SetField(std::string_view name, int streamIndex, std::string_view text);
    size_t FormatField(std::string_view name, int streamIndex, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    void ClearFields();

    const std::string& Value(size_t slot) const { return values_.at(slot); }
    // The value under a bare name and stream index; empty when unknown.
    std::string_view Field(std::string_view name, int streamIndex = 0) const;

    // One record of a tab-separated export: every key and a tab, then ".\r\n" escaped.
    static const std::string& KeyHeader();
    // Column titles of a tab-separated export, ending "EndOfRec" CR LF.
    static const std::string& NameHeader();
    // One "NAME<padding>%NAME%\r\n" line (escaped) per key, then one more "\r\n".
    static const std::string& DefaultTemplate();

    static std::string_view BareName(std::string_view key) { return key.substr(1, key.size() - 2); }

private:
    static std::optional<size_t> SlotFor(std::string_view name, int streamIndex);

    std::array<std::string, kKeyCount> values_;
};

}  // namespace torvo
