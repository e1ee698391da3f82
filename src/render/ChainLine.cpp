#include "render/ChainLine.h"

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {

std::string ChainLine::Text() const {
    std::string text;
    for (const ChainElement& e : elements) text += e.text;
    return std::string(TruncateUtf8(text, 255));
}

ChainLine MakeChainLine(const CGraph& graph, const std::string& header, int streamKind, int chainIndex,
                        const GuidNameLookup& guidNames) {
    ChainLine line;
    auto add = [&](std::string text, std::string detail, ChainElementType type, int index = -1,
                   MediaTypePair pair = {}) {
        line.elements.push_back({std::move(text), std::move(detail), streamKind, chainIndex, type, index, pair});
    };
    add(N_("(ист)-->"), header, ChainElementType::kHeader);
    char letter = 'A';
    auto addType = [&](const MediaTypePair& pair) {
        add(Format(">--(%c)-->", letter), GuidText(pair.subtype, guidNames, {.decodeFourcc = true}),
            ChainElementType::kMediaType, -1, pair);
        ++letter;
    };
    for (size_t k = 0; k < graph.nodes.size(); ++k) {
        const CGraphNode& node = graph.nodes[k];
        if (node.choice == -1) continue;
        if (k == 0 && node.inputType) addType(*node.inputType);
        if (node.choice == 0) {
            // Entry 0 is a real renderer here (no ACM pass comes first), so it counts too.
            if (node.target >= 0 && node.target < graph.count) {
                const CodecEntry& e = graph.entries[node.target];
                add(Format("[%s ]", e.name.c_str()), std::string(e.displayPath.View()), ChainElementType::kRenderer,
                    node.target);
            }
        } else if (node.choice > 0 && node.choice < graph.count) {
            const CodecEntry& e = graph.entries[node.choice];
            const bool labelled = e.kind == kKindAcm || e.kind == kKindVfw || e.kind == kKindDmo;
            const std::string prefix = labelled ? Format("%s:", KindLabel(e.kind)) : std::string();
            add(Format("[%s%s ]", prefix.c_str(), e.name.c_str()), std::string(e.displayPath.View()),
                ChainElementType::kEntry, node.choice);
            if (node.outputType) addType(*node.outputType);
        }
    }
    return line;
}

}  // namespace torvo
