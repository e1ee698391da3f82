// The chain search: can a chain of at most six registered filters turn the
// type a file's data arrives in into something a renderer accepts? It works
// on the inventory's own records and allocates nothing.
#pragma once

#include <array>
#include <cstdint>

#include "inventory/CodecEntry.h"

namespace torvo {

class CGraphNode {
public:
    virtual ~CGraphNode() = default;

    int32_t choice = -1;       // -1 none, 0 the target accepts, i > 0 inventory entry i
    int32_t pinIndex = -1;     // the pin that matched
    int32_t target = -1;       // inventory index of the renderer ending the chain
    const MediaTypePair* inputType = nullptr;
    const MediaTypePair* outputType = nullptr;
    const MediaTypePair* elementaryType = nullptr;
    int32_t lenientSplitter = 1;
    const char* name = "Unassigned";
    CodecEntry* entries = nullptr;
    int32_t count = 0;
};

inline constexpr int kGraphNodes = 6;

class CGraph {
public:
    CGraph(CodecEntry* entries, int32_t count);
    virtual ~CGraph() = default;

    int32_t state = 0;
    std::array<CGraphNode, kGraphNodes> nodes;
    CodecEntry* entries = nullptr;
    int32_t count = 0;
    int result = -1;
};

enum Direction : int32_t { kInput = 0, kOutput = 1 };

// Clears every entry's in-chain counter and exclusion bytes.
void ClearSearchState(CodecEntry* entries, int32_t count);
// The same for the whole inventory, when anything may have set them.
void ClearSearchState(CodecInventory& inventory);

// Source S and elementary type E of the stream, renderer CLSID R. The
// preferred filter text has no effect on the result.
bool ChainSearch(CGraph& graph, const MediaTypePair& source, const MediaTypePair& elementary, const Guid& renderer,
                 const char* preferredFilter = "", bool videoSearch = false);
bool SearchNode(CGraph& graph, int k, const MediaTypePair* type, int depth, int predecessor);

// Does the entry accept the type on a pin of that direction? (pin index out)
bool AcceptsType(CodecEntry& entry, const MediaTypePair& type, int32_t direction, int predecessor,
                 int32_t* pinIndex = nullptr);
bool IsSplitter(CodecEntry& entry);
// Also sets the entry's cached encoder answer.
bool IsDecoder(CodecEntry& entry);
bool IsEncoder(CodecEntry& entry);
bool IsUncompressedType(const MediaTypePair& pair);

}  // namespace torvo
