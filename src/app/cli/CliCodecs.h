// torvo-cli --codecs: the codec list of the inventory, as text lines of the
// six columns or as one JSON object per entry with its pins and types.
#pragma once

#include <ostream>

#include "inventory/CodecEntry.h"
#include "base/GuidText.h"

namespace torvo::cli {

void PrintCodecList(std::ostream& out, const CodecInventory& inventory, bool json, const GuidNameLookup& names);

}  // namespace torvo::cli
