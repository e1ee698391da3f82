#include "CliCodecs.h"

#include "inventory/CodecListing.h"

namespace torvo::cli {

void PrintCodecList(std::ostream& out, const CodecInventory& inventory, bool json, const GuidNameLookup& names) {
    if (!json) {
        out << kCodecListTitle << "\n";
        // The element name, which --set-merit takes, follows the list's own columns.
        for (size_t c = 0; c < kCodecListColumns.size(); ++c) out << (c ? "\t" : "") << kCodecListColumns[c];
        out << "\tElement\n";
    }
    for (int i = 0; i < inventory.Count(); ++i) {
        const CodecEntry& e = inventory.At(i);
        if (json) {
            out << CodecListJsonLine(e, names) << "\n";
            continue;
        }
        const auto cells = CodecListCells(e);
        for (size_t c = 0; c < cells.size(); ++c) out << (c ? "\t" : "") << cells[c];
        out << "\t" << e.element.View() << "\n";
    }
}

}  // namespace torvo::cli
