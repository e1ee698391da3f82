#include "base/JsonText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace torvo {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at text[i]; otherwise 0 and,
// in `prefix`, how many of its bytes began a sequence that was cut short or
// went wrong (at least 1: the byte that cannot start one).
size_t SequenceAt(std::string_view text, size_t i, size_t& prefix) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;       // overlong
        else if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;       // overlong
        else if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        prefix = 1;
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const bool fits = i + k < text.size() &&
                          (k == 1 ? byte(i + k) >= low && byte(i + k) <= high : byte(i + k) >= 0x80 && byte(i + k) <= 0xBF);
        if (!fits) {
            prefix = k;
            return 0;
        }
    }
    return length;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    size_t i = 0;
    while (i < text.size()) {
        // Plain ASCII, nearly every byte of a report, is copied as a run.
        size_t plain = i;
        while (plain < text.size()) {
            const auto b = static_cast<unsigned char>(text[plain]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
            ++plain;
        }
        out.append(text.substr(i, plain - i));
        i = plain;
        if (i == text.size()) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c < 0x20) {
                        static constexpr char kHex[] = "0123456789abcdef";
                        out += "\\u00";
                        out += kHex[c >> 4];
                        out += kHex[c & 15];
                    } else {
                        out += static_cast<char>(c);
                    }
            }
            ++i;
            continue;
        }
        size_t prefix = 0;
        if (const size_t length = SequenceAt(text, i, prefix)) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            // One replacement for the bytes that began the broken sequence;
            // the byte that broke it is read again as a start of its own.
            out += kReplacement;
            i += prefix;
        }
    }
    out += '"';
}

bool NameBytesNeeded(std::string_view name) {
    for (size_t i = 0; i < name.size();) {
        size_t prefix = 0;
        if (static_cast<unsigned char>(name[i]) < 0x80) ++i;
        else if (const size_t length = SequenceAt(name, i, prefix)) i += length;
        else return true;
    }
    return false;
}

std::string EscapedName(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        size_t prefix = 0;
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out += name[i++];
        } else if (const size_t length = SequenceAt(name, i, prefix)) {
            out.append(name.substr(i, length));
            i += length;
        } else {
            // Byte by byte: the bytes that began a broken sequence each stand for themselves.
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        }
    }
    return out;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

void AppendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (value == 0) {
        out += std::signbit(value) ? "-0.0" : "0.0";
        return;
    }
    // The shortest digits that read back, as d.ddde±x.
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view s(buffer, static_cast<size_t>(written.ptr - buffer));
    if (s.front() == '-') {
        out += '-';
        s.remove_prefix(1);
    }
    const size_t e = s.find('e');
    std::string digits;
    for (const char c : s.substr(0, e)) {
        if (c != '.') digits += c;
    }
    int exponent = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+'), s.data() + s.size(), exponent);
    // Where the decimal point falls after the digits' first.
    const int k = static_cast<int>(digits.size()), n = exponent + 1;
    constexpr int kMaxPlain = 15, kMinPlain = -4;
    if (k <= n && n <= kMaxPlain) {  // a whole number: 1234500.0
        out += digits;
        out.append(static_cast<size_t>(n - k), '0');
        out += ".0";
    } else if (n > 0 && n <= kMaxPlain) {  // 123.45
        out.append(digits, 0, static_cast<size_t>(n));
        out += '.';
        out.append(digits, static_cast<size_t>(n));
    } else if (n > kMinPlain && n <= 0) {  // 0.0012345
        out += "0.";
        out.append(static_cast<size_t>(-n), '0');
        out += digits;
    } else {  // 1.5e+20, 1e-05
        out += digits[0];
        if (k > 1) {
            out += '.';
            out.append(digits, 1);
        }
        const int x = n - 1;
        out += x < 0 ? "e-" : "e+";
        if (std::abs(x) < 10) out += '0';
        out += std::to_string(std::abs(x));
    }
}

std::string& CJsonObject::Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    AppendJsonString(text_, key);
    text_ += ':';
    return text_;
}

CJsonObject& CJsonObject::Raw(std::string_view key, std::string_view json) {
    Key(key).append(json);
    return *this;
}

CJsonObject& CJsonObject::Add(std::string_view key, std::string_view text) {
    AppendJsonString(Key(key), text);
    return *this;
}

CJsonObject& CJsonObject::Add(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }

CJsonObject& CJsonObject::Add(std::string_view key, int64_t value) { return Raw(key, std::to_string(value)); }

CJsonObject& CJsonObject::Add(std::string_view key, uint64_t value) { return Raw(key, std::to_string(value)); }

CJsonObject& CJsonObject::Add(std::string_view key, double value) {
    AppendJsonNumber(Key(key), value);
    return *this;
}

}  // namespace torvo
