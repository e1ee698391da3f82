// One line of a filter chain as the render panel lists it: clickable
// elements (the header, inventory entries, media types, the renderer), each
// with a detail text, whose texts make up the line.
#pragma once

#include <string>
#include <vector>

#include "inventory/ChainSearch.h"
#include "base/GuidText.h"

namespace torvo {

enum class ChainElementType { kHeader = 1, kEntry = 2, kMediaType = 3, kRenderer = 4 };

struct ChainElement {
    std::string text;
    std::string detail;
    int streamKind = 0;  // 1 video, 2 audio, 0 the render test
    int chainIndex = 0;
    ChainElementType type = ChainElementType::kHeader;
    int inventoryIndex = -1;
    MediaTypePair mediaType{};
};

struct ChainLine {
    std::vector<ChainElement> elements;
    // The concatenated element texts, at most 255 characters.
    std::string Text() const;
};

// The elements of a chain: the header "(ист)-->" with its detail, then per
// node with a choice the media types (lettered from A), entries and renderer.
ChainLine MakeChainLine(const CGraph& graph, const std::string& header, int streamKind, int chainIndex,
                        const GuidNameLookup& guidNames);

}  // namespace torvo
