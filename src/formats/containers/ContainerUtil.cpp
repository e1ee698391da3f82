#include "formats/containers/ContainerUtil.h"

#include <algorithm>
#include <ctime>
#include <vector>

namespace torvo {

size_t AppendFromReader(CFileCache& reader, uint64_t position, uint64_t length, ElementaryBuffer& out) {
    const uint64_t end = reader.LogicalLength();
    if (position >= end) return 0;
    length = std::min({length, end - position, static_cast<uint64_t>(out.Room())});
    size_t done = 0;
    while (done < length) {
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(length - done, CFileCache::kWindowSize));
        const ByteView view = reader.MapView(position + done, chunk);
        if (view.empty()) break;
        done += out.Append(view);
    }
    return done;
}

bool ReadExactly(CFileCache& reader, uint64_t position, size_t length, std::string& out) {
    out.resize(length);
    if (reader.ReadAt(position, out.data(), length) == length) return true;
    out.clear();
    return false;
}

namespace {
constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};

// The parameter sets of one kind: a count (masked) and 16-bit-length units.
bool AppendParameterSets(ByteView record, uint64_t& pos, uint8_t countMask, ElementaryBuffer& out) {
    const unsigned count = record.U8(pos++) & countMask;
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t length = record.Be16(pos);
        const ByteView unit = record.Sub(pos + 2, length);
        if (unit.size() != length || length == 0) return false;
        if (out.Room() < 4u + length) return false;
        out.Append(kStartCode, 4);
        out.Append(unit);
        pos += 2u + length;
    }
    return true;
}
}  // namespace

int AppendAvcConfig(ByteView record, ElementaryBuffer& out) {
    // configurationVersion 1, profile, compatibility, level, 6 bits set + lengthSizeMinusOne.
    if (record.size() < 7 || record.U8(0) != 1) return 0;
    const int lengthSize = (record.U8(4) & 3) + 1;
    if (lengthSize == 3) return 0;
    uint64_t pos = 5;
    if (!AppendParameterSets(record, pos, 0x1F, out)) return 0;
    if (!AppendParameterSets(record, pos, 0xFF, out)) return 0;
    return lengthSize;
}

namespace {
uint32_t PrefixAt(ByteView sample, uint64_t pos, int lengthSize) {
    switch (lengthSize) {
        case 1: return sample.U8(pos);
        case 2: return sample.Be16(pos);
        default: return sample.Be32(pos);
    }
}
}  // namespace

bool AppendAvcSample(ByteView sample, int lengthSize, ElementaryBuffer& out) {
    if (lengthSize != 1 && lengthSize != 2 && lengthSize != 4) return false;
    // First pass: every unit must lie inside the sample, and the result must fit.
    uint64_t converted = 0;
    for (uint64_t pos = 0; pos < sample.size();) {
        if (!sample.Has(pos, static_cast<uint64_t>(lengthSize))) return false;
        const uint32_t length = PrefixAt(sample, pos, lengthSize);
        pos += static_cast<uint64_t>(lengthSize);
        if (!sample.Has(pos, length)) return false;
        converted += 4u + length;
        pos += length;
    }
    if (converted > out.Room()) return false;
    for (uint64_t pos = 0; pos < sample.size();) {
        const uint32_t length = PrefixAt(sample, pos, lengthSize);
        pos += static_cast<uint64_t>(lengthSize);
        out.Append(kStartCode, 4);
        out.Append(sample.Sub(pos, length));
        pos += length;
    }
    return true;
}

std::string FourCCText(uint32_t fourcc) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[static_cast<size_t>(i)] = static_cast<char>(fourcc >> (8 * i) & 0xFF);
    return text;
}

namespace {
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool FourCCEqualsNoCase(uint32_t fourcc, std::string_view code) {
    if (code.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (UpperAscii(static_cast<char>(fourcc >> (8 * i) & 0xFF)) != UpperAscii(code[i])) return false;
    return true;
}

namespace {
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (char c : bytes) AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

std::string Utf16LeToUtf8(ByteView bytes, size_t maxChars) {
    std::string out;
    const size_t units = std::min(bytes.size() / 2, maxChars);
    for (size_t i = 0; i < units; ++i) {
        uint32_t unit = bytes.Le16(2 * i);
        if (unit == 0) break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const uint32_t low = bytes.Le16(2 * i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
        AppendUtf8(out, unit);
    }
    return out;
}

bool IsShowableTime(int64_t seconds) {
    constexpr int64_t kEndOfYear3000 = 32535215999;
    if (seconds < 0 || seconds > kEndOfYear3000) return false;
    const auto t = static_cast<time_t>(seconds);
    std::tm local{};
    return localtime_r(&t, &local) != nullptr;
}

}  // namespace torvo
