// EBML (RFC 8794), the element coding of Matroska and WebM: variable-length
// element ids and sizes, unsigned, float and text payloads, and the DocType
// of the EBML header that names the document kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ByteView.h"
#include "records/SignatureTable.h"

namespace torvo {

inline constexpr uint32_t kEbmlHeaderId = 0x1A45DFA3;
inline constexpr uint32_t kEbmlDocTypeId = 0x4282;

// An element header: the id with its length marker bits kept (0x1A45DFA3),
// the payload size, and where the payload starts relative to the header.
struct EbmlElement {
    uint32_t id = 0;
    uint64_t size = 0;
    bool unknownSize = false;  // all size bits set: the element runs to its parent's end
    uint64_t headerLength = 0;
};

// Reads the element header at pos. False when the id or size is malformed
// (a length marker beyond four id bytes or eight size bytes) or not all there.
bool ReadEbmlElement(ByteView bytes, uint64_t pos, EbmlElement& element);

// Payload values: big-endian unsigned of up to eight bytes (0 when longer),
// IEEE float of four or eight bytes (0 otherwise), text cut at the first NUL.
uint64_t EbmlUnsigned(ByteView payload);
double EbmlFloat(ByteView payload);
std::string EbmlText(ByteView payload, size_t maxLength);

// The DocType of the EBML header at the start of the bytes, wherever it
// stands among the header's children ("matroska", "webm"); empty when the
// bytes do not begin with an EBML header that has one.
std::string EbmlDocType(ByteView header);

// The signature row of a Matroska or WebM file (type 49; WebM with its own
// MIME type), or nullptr for any other DocType or no EBML header.
const SignatureRow* MatroskaRow(ByteView header);

}  // namespace torvo
