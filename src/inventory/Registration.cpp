#include "inventory/Registration.h"

#include <algorithm>
#include <array>

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr size_t kMaxFilterDataBytes = 8192;
constexpr size_t kTextBufferBytes = 39;  // a CLSID text with its terminator
constexpr const char* kAudioCompressorCategory = "{33D9A761-90C8-11D0-BD43-00A0C911CE86}";
constexpr const char* kVideoCompressorCategory = "{33D9A760-90C8-11D0-BD43-00A0C911CE86}";

struct SearchPlace {
    Hive hive;
    std::string key;
};

const RegValue* FindValue(const std::vector<RegValue>& values, const std::string& name) {
    for (const RegValue& v : values)
        if (EqualsIgnoreAsciiCase(v.name, name)) return &v;
    return nullptr;
}

bool InstanceMatches(const std::vector<RegValue>& values, const InstanceQuery& q) {
    const RegValue* v = FindValue(values, q.valueName);
    if (!v) return false;
    if (!q.text.empty()) {
        // Texts are read into a CLSID-sized buffer; longer ones do not read.
        if (v->type != RegValue::kString && v->type != RegValue::kExpandString) return false;
        return v->text.size() < kTextBufferBytes && EqualsIgnoreAsciiCase(v->text, q.text);
    }
    if (q.dwordKey == 0) return false;
    if (v->type == RegValue::kDword) return v->dword == q.dwordKey;
    if (v->type == RegValue::kBinary && v->bytes.size() >= 4)
        return (uint32_t(v->bytes[0]) | uint32_t(v->bytes[1]) << 8 | uint32_t(v->bytes[2]) << 16 |
                uint32_t(v->bytes[3]) << 24) == q.dwordKey;
    return false;
}

// The keys holding instance subkeys, in search order.
std::vector<SearchPlace> InstanceKeys(IInventoryPlatform& platform, const InstanceQuery& q) {
    std::vector<SearchPlace> places = {
        {Hive::kClassesRoot, "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance"},
        {Hive::kClassesRoot, "\\CLSID\\{33D9A760-90C8-11d0-BD43-00A0C911CE86}\\Instance"},
        {Hive::kClassesRoot, "\\CLSID\\{33D9A761-90C8-11d0-BD43-00A0C911CE86}\\Instance"},
    };
    const std::string devenum = "Software\\Microsoft\\ActiveMovie\\devenum";
    if (auto categories = platform.SubKeys(Hive::kCurrentUser, devenum)) {
        for (const std::string& category : *categories) {
            // The wrappers' own instances are not touched through the compressor categories.
            if (q.text == "{6a08cf80-0e18-11cf-a24d-0020afd79767}" && category == kAudioCompressorCategory) continue;
            if (q.text == "{D76E2820-1563-11cf-AC98-00AA004C0FA9}" && category == kVideoCompressorCategory) continue;
            places.push_back({Hive::kCurrentUser, devenum + "\\" + category});
        }
    }
    return places;
}

// Calls visit(hive, key, values) for every matching instance.
template <class Visit>
void VisitInstances(IInventoryPlatform& platform, const InstanceQuery& query, Visit visit) {
    for (const SearchPlace& place : InstanceKeys(platform, query)) {
        const auto instances = platform.SubKeys(place.hive, place.key);
        if (!instances) continue;
        for (const std::string& instance : *instances) {
            const std::string key = place.key + "\\" + instance;
            const auto values = platform.Values(place.hive, key);
            if (values && InstanceMatches(*values, query)) visit(place.hive, key, *values);
        }
    }
}

// The parsed FilterData of an instance's values.
std::optional<RegFilter2> ParsedFilterData(IInventoryPlatform& platform, const std::vector<RegValue>& values) {
    const RegValue* data = FindValue(values, "FilterData");
    if (!data || data->bytes.size() > kMaxFilterDataBytes) return std::nullopt;
    return platform.ParseFilterData(data->bytes);
}

// Writes an instance's changed FilterData in place of the one it was read from.
bool WriteBackFilterData(IInventoryPlatform& platform, Hive hive, const std::string& key,
                         const std::vector<RegValue>& values, const RegFilter2& filter) {
    const auto bytes = platform.CreateFilterData(filter);
    if (!bytes || bytes->size() > kMaxFilterDataBytes) return false;
    RegValue value = *FindValue(values, "FilterData");
    value.bytes = *bytes;
    return platform.SetValue(hive, key, value);
}

}  // namespace

int WriteInstancesMerit(IInventoryPlatform& platform, const InstanceQuery& query, uint32_t merit) {
    int written = 0;
    VisitInstances(platform, query, [&](Hive hive, const std::string& key, const std::vector<RegValue>& values) {
        auto filter = ParsedFilterData(platform, values);
        if (!filter) return;
        filter->merit = merit;
        if (WriteBackFilterData(platform, hive, key, values, *filter)) ++written;
    });
    return written;
}

int RemoveTypeFromInstances(IInventoryPlatform& platform, const InstanceQuery& query, bool output,
                            const MediaTypePair& pair) {
    int written = 0;
    VisitInstances(platform, query, [&](Hive hive, const std::string& key, const std::vector<RegValue>& values) {
        auto filter = ParsedFilterData(platform, values);
        if (!filter) return;
        bool removed = false;
        for (RegPin& pin : filter->pins) {
            if (removed || ((pin.flags & kRegPinFlagOutput) != 0) != output) continue;
            const auto found = std::find_if(pin.types.begin(), pin.types.end(), [&](const RegMediaType& t) {
                const MediaTypePair stored = t.subtype ? MediaTypePair{t.major.value_or(Guid{}), *t.subtype} : MediaTypePair{};
                return stored == pair;
            });
            if (found == pin.types.end()) continue;
            pin.types.erase(found);
            removed = true;
        }
        if (!removed) return;
        if (WriteBackFilterData(platform, hive, key, values, *filter)) ++written;
    });
    return written;
}

bool InstancesHaveMerit(IInventoryPlatform& platform, const InstanceQuery& query, uint32_t merit) {
    int matches = 0;
    bool all = true;
    VisitInstances(platform, query, [&](Hive, const std::string&, const std::vector<RegValue>& values) {
        const auto filter = ParsedFilterData(platform, values);
        if (!filter) return;
        ++matches;
        all = all && filter->merit == merit;
    });
    return matches > 0 && all;
}

void FillRegistration(const RegFilter2& filter, FilterPins& block) {
    if (static_cast<int32_t>(filter.pins.size()) < block.pinCount) return;
    block = FilterPins{};
    block.merit = filter.merit;
    block.meritText.Set(Format("0x%08x", filter.merit));
    block.pinCount = static_cast<int32_t>(std::min(filter.pins.size(), kMaxPins));
    for (int32_t p = 0; p < block.pinCount; ++p) {
        const RegPin& pin = filter.pins[static_cast<size_t>(p)];
        PinTypes& out = block.pins[static_cast<size_t>(p)];
        out.output = (pin.flags & kRegPinFlagOutput) ? 1 : 0;
        out.typeCount = static_cast<int32_t>(std::min(pin.types.size(), kMaxPinTypes));
        for (int32_t t = 0; t < out.typeCount; ++t) {
            const RegMediaType& type = pin.types[static_cast<size_t>(t)];
            MediaTypePair& pair = out.types[static_cast<size_t>(t)];
            if (!type.subtype) {
                pair = {};
            } else {
                pair.major = type.major.value_or(Guid{});
                pair.subtype = *type.subtype;
            }
        }
    }
}

int FindInstances(IInventoryPlatform& platform, const InstanceQuery& query, FilterPins* block,
                  std::optional<RegFilter2>* filter, size_t* sizeOut, bool write) {
    int matchedKeys = 0;
    std::optional<std::vector<uint8_t>> written;
    if (filter && write && *filter) {
        written = platform.CreateFilterData(**filter);
        if (written && written->size() > kMaxFilterDataBytes) written.reset();
    }
    for (const SearchPlace& place : InstanceKeys(platform, query)) {
        const auto instances = platform.SubKeys(place.hive, place.key);
        if (!instances) continue;
        bool matched = false;
        for (const std::string& instance : *instances) {
            const std::string key = place.key + "\\" + instance;
            const auto values = platform.Values(place.hive, key);
            if (!values || !InstanceMatches(*values, query)) continue;
            matched = true;
            const RegValue* data = FindValue(*values, "FilterData");
            if (filter && write) {
                if (written && data) {
                    RegValue value = *data;
                    value.bytes = *written;
                    platform.SetValue(place.hive, key, value);
                }
                continue;
            }
            if (!data || data->bytes.size() > kMaxFilterDataBytes) continue;
            const auto parsed = platform.ParseFilterData(data->bytes);
            if (!parsed) continue;
            if (block) FillRegistration(*parsed, *block);
            if (filter) {
                *filter = parsed;
                if (sizeOut) *sizeOut = data->bytes.size();
            }
        }
        if (matched) ++matchedKeys;
    }
    if (filter && write) filter->reset();
    return matchedKeys;
}

bool RemoveMediaType(IInventoryPlatform& platform, const InstanceQuery& query, int n) {
    std::optional<RegFilter2> filter;
    if (FindInstances(platform, query, nullptr, &filter) == 0 || !filter || n < 0) return false;
    int counter = 0;
    for (RegPin& pin : filter->pins) {
        const int types = static_cast<int>(pin.types.size());
        if (n < counter + types) {
            pin.types.erase(pin.types.begin() + (n - counter));
            FindInstances(platform, query, nullptr, &filter, nullptr, true);
            return true;
        }
        counter += types;
    }
    return false;
}

bool ReadClassMerit(IInventoryPlatform& platform, const std::string& clsidText, uint32_t& merit) {
    const auto values = platform.Values(Hive::kClassesRoot, "CLSID\\" + clsidText);
    if (!values) return false;
    const RegValue* v = FindValue(*values, "Merit");
    if (!v || v->type != RegValue::kDword) return false;
    merit = v->dword;
    return true;
}

bool WriteClassMerit(IInventoryPlatform& platform, const std::string& clsidText, uint32_t merit) {
    RegValue v;
    v.name = "Merit";
    v.type = RegValue::kDword;
    v.dword = merit;
    return platform.SetValue(Hive::kClassesRoot, "CLSID\\" + clsidText, v);
}

bool DeleteClassMerit(IInventoryPlatform& platform, const std::string& clsidText) {
    return platform.DeleteValue(Hive::kClassesRoot, "CLSID\\" + clsidText, "Merit");
}

void CFileVersionInfo::Reset() {
    fixedInfo = {};
    hasFixedInfo = false;
    for (std::string& s : strings) s.clear();
}

bool CFileVersionInfo::Read(const std::string& path) {
    if (path.empty()) return false;
    Reset();
    const auto resource = platform_.ReadVersionResource(path);
    if (!resource) return false;
    if (resource->readFails) {
        if (messages_)
            messages_("Warning", N_("Внимание: этот кодек рухнул при чтении сведений о версии. Файл: ") + path);
        return false;
    }
    if (resource->fixedInfo && resource->fixedInfo->size() == fixedInfo.size()) {
        std::copy(resource->fixedInfo->begin(), resource->fixedInfo->end(), fixedInfo.begin());
        hasFixedInfo = true;
    }
    // The translation: the user's language, its primary language, neutral,
    // English, else the first one listed.
    const auto& list = resource->translations;
    std::pair<uint16_t, uint16_t> chosen{0x0409, 0x04B0};
    if (!list.empty()) {
        const uint16_t user = platform_.UserDefaultLanguage();
        auto pick = [&](auto predicate) -> bool {
            for (const auto& t : list)
                if (predicate(t.first)) {
                    chosen = t;
                    return true;
                }
            return false;
        };
        const auto exact = [](uint16_t want) { return [want](uint16_t l) { return l == want; }; };
        const auto primary = [](uint16_t want) { return [want](uint16_t l) { return (l & 0xFF) == (want & 0xFF); }; };
        if (!pick(exact(user)) && !pick(primary(user)) && !pick(exact(0)) && !pick(primary(0)) && !pick(exact(9)) &&
            !pick(primary(9)))
            chosen = list.front();
    }
    const std::string prefix = Format("\\StringFileInfo\\%04X%04X\\", chosen.first, chosen.second);
    for (int i = 0; i < kVersionFieldCount; ++i) {
        const std::string key = prefix + kVersionStringNames[static_cast<size_t>(i)];
        for (const auto& [name, value] : resource->strings)
            if (EqualsIgnoreAsciiCase(name, key)) strings[static_cast<size_t>(i)] = value;
    }
    return true;
}

void CFileVersionInfo::CopyStrings(VersionStrings& out) const {
    for (size_t i = 0; i < strings.size(); ++i) out.texts[i].Set(strings[i]);
}

}  // namespace torvo
