#include "inventory/ChainSearch.h"

#include <cctype>
#include <string_view>

#include "base/Text.h"

namespace torvo {
namespace {

constexpr Guid kKnownSplitters[] = {
    G("{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"),  // AVI splitter
    G("{336475D0-942A-11CE-A870-00AA002FEAB5}"),  // MPEG-1 stream splitter
    G("{3AE86B20-7BE8-11D1-ABE6-00A0C905F375}"),
    G("{AFB6C280-2C41-11D3-8A60-0000F81E0E4A}"),  // MPEG-2 demultiplexer
    G("{731B8592-4001-46D4-B1A5-33EC792B4501}"),
};

constexpr Guid kUncompressedVideo[] = {
    G("{E436EB7F-524F-11CE-9F53-0020AF0BA770}"),  // overlay
    G("{E436EB78-524F-11CE-9F53-0020AF0BA770}"), G("{E436EB79-524F-11CE-9F53-0020AF0BA770}"),
    G("{E436EB7A-524F-11CE-9F53-0020AF0BA770}"), G("{E436EB7B-524F-11CE-9F53-0020AF0BA770}"),
    G("{E436EB7C-524F-11CE-9F53-0020AF0BA770}"), G("{E436EB7D-524F-11CE-9F53-0020AF0BA770}"),
    G("{E436EB7E-524F-11CE-9F53-0020AF0BA770}"),
    FourccGuid("AYUV"), FourccGuid("IF09"), FourccGuid("IYUV"), FourccGuid("UYVY"), FourccGuid("Y211"),
    FourccGuid("Y411"), FourccGuid("Y41P"), FourccGuid("YUY2"), FourccGuid("YV12"), FourccGuid("YVU9"),
    FourccGuid("YVYU"), guids::kSubtypeIa44Overlay,
};

// Whether a splitter's output pins name every type it hands on: each pin
// registers at least one type and none leaves its major type or subtype open
// (GStreamer's ANY caps register as an open pair). Such a splitter carries a
// stream only when one of those types is the stream's; a splitter with open
// outputs is taken at its word that it carries whatever its input holds.
bool OutputsNamedInFull(const CodecEntry& entry) {
    bool any = false;
    for (int p = 0; p < entry.registration.pinCount; ++p) {
        const PinTypes& pin = entry.registration.pins[static_cast<size_t>(p)];
        if (!pin.output) continue;
        if (pin.typeCount <= 0) return false;
        for (int t = 0; t < pin.typeCount; ++t) {
            const MediaTypePair& r = pin.types[static_cast<size_t>(t)];
            if (r.major.IsNull() || r.subtype.IsNull()) return false;
        }
        any = true;
    }
    return any;
}

// Whether an input pin of the entry registers exactly this type.
bool RegistersInput(const CodecEntry& entry, const MediaTypePair& type) {
    for (int p = 0; p < entry.registration.pinCount; ++p) {
        const PinTypes& pin = entry.registration.pins[static_cast<size_t>(p)];
        if (pin.output) continue;
        for (int t = 0; t < pin.typeCount; ++t) {
            const MediaTypePair& r = pin.types[static_cast<size_t>(t)];
            if (SameType(r.major, type.major) && SameType(r.subtype, type.subtype)) return true;
        }
    }
    return false;
}

// A file goes to the splitter of the highest merit that takes its type in;
// should that one not carry a stream, one of lower merit never gets the file.
bool OutrankedSplitter(CodecEntry* entries, int32_t count, int32_t index, const MediaTypePair& type) {
    const uint32_t merit = entries[index].registration.merit;
    for (int32_t j = 1; j < count; ++j) {
        CodecEntry& other = entries[j];
        if (j != index && other.registration.merit > merit && RegistersInput(other, type) && IsSplitter(other))
            return true;
    }
    return false;
}

bool NameSaysSplitter(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::string_view word : {"splitter", "parser", "demux", "demultiplex"})
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

// The first registered type of a pin whose subtype is not null, else its first.
const MediaTypePair* RepresentativeType(const PinTypes& pin) {
    if (pin.typeCount <= 0) return nullptr;
    for (int t = 0; t < pin.typeCount; ++t)
        if (!pin.types[static_cast<size_t>(t)].subtype.IsNull()) return &pin.types[static_cast<size_t>(t)];
    return &pin.types[0];
}

void Classify(CodecEntry& e) {
    SearchState& s = e.search;
    if (s.decoderValid) return;
    s.decoderValid = 1;
    s.decoder = s.encoder = 0;
    if (IsSplitter(e)) return;
    const PinTypes* in = nullptr;
    const PinTypes* out = nullptr;
    for (int p = 0; p < e.registration.pinCount; ++p) {
        const PinTypes& pin = e.registration.pins[static_cast<size_t>(p)];
        if (pin.output && !out) out = &pin;
        if (!pin.output && !in) in = &pin;
    }
    if (!in || !out) return;
    const MediaTypePair* a = RepresentativeType(*in);
    const MediaTypePair* b = RepresentativeType(*out);
    if (!a || !b) return;
    s.decoder = !IsUncompressedType(*a) && IsUncompressedType(*b);
    s.encoder = IsUncompressedType(*a) && !IsUncompressedType(*b);
}

}  // namespace

CGraph::CGraph(CodecEntry* e, int32_t n) : entries(e), count(n) {
    for (CGraphNode& node : nodes) {
        node.entries = e;
        node.count = n;
    }
}

void ClearSearchState(CodecEntry* entries, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        entries[i].search.inChain = 0;
        entries[i].search.excluded.fill(0);
    }
}

void ClearSearchState(CodecInventory& inventory) {
    if (!inventory.searchScratchSet) return;
    ClearSearchState(inventory.Entries(), inventory.Count());
    inventory.searchScratchSet = false;
}

bool AcceptsType(CodecEntry& entry, const MediaTypePair& type, int32_t direction, int predecessor, int32_t* pinIndex) {
    // The pins first: most entries take no such type, and their scratch, on
    // a page of its own that a search otherwise never touches, stays unread.
    const bool anyAudio = SameType(type.major, guids::kMediaTypeAudio) && type.subtype.IsNull();
    for (int p = 0; p < entry.registration.pinCount; ++p) {
        const PinTypes& pin = entry.registration.pins[static_cast<size_t>(p)];
        if (pin.output != direction) continue;
        for (int t = 0; t < pin.typeCount; ++t) {
            const MediaTypePair& r = pin.types[static_cast<size_t>(t)];
            if (anyAudio || (SameType(r.major, type.major) && SameType(r.subtype, type.subtype))) {
                if (entry.search.inChain != 0) return false;
                if (predecessor >= 0 && predecessor < static_cast<int>(kInventoryCapacity) &&
                    entry.search.excluded[static_cast<size_t>(predecessor)] != 0)
                    return false;
                if (pinIndex) *pinIndex = p;
                return true;
            }
        }
    }
    return false;
}

bool IsSplitter(CodecEntry& e) {
    SearchState& s = e.search;
    if (s.splitterValid) return s.splitter != 0;
    s.splitterValid = 1;
    s.splitter = 0;
    for (const Guid& g : kKnownSplitters)
        if (SameType(e.clsid, g)) return (s.splitter = 1) != 0;
    int inputs = 0, outputs = 0;
    const MediaTypePair* firstOutput = nullptr;
    bool mixedOutputs = false;
    for (int p = 0; p < e.registration.pinCount; ++p) {
        const PinTypes& pin = e.registration.pins[static_cast<size_t>(p)];
        if (!pin.output) {
            ++inputs;
            continue;
        }
        ++outputs;
        if (pin.typeCount <= 0) continue;
        if (!firstOutput) firstOutput = &pin.types[0];
        else if (!SameType(firstOutput->major, pin.types[0].major)) mixedOutputs = true;
    }
    if (inputs == 1 && outputs > 1 && mixedOutputs) return (s.splitter = 1) != 0;
    s.splitter = NameSaysSplitter(e.name.View()) ? 1 : 0;
    return s.splitter != 0;
}

bool IsDecoder(CodecEntry& e) {
    Classify(e);
    return e.search.decoder != 0;
}

bool IsEncoder(CodecEntry& e) {
    Classify(e);
    return e.search.encoder != 0;
}

bool IsUncompressedType(const MediaTypePair& pair) {
    if (SameType(pair.major, guids::kMediaTypeAudio))
        return SameType(pair.subtype, guids::kSubtypePcm) || pair.subtype.IsNull();
    if (!SameType(pair.major, guids::kMediaTypeVideo)) return false;
    if (pair.subtype.IsNull()) return true;
    for (const Guid& g : kUncompressedVideo)
        if (SameType(pair.subtype, g)) return true;
    return false;
}

bool SearchNode(CGraph& graph, int k, const MediaTypePair* type, int depth, int predecessor) {
    if (k >= kGraphNodes) return false;
    CGraphNode& node = graph.nodes[static_cast<size_t>(k)];
    node.inputType = type;
    if (node.target >= 0 && node.target < graph.count &&
        AcceptsType(graph.entries[node.target], *type, kInput, predecessor, &node.pinIndex)) {
        node.choice = 0;
        return true;
    }
    if (depth == 0) return false;
    for (int i = 1; i < graph.count; ++i) {
        node.choice = i;
        CodecEntry& entry = graph.entries[i];
        if (!AcceptsType(entry, *type, kInput, predecessor, &node.pinIndex)) continue;
        if (IsSplitter(entry) && node.elementaryType && !node.elementaryType->major.IsNull()) {
            if (OutrankedSplitter(graph.entries, graph.count, i, *type)) continue;
            const bool carries = AcceptsType(entry, *node.elementaryType, kOutput, -1);
            if (carries || (node.lenientSplitter && !OutputsNamedInFull(entry))) {
                node.outputType = node.elementaryType;
                node.name = entry.name.c_str();
                entry.search.inChain += 1;
                const bool found = SearchNode(graph, k + 1, node.elementaryType, depth - 1, i);
                entry.search.inChain -= 1;
                if (found) return true;
            }
            continue;
        }
        // Every output type of the entry in pin and type order; the cursor
        // lives in the entry, so a deeper visit of the same entry restarts it.
        SearchState& s = entry.search;
        const int32_t pins = entry.registration.pinCount;
        for (s.pinCursor = 0; s.pinCursor < pins; ++s.pinCursor) {
            if (!entry.registration.pins[static_cast<size_t>(s.pinCursor)].output) continue;
            for (s.typeCursor = 0;
                 s.pinCursor < pins && s.typeCursor < entry.registration.pins[static_cast<size_t>(s.pinCursor)].typeCount;
                 ++s.typeCursor) {
                const MediaTypePair* out =
                    &entry.registration.pins[static_cast<size_t>(s.pinCursor)].types[static_cast<size_t>(s.typeCursor)];
                node.outputType = out;
                node.name = entry.name.c_str();
                if (SearchNode(graph, k + 1, out, depth - 1, predecessor)) return true;
            }
        }
    }
    return false;
}

bool ChainSearch(CGraph& graph, const MediaTypePair& source, const MediaTypePair& elementary, const Guid& renderer,
                 const char* preferredFilter, bool videoSearch) {
    (void)preferredFilter;
    if (source.major.IsNull() || elementary.major.IsNull()) return false;
    int r = -1;
    for (int i = 0; i < graph.count && r < 0; ++i)
        if (SameType(graph.entries[i].clsid, renderer)) r = i;
    if (r < 0) return false;
    for (CGraphNode& node : graph.nodes) {
        node.target = r;
        node.elementaryType = &elementary;
    }
    bool found = false;
    for (int limit = 0; limit < kGraphNodes && !found; ++limit) found = SearchNode(graph, 0, &source, limit, -1);
    if (!found || !videoSearch) return found;
    // A chain through a VFW codec or the system's own decoders shows the plain renderer.
    bool plain = false;
    for (const CGraphNode& node : graph.nodes) {
        if (node.choice <= 0 || node.choice >= graph.count) continue;
        CodecEntry& e = graph.entries[node.choice];
        if (e.kind == kKindVfw || (!IsSplitter(e) && EqualsIgnoreAsciiCase(e.displayPath.View(), "quartz.dll"))) plain = true;
    }
    if (plain) {
        int plainRenderer = -1;
        for (int i = 0; i < graph.count && plainRenderer < 0; ++i)
            if (SameType(graph.entries[i].clsid, guids::kClsidVideoRenderer)) plainRenderer = i;
        for (CGraphNode& node : graph.nodes) node.target = plainRenderer;
    }
    return found;
}

}  // namespace torvo
