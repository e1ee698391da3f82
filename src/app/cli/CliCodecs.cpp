#include "CliCodecs.h"

#include <nlohmann/json.hpp>

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
        const auto cells = CodecListCells(e);
        if (!json) {
            for (size_t c = 0; c < cells.size(); ++c) out << (c ? "\t" : "") << cells[c];
            out << "\t" << e.element.View() << "\n";
            continue;
        }
        nlohmann::ordered_json j;
        j["index"] = e.index;
        j["kind"] = cells[0];
        j["format"] = cells[1];
        j["name"] = cells[2];
        j["id"] = cells[3];
        j["merit"] = cells[4];
        j["file"] = cells[5];
        j["clsid"] = e.clsidText.View();
        j["element"] = e.element.View();
        j["path"] = e.path.View();
        j["status"] = e.status;
        j["version"] = e.version.texts[kFileVersion].View();
        nlohmann::ordered_json pins = nlohmann::ordered_json::array();
        for (int p = 0; p < e.registration.pinCount; ++p) {
            const PinTypes& pin = e.registration.pins[static_cast<size_t>(p)];
            nlohmann::ordered_json types = nlohmann::ordered_json::array();
            for (int t = 0; t < pin.typeCount; ++t) {
                const MediaTypePair& pair = pin.types[static_cast<size_t>(t)];
                types.push_back({{"major", GuidString(pair.major)},
                                 {"subtype", GuidString(pair.subtype)},
                                 {"name", GuidText(pair.major, names, {}) + " / " +
                                              GuidText(pair.subtype, names, {.decodeFourcc = true})}});
            }
            pins.push_back({{"output", pin.output != 0}, {"types", types}});
        }
        j["pins"] = pins;
        out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    }
}

}  // namespace torvo::cli
