#include "inventory/CodecListing.h"

#include "base/Guid.h"
#include "base/JsonText.h"
#include "base/Translate.h"

namespace torvo {

std::array<std::string, 6> CodecListCells(const CodecEntry& e) {
    std::string file;
    if (e.status != kEntryFine) file = e.statusText.View();
    else if (e.acmDisabled) file = N_("Внимание: кодек отключен  ");
    else file = e.displayPath.View();
    return {KindLabel(e.kind), std::string(e.formatText.View()), std::string(e.name.View()),
            std::string(e.identifier.View()), std::string(e.registration.meritText.View()), file};
}

std::string CodecListJsonLine(const CodecEntry& e, const GuidNameLookup& names) {
    const auto cells = CodecListCells(e);
    std::string pins = "[";
    for (int p = 0; p < e.registration.pinCount; ++p) {
        const PinTypes& pin = e.registration.pins[static_cast<size_t>(p)];
        std::string types = "[";
        for (int t = 0; t < pin.typeCount; ++t) {
            const MediaTypePair& pair = pin.types[static_cast<size_t>(t)];
            if (t > 0) types += ',';
            types += CJsonObject()
                         .Add("major", GuidString(pair.major))
                         .Add("subtype", GuidString(pair.subtype))
                         .Add("name", GuidText(pair.major, names, {}) + " / " +
                                          GuidText(pair.subtype, names, {.decodeFourcc = true}))
                         .Text();
        }
        if (p > 0) pins += ',';
        pins += CJsonObject().Add("output", pin.output != 0).Raw("types", types + "]").Text();
    }
    return CJsonObject()
        .Add("index", e.index)
        .Add("kind", cells[0])
        .Add("format", cells[1])
        .Add("name", cells[2])
        .Add("id", cells[3])
        .Add("merit", cells[4])
        .Add("file", cells[5])
        .Add("clsid", e.clsidText.View())
        .Add("element", e.element.View())
        .Add("path", e.path.View())
        .Add("status", e.status)
        .Add("version", e.version.texts[kFileVersion].View())
        .Raw("pins", pins + "]")
        .Text();
}

}  // namespace torvo
