#include "DroppedNames.h"

#include "analysis/NameList.h"

namespace torvo::gui {

// The folder search is the core's, shared with torvo-cli's folder arguments.
ExpandedNames ExpandDroppedNames(const std::vector<std::string>& dropped, size_t limit) {
    return ExpandFolders(dropped, limit);
}

}  // namespace torvo::gui
