// Helpers the MP4/QuickTime, FLV and ASF readers share: copying file bytes
// into elementary buffers, H.264 configuration records and length-prefixed
// NAL units turned into start-code form, FourCC and text conversions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// Copies up to `length` bytes at `position` into the buffer, cut to its free
// room and to the end of the reader's data; returns the bytes copied.
size_t AppendFromReader(CFileCache& reader, uint64_t position, uint64_t length, ElementaryBuffer& out);

// Reads `length` bytes at `position` into `out`; false (out emptied) when they
// are not all there.
bool ReadExactly(CFileCache& reader, uint64_t position, size_t length, std::string& out);

// An AVCDecoderConfigurationRecord (ISO/IEC 14496-15): its sequence and
// picture parameter sets are appended with four-byte start codes. Returns the
// NAL length-prefix size the samples use (1, 2 or 4), or 0 when the record
// is not usable.
int AppendAvcConfig(ByteView record, ElementaryBuffer& out);

// One sample of length-prefixed NAL units appended with start codes instead
// of the prefixes. Nothing is appended (and false returned) when the whole
// converted sample does not fit, or when a prefix runs past the sample.
bool AppendAvcSample(ByteView sample, int lengthSize, ElementaryBuffer& out);

// A FourCC whose first byte is stored in the low byte (as ContainerInfo and
// VideoInfo keep them), from four stored bytes and back to four characters.
constexpr uint32_t FourCCFromBytes(ByteView bytes, uint64_t pos) { return bytes.Has(pos, 4) ? bytes.Le32(pos) : 0; }
std::string FourCCText(uint32_t fourcc);

// Four-byte codes compared without regard to the case of ASCII letters.
bool FourCCEqualsNoCase(uint32_t fourcc, std::string_view code);

// Bytes of an 8-bit text where 0x80-0xFF are Latin-1 (iTunes tag names such
// as "\xA9nam"), as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// A little-endian UTF-16 text of at most maxChars code units, stopping at a
// terminating zero, as UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(ByteView bytes, size_t maxChars);

// Whether seconds since 1970 can be shown as a local time (0 to the end of
// the year 3000, as the time formatting of the report accepts).
bool IsShowableTime(int64_t seconds);

}  // namespace torvo
