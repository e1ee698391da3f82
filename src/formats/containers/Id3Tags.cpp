#include "formats/containers/Id3Tags.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/CoverPicture.h"

namespace torvo {
namespace {

constexpr size_t kMaxText = 128;  // characters kept of one text
constexpr size_t kMaxFrames = 512;

struct WantedFrame {
    std::string_view id;  // four characters (v2.3, v2.4) or three (v2.2)
    const char* name;
};
constexpr std::array<WantedFrame, 12> kWanted = {{
    {"TIT2", "Title"}, {"TPE1", "Artist"}, {"TALB", "Album"}, {"TYER", "Year"}, {"TDRC", "Year"},
    {"COMM", "Comment"}, {"TT2", "Title"}, {"TP1", "Artist"}, {"TAL", "Album"}, {"TYE", "Year"},
    {"COM", "Comment"}, {"TDA", "Year"},
}};

bool HasItem(const std::vector<MetadataItem>& items, std::string_view name) {
    return std::any_of(items.begin(), items.end(), [&](const MetadataItem& i) { return i.name == name; });
}

void AddItem(std::vector<MetadataItem>& items, const char* name, std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    if (text.empty() || items.size() >= kMaxMetadataItems || HasItem(items, name)) return;
    items.push_back({name, std::string(TruncateUtf8(text, kMaxText)), {}});
}

// Text in one of the four ID3v2 encodings, up to its first terminator.
std::string DecodeText(uint8_t encoding, ByteView bytes) {
    if (encoding == 0 || encoding == 3) {
        const uint64_t end = bytes.FindByte(0, 0);
        const ByteView text = bytes.Sub(0, end == ByteView::npos ? bytes.size() : end);
        const std::string_view raw(reinterpret_cast<const char*>(text.data()), text.size());
        if (encoding == 3) return IsValidUtf8(raw) ? std::string(raw) : Latin1ToUtf8(raw);
        return Latin1ToUtf8(raw);
    }
    // UTF-16: with a byte order mark (1), or big-endian without one (2).
    bool bigEndian = encoding == 2;
    uint64_t from = 0;
    if (encoding == 1 && bytes.size() >= 2) {
        bigEndian = bytes.U8(0) == 0xFE && bytes.U8(1) == 0xFF;
        if ((bytes.U8(0) == 0xFF && bytes.U8(1) == 0xFE) || bigEndian) from = 2;
    }
    std::string units;
    for (uint64_t i = from; i + 1 < bytes.size() && units.size() < 2 * kMaxText; i += 2) {
        const uint8_t a = bytes.U8(i), b = bytes.U8(i + 1);
        units += static_cast<char>(bigEndian ? b : a);
        units += static_cast<char>(bigEndian ? a : b);
    }
    return Utf16LeToUtf8(ByteView(reinterpret_cast<const uint8_t*>(units.data()), units.size()), kMaxText);
}

// A comment frame: encoding, language, a short description ending in a
// terminator of the encoding's width, then the text.
std::string CommentText(ByteView body) {
    const uint8_t encoding = body.U8(0);
    const bool wide = encoding == 1 || encoding == 2;
    uint64_t p = 4;
    while (p < body.size() && (body.U8(p) != 0 || (wide && body.U8(p + 1) != 0))) p += wide ? 2 : 1;
    p += wide ? 2 : 1;
    return p < body.size() ? DecodeText(encoding, body.From(p)) : std::string();
}

uint32_t Synchsafe(ByteView b, uint64_t p) {
    return uint32_t(b.U8(p) & 0x7F) << 21 | uint32_t(b.U8(p + 1) & 0x7F) << 14 | uint32_t(b.U8(p + 2) & 0x7F) << 7 |
           (b.U8(p + 3) & 0x7F);
}

// The picture data of an attached picture frame (APIC; PIC in v2.2):
// encoding, the MIME type (v2.2: a three-letter format), the picture type
// and a description ending in a zero of the encoding's width.
ByteView PictureData(ByteView body, int version) {
    const uint8_t encoding = body.U8(0);
    uint64_t p = 1;
    if (version == 2) {
        p += 3;
    } else {
        const uint64_t end = body.FindByte(0, p);
        if (end == ByteView::npos) return {};
        p = end + 1;
    }
    ++p;  // picture type
    const bool wide = encoding == 1 || encoding == 2;
    while (p < body.size() && (body.U8(p) != 0 || (wide && body.U8(p + 1) != 0))) p += wide ? 2 : 1;
    p += wide ? 2 : 1;
    return p < body.size() ? body.From(p) : ByteView();
}

}  // namespace

size_t ReadId3v2(ByteView data, std::vector<MetadataItem>& items, std::vector<AttachedPicture>* pictures) {
    if (!data.Equals(0, "ID3") || !data.Has(0, 10)) return 0;
    const size_t before = items.size();
    const int version = data.U8(3);
    const uint8_t flags = data.U8(5);
    if (version < 2 || version > 4) return 0;
    const uint64_t tagSize = std::min<uint64_t>(Synchsafe(data, 6), data.size() - 10);
    ByteView tag = data.Sub(10, tagSize);
    // A tag unsynchronised as a whole (v2.2, v2.3) has a zero after each 0xFF.
    std::string restored;
    if ((flags & 0x80) && version < 4) {
        restored.reserve(tag.size());
        for (uint64_t i = 0; i < tag.size(); ++i) {
            restored += static_cast<char>(tag.U8(i));
            if (tag.U8(i) == 0xFF && tag.U8(i + 1) == 0 && i + 1 < tag.size()) ++i;
        }
        tag = ByteView(reinterpret_cast<const uint8_t*>(restored.data()), restored.size());
    }
    uint64_t p = 0;
    if ((flags & 0x40) && version >= 3) p = version == 3 ? 4 + uint64_t(tag.Be32(0)) : Synchsafe(tag, 0);
    const uint64_t idLength = version == 2 ? 3 : 4, headerLength = version == 2 ? 6 : 10;
    for (size_t n = 0; n < kMaxFrames && tag.Has(p, headerLength); ++n) {
        if (tag.U8(p) == 0) break;  // padding
        const std::string_view id(reinterpret_cast<const char*>(tag.data() + p), idLength);
        const uint64_t size = version == 2 ? tag.Be24(p + 3) : version == 3 ? tag.Be32(p + 4) : Synchsafe(tag, p + 4);
        const bool picture = id == (version == 2 ? "PIC" : "APIC");
        // A picture needs only its first bytes: one the data cuts short still counts.
        const ByteView body = picture ? tag.Sub(p + headerLength, std::min(size, tag.size() - std::min(tag.size(), p + headerLength)))
                                      : tag.Sub(p + headerLength, size);
        if (body.size() != size && (!picture || body.empty())) break;
        // Compressed or encrypted frames (v2.3 and v2.4 flags) are passed over.
        const uint8_t formatFlags = version == 2 ? 0 : tag.U8(p + 9);
        const bool readable = version == 3 ? (formatFlags & 0xC0) == 0 : (formatFlags & 0x0C) == 0;
        if (picture && pictures && readable) AddAttachedPicture(PictureData(body, version), *pictures);
        for (const WantedFrame& w : kWanted) {
            if (w.id != id || !readable || size < 2) continue;
            AddItem(items, w.name, w.name == std::string_view("Comment") ? CommentText(body)
                                                                         : DecodeText(body.U8(0), body.From(1)));
        }
        p += headerLength + size;
    }
    return items.size() - before;
}

size_t ReadId3v1(ByteView tag, std::vector<MetadataItem>& items) {
    if (tag.size() < 128 || !tag.Equals(0, "TAG")) return 0;
    const size_t before = items.size();
    auto field = [&](uint64_t at, uint64_t length) {
        const ByteView bytes = tag.Sub(at, length);
        const uint64_t end = bytes.FindByte(0, 0);
        const ByteView text = bytes.Sub(0, end == ByteView::npos ? bytes.size() : end);
        return Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    };
    AddItem(items, "Title", field(3, 30));
    AddItem(items, "Artist", field(33, 30));
    AddItem(items, "Album", field(63, 30));
    AddItem(items, "Year", field(93, 4));
    AddItem(items, "Comment", field(97, 30));
    return items.size() - before;
}

}  // namespace torvo
