// What the driver shows from the MP4/QuickTime, FLV and ASF records: pure
// functions of the records, so the driver only decides when to call them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "analysis/Display.h"
#include "records/Records.h"

namespace torvo {

// The QuickTime video codec name of a sample-entry FourCC (empty when unlisted);
// the driver asks it before the codec database for QuickTime files.
std::string_view QuickTimeVideoCodecName(uint32_t fourcc);

// The name of a sound sample entry (empty when unlisted).
std::string_view SoundEntryName(uint32_t fourcc);

// FLV video codec ids: the codec type and name texts and the Flash Player
// version the codec needs (0 for an id we do not know).
std::string_view FlvVideoCodecType(int codecId);
std::string_view FlvVideoCodecName(int codecId);
int FlvPlayerVersion(int codecId);

// The compatibility heading and line for an FLV file's video codec, in the container notes.
void AddFlvCompatibilityLines(Display& display, const AnalysisRecords& records);

// The major brand as "%s: %s", then each non-zero compatible brand that
// differs from it as "- %s: %s"; describeBrand gives a brand's description
// (the codec database's brand table, "<не знаю>" when unlisted).
using BrandDescriber = std::function<std::string(uint32_t brand)>;
void AddBrandLines(Display& display, const AnalysisRecords& records, const BrandDescriber& describeBrand);

// Each metadata item as its name and text joined by ":", in the user data list.
void AddMetadataLines(Display& display, const AnalysisRecords& records);

}  // namespace torvo
