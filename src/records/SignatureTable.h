// The file signature table: byte patterns at fixed offsets that name a file
// type, in the order in which they are tried (the first match wins).
#pragma once

#include <cstdint>
#include <span>

#include "base/ByteView.h"

namespace torvo {

// Numeric file type ids; the rows of the table carry more of them.
enum FileTypeId : int32_t {
    kTypeUnknown = 0,
    kTypeEmpty = 1,
    kTypeAvi = 2,
    kTypeWave = 3,
    kTypeCdxa = 5,
    kTypeAsf = 7,
    kTypeMpegAudio = 8,
    kTypeAc3 = 10,
    kTypeDts = 11,
    kTypeAacAdts = 12,
    kTypeAacAdif = 13,
    kTypeQuickTime = 14,
    kTypeMpeg = 18,
    kTypeMp4 = 47,
    kTypeMatroska = 49,
    kTypeFlv = 52,
    kTypeDvIec61834 = 53,
    kTypeDvSmpte314M = 54,
    kTypeTransportStream = 86,
};

// How MPEG or elementary data was found in a file.
enum class StreamLayout : int32_t {
    kNone = 0,
    kVideoElementary = 1,
    kAudioElementary = 2,
    kMpeg1System = 3,
    kMpeg2Program = 4,
    kTransportStream = 5,
    kMp4Track = 6,
    kRawDv = 7,
};

struct SignatureRow {
    const char* pattern;      // bytes to compare; '?' matches any byte; nullptr ends the table
    uint32_t offset;          // where the comparison starts, from the logical start
    uint32_t length;          // bytes compared; 0 for types decided by content
    const char* description;  // shown to the user and stored as CONT_BASETYPE
    const char* mime;
    int32_t typeId;
};

// The 105 rows in table order, without the terminator.
std::span<const SignatureRow> SignatureRows();

// Whether a row's pattern matches the header buffer; bytes beyond what was
// read never match.
bool RowMatches(const SignatureRow& row, ByteView header);

// The first row (in table order) that carries this type id, or nullptr.
const SignatureRow* RowForType(int32_t typeId);

}  // namespace torvo
