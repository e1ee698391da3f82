// Class and media type identifiers as the codec inventory stores them: the
// 16-byte GUID with its registry text form, the FourCC and format-tag GUIDs,
// and the comparison the chain search uses.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvo {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    constexpr bool IsNull() const {
        if (data1 || data2 || data3) return false;
        for (uint8_t b : data4)
            if (b) return false;
        return true;
    }
    constexpr bool operator==(const Guid&) const = default;
};

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional, any case).
std::optional<Guid> ParseGuid(std::string_view text);
// Compile-time form of ParseGuid for the well-known identifiers below.
consteval Guid G(const char* t) {
    auto hex = [](char c) -> uint32_t {
        return c >= '0' && c <= '9' ? uint32_t(c - '0') : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                                                                             : uint32_t(c - 'A' + 10);
    };
    auto field = [&](int at, int digits) {
        uint32_t v = 0;
        for (int i = 0; i < digits; ++i) v = v << 4 | hex(t[at + i]);
        return v;
    };
    const int o = t[0] == '{' ? 1 : 0;
    Guid g;
    g.data1 = field(o, 8);
    g.data2 = static_cast<uint16_t>(field(o + 9, 4));
    g.data3 = static_cast<uint16_t>(field(o + 14, 4));
    g.data4[0] = static_cast<uint8_t>(field(o + 19, 2));
    g.data4[1] = static_cast<uint8_t>(field(o + 21, 2));
    for (int i = 0; i < 6; ++i) g.data4[2 + i] = static_cast<uint8_t>(field(o + 24 + 2 * i, 2));
    return g;
}
// The registry text with braces and upper-case hex digits.
std::string GuidString(const Guid& guid);

// {XXXXXXXX-0000-0010-8000-00AA00389B71} with the value as first field.
constexpr Guid FourccGuidOf(uint32_t value) {
    Guid g{value, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    return g;
}
// The FourCC's four characters in memory order ("XVID" → 'X' in the low byte).
constexpr Guid FourccGuid(std::string_view fourcc) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < fourcc.size(); ++i) v |= uint32_t(uint8_t(fourcc[i])) << (8 * i);
    return FourccGuidOf(v);
}
constexpr Guid FormatTagGuid(uint16_t tag) { return FourccGuidOf(tag); }

// Equality of the chain search: the first field compares with bit 0x20 of
// each of its bytes cleared (so FourCC letters match in either case).
constexpr bool SameType(const Guid& a, const Guid& b) {
    return (a.data1 & ~0x20202020u) == (b.data1 & ~0x20202020u) && a.data2 == b.data2 && a.data3 == b.data3 &&
           a.data4 == b.data4;
}

// A stable identifier for a name (a GStreamer factory or caps name): the
// name-based UUID of RFC 4122 (version 5, URL namespace) of prefix + name.
Guid NameBasedGuid(std::string_view prefixedName);

namespace guids {
inline constexpr Guid kNull{};
inline constexpr Guid kMediaTypeAudio = G("{73647561-0000-0010-8000-00AA00389B71}");
inline constexpr Guid kMediaTypeVideo = G("{73646976-0000-0010-8000-00AA00389B71}");
inline constexpr Guid kMediaTypeStream = G("{E436EB83-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kMediaTypeMpeg2Pes = G("{E06D8020-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypeAvi = G("{E436EB88-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeWave = G("{E436EB8B-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeMpeg1System = G("{E436EB84-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeMpeg1Video = G("{E436EB86-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeMpeg1Audio = G("{E436EB87-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeMpeg1Payload = G("{E436EB81-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeRgb8 = G("{E436EB7A-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeQtMovie = G("{E436EB89-524F-11CE-9F53-0020AF0BA770}");
inline constexpr Guid kSubtypeAsf = G("{3DB80F90-9412-11D1-ADED-0000F8754B99}");
inline constexpr Guid kSubtypeMpeg2Program = G("{E06D8022-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypeMpeg2Transport = G("{E06D8023-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypeMpeg2Video = G("{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypeDolbyAc3 = G("{E06D802C-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypeDvdLpcm = G("{E06D8032-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypeDts = G("{E06D8033-DB46-11CF-B4D1-00805F6CBBEA}");
inline constexpr Guid kSubtypePcm = FormatTagGuid(1);
inline constexpr Guid kSubtypeIa44Overlay = G("{1B81BE91-A0C7-11D3-B984-00C04F2E73C5}");

inline constexpr Guid kClsidAviDec = G("{CF49D4E0-1115-11CE-B03A-0020AF0BA770}");
inline constexpr Guid kClsidAviCo = G("{D76E2820-1563-11cf-AC98-00AA004C0FA9}");
inline constexpr Guid kClsidAcmWrapper = G("{6a08cf80-0e18-11cf-a24d-0020afd79767}");
inline constexpr Guid kClsidDmoWrapper = G("{94297043-BD82-4DFD-B0DE-8177739C6D20}");
inline constexpr Guid kClsidKsProxy = G("{17CCA71B-ECD7-11D0-B908-00A0C9223196}");
inline constexpr Guid kClsidVideoRendererDefault = G("{6BC1CFFA-8FC1-4261-AC22-CFB4CC38DB50}");
inline constexpr Guid kClsidVideoRenderer = G("{70E102B0-5556-11CE-97C0-00AA0055595A}");
inline constexpr Guid kClsidDSoundRender = G("{79376820-07D0-11CF-A24D-0020AFD79767}");
inline constexpr Guid kDmoCategoryVideoDecoder = G("{4A69B442-28BE-4991-969C-B500ADF5D8A8}");
inline constexpr Guid kDmoCategoryAudioDecoder = G("{57F2DB8B-E6BB-4513-9D43-DCD2A6593125}");
}  // namespace guids

}  // namespace torvo
