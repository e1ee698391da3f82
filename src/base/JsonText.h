// JSON text written without a document: the reports are many short texts a
// file, and building a document for them cost more than the rest of the line.
// What these write is byte for byte what the JSON library the tests use
// writes (no ASCII escaping; bytes that are not UTF-8 become U+FFFD).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvo {

// A JSON string: quotes, backslashes and control characters escaped, each
// invalid UTF-8 sequence replaced by U+FFFD (never an error: file names and
// tags need not be UTF-8).
void AppendJsonString(std::string& out, std::string_view text);
std::string JsonString(std::string_view text);

// A file name as JSON text that any reader takes: a name that is UTF-8
// unchanged, else each byte outside a well-formed sequence written as
// "\xHH" (upper-case hex). Such a name loses bytes no more, but it is no
// longer unique: NameBytesNeeded says when the exact bytes must go beside it.
std::string EscapedName(std::string_view name);
bool NameBytesNeeded(std::string_view name);

// Standard base64 (RFC 4648, with padding).
std::string Base64(std::string_view bytes);

// A number in its shortest form that reads back to the same double, with
// ".0" on whole numbers and an exponent beyond 15 digits; null when not finite.
void AppendJsonNumber(std::string& out, double value);

// The members of one JSON object, written in the order they are added.
class CJsonObject {
public:
    CJsonObject& Raw(std::string_view key, std::string_view json);  // a value already written as JSON
    CJsonObject& Add(std::string_view key, std::string_view text);
    CJsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
    CJsonObject& Add(std::string_view key, bool value);
    CJsonObject& Add(std::string_view key, int64_t value);
    CJsonObject& Add(std::string_view key, uint64_t value);
    CJsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<int64_t>(value)); }
    CJsonObject& Add(std::string_view key, uint32_t value) { return Add(key, static_cast<uint64_t>(value)); }
    CJsonObject& Add(std::string_view key, double value);
    CJsonObject& Null(std::string_view key) { return Raw(key, "null"); }
    // An absent value is null, so that every key is always there.
    template <typename T>
    CJsonObject& AddOrNull(std::string_view key, const std::optional<T>& value) {
        return value ? Add(key, *value) : Null(key);
    }
    // An empty text is null.
    CJsonObject& TextOrNull(std::string_view key, std::string_view text) {
        return text.empty() ? Null(key) : Add(key, text);
    }

    std::string Text() const { return text_ + "}"; }

private:
    std::string& Key(std::string_view key);
    std::string text_ = "{";
};

}  // namespace torvo
