#include "codecdb/TextEncoding.h"

#include <array>
#include <cstdint>

#include "base/Text.h"

namespace torvo {

namespace {

// Code points of the bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F in order.
constexpr std::array<char16_t, 64> kCp1251Upper = {
    u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021',  // 80
    u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F',  // 88
    u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',  // 90
    u'\u0098', u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F',  // 98
    u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7',  // A0
    u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407',  // A8
    u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7',  // B0
    u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457',  // B8
};

char16_t Cp1251CodePoint(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte < 0xC0) return kCp1251Upper[byte - 0x80];
    return static_cast<char16_t>(0x0410 + (byte - 0xC0));
}

void AppendUtf8(std::string& out, char16_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) AppendUtf8(out, Cp1251CodePoint(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::string_view one = TruncateUtf8(text.substr(i), 1);
        if (lead < 0x80 || one.size() == 1) {  // ASCII, or a byte that is not UTF-8
            out += text[i++];
            continue;
        }
        char32_t cp = lead & (one.size() == 2 ? 0x1F : one.size() == 3 ? 0x0F : 0x07);
        for (size_t k = 1; k < one.size(); ++k) cp = cp << 6 | (static_cast<unsigned char>(one[k]) & 0x3F);
        i += one.size();
        char byte = '?';
        if (cp >= 0x0410 && cp <= 0x044F) {
            byte = static_cast<char>(0xC0 + (cp - 0x0410));
        } else {
            for (size_t k = 0; k < kCp1251Upper.size(); ++k)
                if (kCp1251Upper[k] == cp) byte = static_cast<char>(0x80 + k);
        }
        out += byte;
    }
    return out;
}

std::string_view DecodeExternalText(std::string_view bytes, std::string& converted) {
    if (!IsValidUtf8(bytes)) {
        converted = Cp1251ToUtf8(bytes);
        return converted;
    }
    if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
    return bytes;
}

std::string DecodeExternalText(std::string_view bytes) {
    std::string converted;
    const std::string_view text = DecodeExternalText(bytes, converted);
    return text.data() == converted.data() ? converted : std::string(text);
}

}  // namespace torvo
