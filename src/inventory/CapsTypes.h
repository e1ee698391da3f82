// The one table that maps GStreamer caps to the media type pairs of the
// inventory. The GStreamer platform turns pad templates into pins with it;
// the codec status derives a stream's types from what the analysis found
// through the same rows, so both sides always agree.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "inventory/CodecEntry.h"

namespace torvo {

struct CapsTypeRow {
    // A caps structure in GStreamer's text form; a template structure that
    // can intersect it registers the pair.
    const char* caps;
    MediaTypePair pair;
};

std::span<const CapsTypeRow> CapsTypeTable();
// FNV-1a over every row's caps text and GUIDs, worked out when the program is
// built: caches of media types made from another table must not be read.
uint64_t CapsTypeTableHash();

// The pair of the first row whose caps text is exactly `caps`.
std::optional<MediaTypePair> TypeForCaps(std::string_view caps);

// The project's own pair for caps without a Windows counterpart: the major
// type by the media kind, the subtype the name-based GUID of "torvo:caps:" + name.
MediaTypePair ProjectTypeForCaps(std::string_view capsName);

}  // namespace torvo
