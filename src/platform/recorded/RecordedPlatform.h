// A platform whose answers come from a fixture: one machine's ACM drivers,
// driver cache, filters with their FilterData, VFW codecs, DMOs, registry
// values, files and version resources, described in JSON. Tests and demos
// run the inventory rules against it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "inventory/Platform.h"

namespace torvo {

class CRecordedPlatform : public IInventoryPlatform {
public:
    // The fixture as JSON text; throws nlohmann::json::exception when malformed.
    explicit CRecordedPlatform(const std::string& fixtureJson);
    static std::unique_ptr<CRecordedPlatform> FromFile(const std::string& path);

    bool Initialize() override;
    void Uninitialize() override {}
    uint32_t CreateFilterMapper() override;
    void ReleaseFilterMapper() override {}

    std::vector<int> EnumMatchingFilters(bool renderer) override;
    bool BindToStorage(int moniker) override;
    std::optional<std::string> ReadProperty(int moniker, const std::string& name) override;
    std::optional<std::vector<uint8_t>> ReadFilterData(int moniker) override;
    std::optional<RegFilter2> ParseFilterData(const std::vector<uint8_t>& bytes) override;
    std::optional<std::vector<uint8_t>> CreateFilterData(const RegFilter2& filter) override;

    std::vector<int> AcmDrivers() override;
    bool AcmDriverDetails(int driver, torvo::AcmDriverDetails& out) override;
    bool AcmDriverOpen(int driver) override;
    bool AcmFormatTagDetails(int driver, uint32_t index, torvo::AcmFormatTagDetails& out) override;
    void AcmDriverClose(int) override {}

    std::optional<std::string> DriverModulePath(const std::string& alias) override;
    std::optional<VfwInfo> VfwCodecInfo(uint32_t fourcc) override;
    std::optional<std::vector<DmoInfo>> DmoEnum(const Guid& category) override;
    bool DmoGetTypes(const Guid& clsid, std::vector<MediaTypePair>& inputs, std::vector<MediaTypePair>& outputs) override;

    std::optional<std::vector<std::string>> SubKeys(Hive hive, const std::string& key) override;
    std::optional<std::vector<RegValue>> Values(Hive hive, const std::string& key) override;
    bool SetValue(Hive hive, const std::string& key, const RegValue& value) override;
    bool DeleteValue(Hive hive, const std::string& key, const std::string& name) override;
    std::string ExpandEnvironment(const std::string& text) override;

    bool FindFile(const std::string& name) override;
    bool SearchPathFor(const std::string& fileName) override;
    std::optional<VersionResource> ReadVersionResource(const std::string& path) override;
    uint16_t UserDefaultLanguage() override;

    // "servers": module path → {"DllRegisterServer": result, ...}; a module
    // not listed does not load, an entry point not listed is missing.
    int CallServerRegistration(const std::string& path, const std::string& clsidText, bool unregister) override;
    // "properties": CLSID text → [{"name", "type", "default", "description", "writable"}].
    std::vector<FilterProperty> FilterProperties(const std::string& clsidText) override;

    // "display": "x11", "wayland" or "none"; "openingSinks": the sink
    // factories that open. With a "display", renderers that name their
    // "factory" get their class identifier from the default-sink choice.
    DisplayServer AnsweringDisplayServer() override;
    bool SinkOpens(const std::string& factory) override;

    // The FilterData bytes of a fixture description (for registry values).
    static std::vector<uint8_t> FilterDataBytes(const nlohmann::ordered_json& description);

private:
    struct Key {
        std::string name;  // as written, for enumeration
        std::vector<RegValue> values;
        std::vector<std::string> children;  // lower-cased full paths
    };
    Key* FindKey(Hive hive, const std::string& key);
    Key& MakeKey(const std::string& fullPath);
    const nlohmann::ordered_json& Filter(int moniker) const;

    nlohmann::ordered_json fixture_;
    std::optional<DefaultSinkChoice> sinks_;
    std::vector<int> renderers_, filters_;
    std::map<std::string, Key> keys_;  // lower-cased "HIVE\path" → key
};

}  // namespace torvo
