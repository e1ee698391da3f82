#include "render/FilterRecords.h"

#include <cstring>
#include <type_traits>

#include "base/Text.h"
#include "inventory/ChainSearch.h"
#include "base/Translate.h"

namespace torvo {
namespace {

static_assert(std::is_trivially_copyable_v<FilterRecord>, "the filter area is zero-filled as bytes");

bool IsFourccGuid(const Guid& g) { return g.data2 == 0 && g.data3 == 0x0010 && g == FourccGuidOf(g.data1); }

// The last entry (in table order, up to the first unused one) that registers
// exactly this video type on an input pin.
int VfwEntryFor(CodecInventory& inventory, const Guid& subtype) {
    const MediaTypePair wanted{guids::kMediaTypeVideo, FourccGuidOf(subtype.data1)};
    int found = -1;
    for (int i = 0; i < inventory.Count(); ++i) {
        const CodecEntry& e = inventory.At(i);
        if (e.name.Empty() && e.identifier.Empty()) break;
        for (int p = 0; p < e.registration.pinCount && p < int(kMaxPins); ++p) {
            const PinTypes& pin = e.registration.pins[size_t(p)];
            if (pin.output != 0) continue;
            for (int t = 0; t < pin.typeCount && t < int(kMaxPinTypes); ++t) {
                const MediaTypePair& r = pin.types[size_t(t)];
                if (SameType(r.major, wanted.major) && SameType(r.subtype, wanted.subtype)) found = i;
            }
        }
    }
    return found;
}

int EntryNamed(CodecInventory& inventory, const FilterRecord& f) {
    const std::string clsidText = GuidString(f.clsid);
    for (int i = 0; i < inventory.Count(); ++i) {
        const CodecEntry& e = inventory.At(i);
        if (e.friendlyName.View() == f.name.View() || EqualsIgnoreAsciiCase(e.clsidText.View(), clsidText)) return i;
    }
    return -1;
}

bool Decodes(ChainKind kind, const FilterRecord& f) {
    const PinRecord& in = f.inputs[0];
    const PinRecord& out = f.outputs[0];
    return !in.type.subtype.IsNull() && !out.type.subtype.IsNull() && !UncompressedFor(kind, in) &&
           UncompressedFor(kind, out);
}

}  // namespace

bool UncompressedFor(ChainKind kind, const PinRecord& pin) {
    const MediaTypePair& t = pin.type;
    if (kind == ChainKind::kVideo) {
        const bool videoMajor = SameType(t.major, guids::kMediaTypeVideo) || t.major.IsNull();
        return videoMajor && (pin.raw != 0 || IsUncompressedType({guids::kMediaTypeVideo, t.subtype}));
    }
    return SameType(t.major, guids::kMediaTypeAudio) &&
           (pin.raw != 0 || SameType(t.subtype, guids::kSubtypePcm) || t.subtype.IsNull());
}

CFilterArea::CFilterArea() = default;

std::array<FilterRecord, kMaxGraphFilters>& CFilterArea::Records() const {
    if (!filters_) {
        // Zeroed once by the allocation; Clear() then only sets what is not zero.
        filters_ = std::make_unique<std::array<FilterRecord, kMaxGraphFilters>>();
        for (FilterRecord& f : Records()) f.inventoryIndex = -1;
    }
    return *filters_;
}

void CFilterArea::Clear() {
    if (filters_) {  // records never made are made clear
        std::memset(static_cast<void*>(filters_->data()), 0, sizeof(FilterRecord) * kMaxGraphFilters);
        for (FilterRecord& f : Records()) f.inventoryIndex = -1;
    }
    for (std::string& t : texts_) t.clear();
    for (auto& c : chains_) c.clear();
    for (auto& d : downstream_) d.clear();
}

void CFilterArea::Fill(const std::vector<GraphFilter>& filters) {
    Clear();
    const size_t n = std::min(filters.size(), kMaxGraphFilters);
    for (size_t i = 0; i < n; ++i) {
        const GraphFilter& g = filters[i];
        FilterRecord& f = Records()[i];
        f.name.Set(g.name.empty() ? std::string_view("?") : std::string_view(g.name));
        f.clsid = ParseGuid(g.clsidText).value_or(Guid{});
        f.path.Set(g.path);
        for (const GraphPin& gp : g.pins) {
            auto& side = gp.output ? f.outputs : f.inputs;
            size_t slot = 0;
            while (slot < kPinsPerDirection - 1 && side[slot].inUse) ++slot;
            PinRecord& p = side[slot];
            p = PinRecord{};
            p.inUse = 1;
            p.name.Set(gp.name);
            if (gp.connected) p.type = gp.type;
            p.raw = gp.caps == "video/x-raw" || gp.caps == "audio/x-raw";
            p.pinId = gp.id;
            p.peerId = gp.peer;
        }
        if (!g.description.empty()) f.version.texts[kFileDescription].Set(g.description);
        if (!g.version.empty()) {
            f.version.texts[kFileVersion].Set(g.version);
            f.version.texts[kProductVersion].Set(g.version);
        }
        if (!g.product.empty()) f.version.texts[kProductName].Set(g.product);
    }
    // Link every pin record to its peer's record and to its owner.
    auto forEachPin = [this](auto&& fn) {
        for (FilterRecord& f : Records())
            for (auto* side : {&f.inputs, &f.outputs})
                for (PinRecord& p : *side)
                    if (p.inUse) fn(f, p);
    };
    forEachPin([&](FilterRecord& f, PinRecord& p) {
        p.owner = &f;
        p.peer = nullptr;
        if (p.peerId < 0) return;
        forEachPin([&](FilterRecord&, PinRecord& q) {
            if (!p.peer && q.pinId == p.peerId && &q != &p) p.peer = &q;
        });
    });
}

void CFilterArea::Classify(CodecInventory* inventory, const GuidNameLookup& guidNames) {
    for (FilterRecord& f : Records()) {
        if (!f.Used()) continue;
        f.inventoryIndex = -1;
        if (inventory) {
            if (f.clsid == guids::kClsidAviDec) {
                const int vfw = VfwEntryFor(*inventory, f.inputs[0].type.subtype);
                if (vfw >= 0) {
                    f.name.Set(Format("[VFW: %s]", inventory->At(vfw).name.c_str()));
                    f.inventoryIndex = vfw;
                } else {
                    f.name.Set(N_("Неопределен кодек VFW"));
                }
            }
            if (f.inventoryIndex < 0) f.inventoryIndex = EntryNamed(*inventory, f);
        }
        f.fourcc[0] = '\0';
        const Guid& sub = f.inputs[0].type.subtype;
        if (f.inputs[0].inUse && IsFourccGuid(sub)) {
            std::string fourcc;
            GuidText(sub, guidNames, {.decodeFourcc = true}, 128, &fourcc);
            if (fourcc.size() == 4) std::memcpy(f.fourcc, fourcc.data(), 5);
        }
    }
}

void CFilterArea::DescribeChain(ChainKind kind, const GuidNameLookup& guidNames) {
    const int s = kind == ChainKind::kVideo ? 0 : 8;
    auto& chain = chains_[kind == ChainKind::kAudio];
    auto& downstream = downstream_[kind == ChainKind::kAudio];
    chain.clear();
    downstream.clear();
    std::string& text = texts_[kind == ChainKind::kVideo ? kVideoChainText : kAudioChainText];
    text.clear();

    FilterRecord* start = nullptr;
    for (FilterRecord& f : Records()) {
        if (!f.Used()) continue;
        const PinRecord& in = f.inputs[0];
        const PinRecord& out = f.outputs[0];
        if (in.inUse && !in.type.subtype.IsNull() && (!out.inUse || out.type.subtype.IsNull()) &&
            UncompressedFor(kind, in)) {
            start = &f;
            break;
        }
    }
    if (!start) return;

    start->roles |= kRoleChainStart << s;
    FilterRecord* e = start;
    PinRecord* towardsRenderer = nullptr;
    int32_t h = start->roles;
    while (e) {
        const bool isSource = !e->inputs[0].inUse;
        if (isSource) {
            e->roles |= kRoleSource << s;
        } else if (Decodes(kind, *e)) {
            e->roles |= kRoleDecoder << s;
            std::string& format = texts_[kind == ChainKind::kVideo ? kVideoDecoderText : kAudioDecoderText];
            format = StripTypePrefix(GuidText(e->inputs[0].type.subtype, guidNames, {.decodeFourcc = true}));
        } else if (e->outputs[0].inUse && e->outputs[0].peer) {
            e->roles |= kRolePassThrough << s;
        } else if (!(e->roles & (kRoleChainStart << s))) {
            if (h & ((kRoleChainStart | kRoleDownstreamOfDecoder) << s)) e->roles |= kRoleDownstreamOfDecoder << s;
            if (h & ((kRoleDecoder | kRoleUpstreamOfDecoder) << s)) e->roles |= kRoleUpstreamOfDecoder << s;
            if (h & ((kRolePassThrough | kRoleUpstreamOfPassThrough) << s)) e->roles |= kRoleUpstreamOfPassThrough << s;
        }
        if (isSource) text = "(S) --> " + text;
        else if (!text.empty()) text = std::string(e->name.View()) + " --> " + text;
        else text = "(R)";

        chain.push_back(e);
        downstream.push_back(towardsRenderer);
        if (chain.size() >= kMaxChainFilters) break;

        PinRecord* up = e->inputs[0].inUse ? e->inputs[0].peer : nullptr;
        if (!up || !up->owner) break;
        const int32_t previous = e->roles;
        e = up->owner;
        e->downstream = up;
        towardsRenderer = up;
        h = previous;
    }
    text = std::string(TruncateUtf8(text, 255));
}

}  // namespace torvo
