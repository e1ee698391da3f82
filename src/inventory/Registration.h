// Filter registration data beyond what the enumeration reads: the registered
// instances of a filter and their FilterData, the per-class merit value and
// the version information of the file that implements a filter.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "inventory/CodecEntry.h"
#include "inventory/Platform.h"

namespace torvo {

// A message the user must see (caption, text).
using InventoryMessageSink = std::function<void(const std::string& caption, const std::string& text)>;

// Copies a parsed FilterData into a registration block: merit, merit text,
// the first six pins with their first 128 types; a type without a subtype
// becomes (GUID_NULL, GUID_NULL). A filter with fewer pins than the block
// already holds leaves it unchanged.
void FillRegistration(const RegFilter2& filter, FilterPins& block);

struct InstanceQuery {
    std::string valueName;     // the value compared ("CLSID", "AcmId", ...)
    std::string text;          // compared ignoring case when not empty
    uint32_t dwordKey = 0;     // compared when text is empty (non-zero)
};

// Visits the registered instances of the filter categories and of the device
// enumerator's cache; returns the number of searched keys with a match.
// block: every match's FilterData is parsed into it. filter: read mode hands
// out the last match's REGFILTER2 (sizeOut its byte count); write mode stores
// *filter as every match's FilterData and then clears it.
int FindInstances(IInventoryPlatform& platform, const InstanceQuery& query, FilterPins* block,
                  std::optional<RegFilter2>* filter = nullptr, size_t* sizeOut = nullptr, bool write = false);

// Sets the merit in each matching instance's own FilterData (the other
// instances' pins stay as they are); returns the number written.
int WriteInstancesMerit(IInventoryPlatform& platform, const InstanceQuery& query, uint32_t merit);
// Whether there is a matching instance and every one holds that merit.
bool InstancesHaveMerit(IInventoryPlatform& platform, const InstanceQuery& query, uint32_t merit);

// Removes a media type from a pin of that direction in each matching
// instance's own FilterData (a type without a subtype counts as GUID_NULL
// for both); returns the number of instances written.
int RemoveTypeFromInstances(IInventoryPlatform& platform, const InstanceQuery& query, bool output,
                            const MediaTypePair& pair);

// Removes the n-th registered media type (over all pins in order) from the
// FilterData of the matching instances.
bool RemoveMediaType(IInventoryPlatform& platform, const InstanceQuery& query, int n);

// The REG_DWORD "Merit" under HKCR "CLSID\{...}".
bool ReadClassMerit(IInventoryPlatform& platform, const std::string& clsidText, uint32_t& merit);
bool WriteClassMerit(IInventoryPlatform& platform, const std::string& clsidText, uint32_t merit);
bool DeleteClassMerit(IInventoryPlatform& platform, const std::string& clsidText);

// The version resource of a file: the fixed information and twelve strings.
class CFileVersionInfo {
public:
    CFileVersionInfo(IInventoryPlatform& platform, InventoryMessageSink messages = {})
        : platform_(platform), messages_(std::move(messages)) {}
    virtual ~CFileVersionInfo() = default;
    virtual void Reset();

    bool Read(const std::string& path);
    void CopyStrings(VersionStrings& out) const;

    std::array<uint8_t, 52> fixedInfo{};
    bool hasFixedInfo = false;
    std::array<std::string, kVersionFieldCount> strings;

private:
    IInventoryPlatform& platform_;
    InventoryMessageSink messages_;
};

}  // namespace torvo
