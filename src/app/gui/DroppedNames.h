// The names a drop on the window queues: files as they are, folders by the
// media files inside them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/NameList.h"

namespace torvo::gui {

// Whether the name ends in an extension of a kind the program reads.
bool HasMediaExtension(const std::string& path);

// Dropped files in their order; each dropped folder adds the media files
// below it (all levels, symbolic links to folders not followed), sorted by
// name. At most `limit` names; the rest are counted.
ExpandedNames ExpandDroppedNames(const std::vector<std::string>& dropped, size_t limit);

}  // namespace torvo::gui
