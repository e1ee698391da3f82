// Character counting, truncation and validation of UTF-8 texts, checked
// against a character-by-character decoder on texts whose ASCII runs start
// and end at every offset of an eight-byte word.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/Text.h"

namespace torvo {
namespace {

// One character (or one invalid byte) at i: its length in bytes, 0 when invalid.
size_t CharAt(const std::string& s, size_t i) {
    const auto b = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned lead = b(i);
    if (lead < 0x80) return 1;
    size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (n == 0 || s.size() - i < n) return 0;
    uint32_t cp = lead & (n == 2 ? 0x1Fu : n == 3 ? 0x0Fu : 0x07u);
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

TEST(Utf8, CountTruncateAndValidateAgreeWithADecoder) {
    const std::vector<std::string> pieces = {"Кодек", "\xFF", "\xC3", "\xE2\x82\xAC", "\xF0\x9F\x8E\xA5", "\xED\xA0\x80",
                                             "\xC0\xAF", "ё"};
    std::vector<std::string> texts = {"", "plain ascii text of some length"};
    for (size_t before = 0; before <= 17; ++before)
        for (const std::string& piece : pieces)
            for (size_t after : {0, 3, 9})
                texts.push_back(std::string(before, 'a') + piece + std::string(after, 'b') + piece);
    for (const std::string& text : texts) {
        std::vector<size_t> ends;  // byte offset after each character
        bool valid = true;
        for (size_t i = 0; i < text.size();) {
            const size_t n = CharAt(text, i);
            valid &= n != 0;
            i += n ? n : 1;
            ends.push_back(i);
        }
        EXPECT_EQ(CountUtf8(text), ends.size()) << text;
        EXPECT_EQ(IsValidUtf8(text), valid) << text;
        for (size_t chars = 0; chars <= ends.size() + 1; ++chars)
            EXPECT_EQ(TruncateUtf8(text, chars).size(),
                      chars == 0 || ends.empty() ? 0 : ends[std::min(chars, ends.size()) - 1])
                << text << " / " << chars;
    }
}

}  // namespace
}  // namespace torvo
