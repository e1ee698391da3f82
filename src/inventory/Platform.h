// The platform operations the codec inventory, the registration data and the
// codec status need, one call per service the rules rely on. The recorded
// platform answers them from a fixture; the GStreamer platform from the
// registry of element factories.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "inventory/CodecEntry.h"
#include "base/Guid.h"
#include "inventory/DefaultSinks.h"

namespace torvo {

// Thrown by a platform when foreign code it called crashed; the crash guard
// of the enumeration catches it.
struct ForeignCrash : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A parsed FilterData value (REGFILTER2, version 2): GUIDs absent are null.
struct RegMediaType {
    std::optional<Guid> major;
    std::optional<Guid> subtype;
};
struct RegPin {
    uint32_t flags = 0;  // bit value 8: output pin
    std::vector<RegMediaType> types;
};
struct RegFilter2 {
    uint32_t version = 2;
    uint32_t merit = 0;
    std::vector<RegPin> pins;
};
inline constexpr uint32_t kRegPinFlagOutput = 8;

enum class Hive { kClassesRoot, kLocalMachine, kCurrentUser };

struct RegValue {
    enum Type : uint32_t { kNone = 0, kString = 1, kExpandString = 2, kBinary = 3, kDword = 4 };
    std::string name;
    uint32_t type = kNone;
    std::string text;            // kString, kExpandString
    uint32_t dword = 0;          // kDword
    std::vector<uint8_t> bytes;  // kBinary
};

struct VfwInfo {
    std::string name, description, driver;
};

struct DmoInfo {
    Guid clsid;
    std::string name;
};

// A file's version resource as the platform reads it.
struct VersionResource {
    bool readFails = false;  // the size was known but the block could not be read
    std::optional<std::vector<uint8_t>> fixedInfo;  // "\" (52 bytes when valid)
    std::vector<std::pair<uint16_t, uint16_t>> translations;  // language, code page
    // "\StringFileInfo\LLLLCCCC\Name" → value
    std::vector<std::pair<std::string, std::string>> strings;
};

// One setting a filter offers on its property page, with its default.
struct FilterProperty {
    std::string name, type, defaultValue, description;
    bool writable = false;
};

// The display check and the sink probe (ISinkPlatform) serve its renderer pass.
class IInventoryPlatform : public ISinkPlatform {
public:
    ~IInventoryPlatform() override = default;

    // COM on the worker thread.
    virtual bool Initialize() = 0;
    // Why Initialize failed, in the platform's own words (empty: no reason known).
    virtual std::string InitializeError() const { return {}; }
    virtual void Uninitialize() = 0;
    // 0 when the filter mapper was created, else the failure code.
    virtual uint32_t CreateFilterMapper() = 0;
    virtual void ReleaseFilterMapper() = 0;

    // The monikers of the filter mapper's EnumMatchingFilters (render flag as
    // given), as opaque ids in enumeration order.
    virtual std::vector<int> EnumMatchingFilters(bool renderer) = 0;
    virtual bool BindToStorage(int moniker) = 0;
    // A string property ("FriendlyName", "CLSID", "FccHandler").
    virtual std::optional<std::string> ReadProperty(int moniker, const std::string& name) = 0;
    // The "FilterData" bytes.
    virtual std::optional<std::vector<uint8_t>> ReadFilterData(int moniker) = 0;
    // IAMFilterData::ParseFilterData / CreateFilterData.
    virtual std::optional<RegFilter2> ParseFilterData(const std::vector<uint8_t>& bytes) = 0;
    virtual std::optional<std::vector<uint8_t>> CreateFilterData(const RegFilter2& filter) = 0;

    // ACM: the drivers acmDriverEnum calls back for; per driver its details,
    // whether it opens, and its format tag details by index.
    virtual std::vector<int> AcmDrivers() = 0;
    virtual bool AcmDriverDetails(int driver, torvo::AcmDriverDetails& out) = 0;
    virtual bool AcmDriverOpen(int driver) = 0;
    virtual bool AcmFormatTagDetails(int driver, uint32_t index, torvo::AcmFormatTagDetails& out) = 0;
    virtual void AcmDriverClose(int driver) = 0;

    // Installable drivers: the module file of the driver with that alias
    // (OpenDriver, GetDriverModuleHandle, GetModuleFileName, CloseDriver).
    virtual std::optional<std::string> DriverModulePath(const std::string& alias) = 0;
    // ICOpen('vidc', fourcc, query) and ICGetInfo.
    virtual std::optional<VfwInfo> VfwCodecInfo(uint32_t fourcc) = 0;

    // DMO: nullopt when the library or its entry points are missing, or when
    // DMOEnum fails.
    virtual std::optional<std::vector<DmoInfo>> DmoEnum(const Guid& category) = 0;
    virtual bool DmoGetTypes(const Guid& clsid, std::vector<MediaTypePair>& inputs,
                             std::vector<MediaTypePair>& outputs) = 0;

    // Registry: nullopt when the key does not open.
    virtual std::optional<std::vector<std::string>> SubKeys(Hive hive, const std::string& key) = 0;
    virtual std::optional<std::vector<RegValue>> Values(Hive hive, const std::string& key) = 0;
    virtual bool SetValue(Hive hive, const std::string& key, const RegValue& value) = 0;
    virtual bool DeleteValue(Hive hive, const std::string& key, const std::string& name) = 0;
    // Environment strings expanded (SHRegGetPath).
    virtual std::string ExpandEnvironment(const std::string& text) = 0;

    // Files: FindFirstFile, SearchPath, version resources, the user's language.
    virtual bool FindFile(const std::string& name) = 0;
    virtual bool SearchPathFor(const std::string& fileName) = 0;
    virtual std::optional<VersionResource> ReadVersionResource(const std::string& path) = 0;
    virtual uint16_t UserDefaultLanguage() = 0;

    // Self-registration of the module that implements a filter: LoadLibrary,
    // GetProcAddress of DllRegisterServer or DllUnregisterServer, the call and
    // FreeLibrary. 0 done, 2 the module does not load, 3 no such entry point,
    // 4 the call failed.
    virtual int CallServerRegistration(const std::string& /*path*/, const std::string& /*clsidText*/,
                                       bool /*unregister*/) {
        return 2;
    }
    // The settings of a filter's property page; empty when it has none.
    virtual std::vector<FilterProperty> FilterProperties(const std::string& /*clsidText*/) { return {}; }
};

}  // namespace torvo
