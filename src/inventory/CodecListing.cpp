#include "inventory/CodecListing.h"

namespace torvo {

std::array<std::string, 6> CodecListCells(const CodecEntry& e) {
    std::string file;
    if (e.status != kEntryFine) file = e.statusText.View();
    else if (e.acmDisabled) file = "Внимание: кодек отключен  ";
    else file = e.displayPath.View();
    return {KindLabel(e.kind), std::string(e.formatText.View()), std::string(e.name.View()),
            std::string(e.identifier.View()), std::string(e.registration.meritText.View()), file};
}

}  // namespace torvo
