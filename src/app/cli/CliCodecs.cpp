#include "CliCodecs.h"

#include "base/JsonText.h"
#include "base/Translate.h"
#include "formats/containers/FormatRegistry.h"
#include "inventory/CodecListing.h"

namespace torvo::cli {

void PrintCodecList(std::ostream& out, const CodecInventory& inventory, bool json, const GuidNameLookup& names) {
    if (!json) {
        out << Localise(kCodecListTitle) << "\n";
        // The element name, which --set-merit takes, follows the list's own columns.
        for (size_t c = 0; c < kCodecListColumns.size(); ++c) out << (c ? "\t" : "") << Localise(kCodecListColumns[c]);
        out << "\tElement\n";
    }
    for (int i = 0; i < inventory.Count(); ++i) {
        const CodecEntry& e = inventory.At(i);
        if (json) {
            out << CodecListJsonLine(e, names) << "\n";
            continue;
        }
        const auto cells = CodecListCells(e);
        for (size_t c = 0; c < cells.size(); ++c) out << (c ? "\t" : "") << Localise(cells[c]);
        out << "\t" << e.element.View() << "\n";
    }
}

void PrintFormatList(std::ostream& out, bool json) {
    for (const FormatDescriptor& f : Formats()) {
        const std::string mime(f.mime), audioMime(f.audioMime.empty() ? f.mime : f.audioMime);
        if (json) {
            out << CJsonObject()
                       .Add("id", f.id)
                       .Add("title", f.title)
                       .Add("mime", mime)
                       .Add("audio_mime", audioMime)
                       .Add("extensions", f.extensions)
                       .Add("read", f.reader != FormatReader::kNone)
                       .Text()
                << "\n";
        } else {
            out << f.id << "\t" << mime << (audioMime != mime ? "," + audioMime : "") << "\t" << f.extensions << "\t"
                << f.title << "\n";
        }
    }
}

}  // namespace torvo::cli
