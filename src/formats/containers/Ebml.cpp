#include "formats/containers/Ebml.h"
#include "base/Translate.h"

#include <bit>

namespace torvo {

namespace {
// The length of a variable-length integer from its first byte: the position
// of the first set bit (1-8), 0 when the byte is zero.
int VintLength(uint8_t first) { return first ? std::countl_zero(first) + 1 : 0; }

constexpr SignatureRow kWebmRow = {"", 0, 0, N_("Видеозапись Matroska(.MKV)"), "video/webm", 49};
constexpr size_t kMaxDocTypeLength = 32;
constexpr int kMaxHeaderChildren = 64;
}  // namespace

bool ReadEbmlElement(ByteView bytes, uint64_t pos, EbmlElement& element) {
    const int idLength = VintLength(bytes.U8(pos));
    if (idLength == 0 || idLength > 4 || !bytes.Has(pos, static_cast<uint64_t>(idLength) + 1)) return false;
    uint32_t id = 0;
    for (int i = 0; i < idLength; ++i) id = id << 8 | bytes.U8(pos + static_cast<uint64_t>(i));
    const uint64_t sizeAt = pos + static_cast<uint64_t>(idLength);
    const uint8_t first = bytes.U8(sizeAt);
    const int sizeLength = VintLength(first);
    if (sizeLength == 0 || !bytes.Has(sizeAt, static_cast<uint64_t>(sizeLength))) return false;
    // The marker bit is dropped from the size; all remaining bits set means unknown.
    uint64_t size = first & (0xFFu >> sizeLength);
    bool allOnes = size == (0xFFu >> sizeLength);
    for (int i = 1; i < sizeLength; ++i) {
        const uint8_t b = bytes.U8(sizeAt + static_cast<uint64_t>(i));
        size = size << 8 | b;
        allOnes = allOnes && b == 0xFF;
    }
    element.id = id;
    element.size = size;
    element.unknownSize = allOnes;
    element.headerLength = static_cast<uint64_t>(idLength + sizeLength);
    return true;
}

uint64_t EbmlUnsigned(ByteView payload) {
    if (payload.size() > 8) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < payload.size(); ++i) value = value << 8 | payload.U8(i);
    return value;
}

double EbmlFloat(ByteView payload) {
    if (payload.size() == 4) return static_cast<double>(std::bit_cast<float>(payload.Be32(0)));
    if (payload.size() == 8) return std::bit_cast<double>(payload.Be64(0));
    return 0;
}

std::string EbmlText(ByteView payload, size_t maxLength) {
    std::string text;
    for (size_t i = 0; i < payload.size() && text.size() < maxLength; ++i) {
        const char c = static_cast<char>(payload.U8(i));
        if (c == '\0') break;
        text += c;
    }
    return text;
}

std::string EbmlDocType(ByteView header) {
    EbmlElement ebml;
    if (!ReadEbmlElement(header, 0, ebml) || ebml.id != kEbmlHeaderId || ebml.unknownSize) return {};
    const ByteView children = header.Sub(ebml.headerLength, ebml.size);
    if (children.empty()) return {};
    uint64_t pos = 0;
    EbmlElement child;
    for (int count = 0; count < kMaxHeaderChildren && ReadEbmlElement(children, pos, child); ++count) {
        if (child.unknownSize || child.size > children.size() - pos - child.headerLength) return {};
        if (child.id == kEbmlDocTypeId)
            return EbmlText(children.Sub(pos + child.headerLength, child.size), kMaxDocTypeLength);
        pos += child.headerLength + child.size;
    }
    return {};
}

const SignatureRow* MatroskaRow(ByteView header) {
    const std::string docType = EbmlDocType(header);
    if (docType == "matroska") return RowForType(49);
    if (docType == "webm") return &kWebmRow;
    return nullptr;
}

}  // namespace torvo
