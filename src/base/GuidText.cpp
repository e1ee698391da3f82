#include "base/GuidText.h"

#include <cctype>

#include "base/Text.h"

namespace torvo {

std::string GuidText(const Guid& guid, const GuidNameLookup& lookup, GuidTextOptions options, size_t size,
                     std::string* fourccOut) {
    const std::string registry = GuidString(guid);
    std::string text;
    std::string name;
    if (guid.IsNull()) {
        text = "{ * }";
    } else if (lookup && lookup(registry, name)) {
        text = options.append ? name + " " + registry : name;
    } else if (options.decodeFourcc && EqualsIgnoreAsciiCase(std::string_view(registry).substr(10),
                                                              "0000-0010-8000-00AA00389B71}")) {
        if (registry.starts_with("{0000")) {
            text = Format("FmtTag: 0x%04x    ", guid.data1 & 0xFFFF);
        } else {
            char c[4];
            for (int i = 0; i < 4; ++i) c[i] = static_cast<char>((guid.data1 >> (8 * i)) & 0xFF);
            text = Format("4cc: %c%c%c%c    ", c[0], c[1], c[2], c[3]);
            if (fourccOut) {
                if (c[0] >= 'a' && c[0] <= 'z') c[0] = static_cast<char>(c[0] - 'a' + 'A');
                fourccOut->assign(c, 4);
            }
        }
        if (options.append) text += " " + registry;
    } else {
        text = registry;
    }
    if (size == 0) return {};
    return std::string(TruncateUtf8(text, size - 1));
}

std::string StripTypePrefix(std::string_view text) {
    static constexpr std::string_view kPrefixes[] = {"MEDIATYPE_", "MEDIASUBTYPE_", "WMMEDIATYPE_", "WMMEDIASUBTYPE_",
                                                     "WAVE_FORMAT_", "fmt:", "4cc:"};
    for (std::string_view prefix : kPrefixes) {
        if (text.size() < prefix.size() || !EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix)) continue;
        std::string rest(text.substr(prefix.size()));
        if (prefix == "4cc:")
            for (char& c : rest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return rest;
    }
    return std::string(text);
}

}  // namespace torvo
