// The names a drop on the window or its command line queues: files as they
// are, folders by the media files inside them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/NameList.h"

namespace torvo::gui {

// Dropped files in their order; each dropped folder adds the media files
// below it (all levels, identified by content), sorted by name. At most
// `limit` names; the rest are counted.
ExpandedNames ExpandDroppedNames(const std::vector<std::string>& dropped, size_t limit);

}  // namespace torvo::gui
