#include "base/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace torvo {

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
    std::vector<char> big(static_cast<size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<size_t>(needed));
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = FormatV(format, args);
    va_end(args);
    return out;
}

namespace {
// Length of the valid UTF-8 sequence starting at text[i], or 0 when invalid.
size_t SequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t n;
    uint32_t cp;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) { n = 2; cp = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { n = 3; cp = lead & 0x0F; }
    else if (lead >= 0xF0 && lead <= 0xF4) { n = 4; cp = lead & 0x07; }
    else return 0;
    if (text.size() - i < n) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

// How many bytes from i on are ASCII, eight at a time: most texts are
// nothing else, and each of those bytes is one whole character.
size_t AsciiRun(std::string_view text, size_t i) {
    const size_t start = i;
    for (; text.size() - i >= 8; i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i - start;
}
}  // namespace

std::string_view TruncateUtf8(std::string_view text, size_t maxChars) {
    size_t i = 0;
    for (size_t chars = 0; i < text.size() && chars < maxChars;) {
        if (const size_t ascii = std::min(AsciiRun(text, i), maxChars - chars)) {
            i += ascii;
            chars += ascii;
            continue;
        }
        const size_t n = SequenceLength(text, i);
        i += n ? n : 1;
        ++chars;
    }
    return text.substr(0, i);
}

size_t CountUtf8(std::string_view text) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size();) {
        if (const size_t ascii = AsciiRun(text, i)) {
            i += ascii;
            chars += ascii;
            continue;
        }
        const size_t n = SequenceLength(text, i);
        i += n ? n : 1;
        ++chars;
    }
    return chars;
}

bool IsValidUtf8(std::string_view text) {
    const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
    for (size_t i = 0; i < text.size();) {
        // Two-byte sequences (Cyrillic, Latin letters with marks) and the
        // spaces and digits between them are most of a non-English text.
        const unsigned char lead = byte(i);
        if (lead < 0x80) {
            // A lone space or digit between letters is one step; a longer run goes eight at a time.
            i += text.size() - i < 16 || byte(i + 1) >= 0x80 ? 1 : AsciiRun(text, i);
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF && text.size() - i >= 2 && (byte(i + 1) & 0xC0) == 0x80) {
            i += 2;
            continue;
        }
        const size_t n = SequenceLength(text, i);
        if (!n) return false;
        i += n;
    }
    return true;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace torvo
