// torvo-cli --codecs: the codec list of the inventory, as text lines of the
// six columns or as one JSON object per entry with its pins and types.
#pragma once

#include <ostream>
#include <string_view>

#include "inventory/CodecEntry.h"
#include "base/GuidText.h"

namespace torvo::cli {

void PrintCodecList(std::ostream& out, const CodecInventory& inventory, bool json, const GuidNameLookup& names);

// torvo-cli --formats: the formats the program reads, from the format
// registry: short id, MIME types, extensions and name, as tab-separated
// lines or one JSON object per format.
void PrintFormatList(std::ostream& out, bool json);

}  // namespace torvo::cli
