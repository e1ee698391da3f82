// Small text helpers shared by the core: printf-style formatting into
// std::string and code-point-safe truncation of UTF-8 text.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace torvo {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

// The first maxChars code points of text; never splits a UTF-8 sequence.
// Bytes that are not valid UTF-8 count as one character each.
std::string_view TruncateUtf8(std::string_view text, size_t maxChars);

// Number of code points (invalid bytes count one each).
size_t CountUtf8(std::string_view text);

bool IsValidUtf8(std::string_view text);

// Case-insensitive comparison of ASCII letters; other bytes compare exactly.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace torvo
