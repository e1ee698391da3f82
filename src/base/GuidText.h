// Names of class and media type identifiers as lists show them: the codec
// database's name, a decoded FourCC or format tag, or the registry text.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/Guid.h"

namespace torvo {

// The codec database's name for a GUID's registry text (FindGuidName).
using GuidNameLookup = std::function<bool(std::string_view registryText, std::string& name)>;

struct GuidTextOptions {
    bool decodeFourcc = false;
    bool append = false;  // the registry text follows the name
};

// "{ * }" for GUID_NULL, the database name, "FmtTag: 0x%04x    ",
// "4cc: %c%c%c%c    ", or the registry text; at most size - 1 bytes.
// fourccOut, when given, receives the four characters (first one upper-cased)
// in the FourCC case only.
std::string GuidText(const Guid& guid, const GuidNameLookup& lookup, GuidTextOptions options, size_t size = 128,
                     std::string* fourccOut = nullptr);

// Removes the first of MEDIATYPE_, MEDIASUBTYPE_, WMMEDIATYPE_, WMMEDIASUBTYPE_,
// WAVE_FORMAT_, fmt:, 4cc: that starts the text (any case); after "4cc:" the
// rest is upper-cased.
std::string StripTypePrefix(std::string_view text);

}  // namespace torvo
