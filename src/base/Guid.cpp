#include "base/Guid.h"

#include <cstdio>

namespace torvo {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// SHA-1 of a short message (RFC 3174), enough for name-based UUIDs.
std::array<uint8_t, 20> Sha1(const std::string& message) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string m = message;
    const uint64_t bits = uint64_t(message.size()) * 8;
    m += '\x80';
    while (m.size() % 64 != 56) m += '\0';
    for (int i = 7; i >= 0; --i) m += static_cast<char>((bits >> (8 * i)) & 0xFF);
    auto rotl = [](uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
    for (size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(uint8_t(m[block + 4 * i])) << 24 | uint32_t(uint8_t(m[block + 4 * i + 1])) << 16 |
                   uint32_t(uint8_t(m[block + 4 * i + 2])) << 8 | uint32_t(uint8_t(m[block + 4 * i + 3]));
        for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            uint32_t f, k;
            if (i < 20) f = (b & c) | (~b & d), k = 0x5A827999;
            else if (i < 40) f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (i < 60) f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else f = b ^ c ^ d, k = 0xCA62C1D6;
            const uint32_t t = rotl(a, 5) + f + e + k + w[i];
            e = d, d = c, c = rotl(b, 30), b = a, a = t;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

}  // namespace

std::optional<Guid> ParseGuid(std::string_view t) {
    if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
    if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-') return std::nullopt;
    uint8_t bytes[16];
    size_t at = 0;
    for (int i = 0; i < 16; ++i) {
        if (t[at] == '-') ++at;
        const int hi = HexDigit(t[at]), lo = HexDigit(t[at + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[i] = static_cast<uint8_t>(hi << 4 | lo);
        at += 2;
    }
    Guid g;
    g.data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    g.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    g.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
    return g;
}

std::string GuidString(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

Guid NameBasedGuid(std::string_view prefixedName) {
    // The URL namespace {6ba7b811-9dad-11d1-80b4-00c04fd430c8} in network order.
    static const uint8_t kUrlNamespace[16] = {0x6b, 0xa7, 0xb8, 0x11, 0x9d, 0xad, 0x11, 0xd1,
                                              0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
    std::string message(reinterpret_cast<const char*>(kUrlNamespace), 16);
    message.append(prefixedName);
    std::array<uint8_t, 20> hash = Sha1(message);
    hash[6] = static_cast<uint8_t>((hash[6] & 0x0F) | 0x50);
    hash[8] = static_cast<uint8_t>((hash[8] & 0x3F) | 0x80);
    Guid g;
    g.data1 = uint32_t(hash[0]) << 24 | uint32_t(hash[1]) << 16 | uint32_t(hash[2]) << 8 | hash[3];
    g.data2 = static_cast<uint16_t>(hash[4] << 8 | hash[5]);
    g.data3 = static_cast<uint16_t>(hash[6] << 8 | hash[7]);
    for (int i = 0; i < 8; ++i) g.data4[i] = hash[8 + i];
    return g;
}

}  // namespace torvo
