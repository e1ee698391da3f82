// The records of one render test: up to 20 filters of the built graph with
// six input and six output pins each, in one zero-filled area, and the walk
// that turns them into the video and the audio chain.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "inventory/CodecEntry.h"
#include "base/GuidText.h"
#include "render/RenderPlatform.h"

namespace torvo {

inline constexpr size_t kMaxGraphFilters = 20;
inline constexpr size_t kPinsPerDirection = 6;
inline constexpr size_t kMaxChainFilters = 6;

// Role flags of a filter; the audio chain's bits are these shifted by 8.
enum FilterRole : int32_t {
    kRoleSource = 1,
    kRoleUpstreamOfPassThrough = 2,
    kRolePassThrough = 4,
    kRoleUpstreamOfDecoder = 8,
    kRoleDecoder = 16,
    kRoleDownstreamOfDecoder = 32,
    kRoleChainStart = 64,
};

enum class ChainKind { kVideo, kAudio };

struct FilterRecord;

struct PinRecord {
    int32_t inUse;
    FixedText<128> name;
    MediaTypePair type;
    int32_t raw;  // the connection carries uncompressed samples of its kind
    int32_t pinId;
    int32_t peerId;  // -1 unconnected
    PinRecord* peer;
    FilterRecord* owner;
};

struct FilterRecord {
    int32_t roles;
    FixedText<128> name;
    Guid clsid;
    FixedText<260> path;
    std::array<PinRecord, kPinsPerDirection> inputs;
    std::array<PinRecord, kPinsPerDirection> outputs;
    PinRecord* downstream;
    int32_t inventoryIndex;
    char fourcc[5];
    VersionStrings version;

    bool Used() const { return !name.Empty(); }
};

// The four result texts of a test.
enum RenderText : size_t { kVideoChainText, kAudioChainText, kVideoDecoderText, kAudioDecoderText };

// One render test's records (CDsEnumFiltergraph without the graph, which
// lives in the platform).
class CFilterArea {
public:
    CFilterArea();
    CFilterArea(const CFilterArea&) = delete;
    CFilterArea& operator=(const CFilterArea&) = delete;

    void Clear();
    // Filter enumeration: the graph's filters in order, at most 20; pins by
    // direction into six records each (the sixth reused when all are taken);
    // then every pin record linked to its peer and owner.
    void Fill(const std::vector<GraphFilter>& filters);
    // Inventory index and FourCC text of every used record; the inventory
    // may be null (no index then).
    void Classify(CodecInventory* inventory, const GuidNameLookup& guidNames);
    // The chain walk from the renderer end towards the source.
    void DescribeChain(ChainKind kind, const GuidNameLookup& guidNames);

    std::array<FilterRecord, kMaxGraphFilters>& Filters() { return Records(); }
    const std::array<FilterRecord, kMaxGraphFilters>& Filters() const { return Records(); }
    const std::string& Text(RenderText which) const { return texts_[which]; }
    // The chain list of a kind: the renderer end first, at most six.
    const std::vector<FilterRecord*>& Chain(ChainKind kind) const { return chains_[kind == ChainKind::kAudio]; }
    // For each filter of that chain list, its output pin towards the renderer
    // in that chain (a demuxer feeds both chains through different pins, so
    // the record's own downstream pin only tells the last walk's).
    const std::vector<PinRecord*>& Downstream(ChainKind kind) const { return downstream_[kind == ChainKind::kAudio]; }

private:
    // The records (4 MB) are made by the first use: a program that never
    // runs a render test never pays for them.
    std::array<FilterRecord, kMaxGraphFilters>& Records() const;

    mutable std::unique_ptr<std::array<FilterRecord, kMaxGraphFilters>> filters_;
    std::array<std::string, 4> texts_;
    std::array<std::vector<FilterRecord*>, 2> chains_;
    std::array<std::vector<PinRecord*>, 2> downstream_;
};

// Is the type uncompressed for the chain's kind? (The registered lists of
// the chain search, or a connection that carries raw samples of that kind.)
bool UncompressedFor(ChainKind kind, const PinRecord& pin);

}  // namespace torvo
