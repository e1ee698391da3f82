// The Linux platform of the codec inventory: GStreamer's registry of element
// factories stands for the filter mapper. Decoders, demuxers and parsers are
// the filters, audio and video sinks the renderers; static pad templates are
// the pins, their caps the media types (through the caps table), the rank
// the merit, the plugin file and its version the server path and version
// texts. ACM, VFW and DMO have no counterpart and yield nothing.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inventory/FilterOverrides.h"
#include "inventory/Platform.h"
#include "platform/gstreamer/GstSinks.h"

namespace torvo {

class CGstPlatform : public IInventoryPlatform {
public:
    CGstPlatform();
    ~CGstPlatform() override;

    // False when GStreamer cannot be initialised or its registry holds no
    // plugin at all (it could not be read): nothing can then be told.
    bool Initialize() override;
    std::string InitializeError() const override;
    void Uninitialize() override {}
    uint32_t CreateFilterMapper() override;
    void ReleaseFilterMapper() override {}

    std::vector<int> EnumMatchingFilters(bool renderer) override;
    bool BindToStorage(int moniker) override;
    std::optional<std::string> ReadProperty(int moniker, const std::string& name) override;
    std::optional<std::vector<uint8_t>> ReadFilterData(int moniker) override;
    std::optional<RegFilter2> ParseFilterData(const std::vector<uint8_t>& bytes) override;
    // A changed registration as the expert commands write it back.
    std::optional<std::vector<uint8_t>> CreateFilterData(const RegFilter2& filter) override;

    std::vector<int> AcmDrivers() override { return {}; }
    bool AcmDriverDetails(int, torvo::AcmDriverDetails&) override { return false; }
    bool AcmDriverOpen(int) override { return false; }
    bool AcmFormatTagDetails(int, uint32_t, torvo::AcmFormatTagDetails&) override { return false; }
    void AcmDriverClose(int) override {}
    std::optional<std::string> DriverModulePath(const std::string&) override { return std::nullopt; }
    std::optional<VfwInfo> VfwCodecInfo(uint32_t) override { return std::nullopt; }
    std::optional<std::vector<DmoInfo>> DmoEnum(const Guid&) override { return std::nullopt; }
    bool DmoGetTypes(const Guid&, std::vector<MediaTypePair>&, std::vector<MediaTypePair>&) override { return false; }

    // The class keys of the factories: InProcServer32 is the plugin file,
    // "Merit" the merit of the rank; the filter category's instances carry
    // CLSID, FriendlyName and FilterData. A FilterData written back goes to
    // the filter overrides (merit, removed types) and the rank in process.
    std::optional<std::vector<std::string>> SubKeys(Hive hive, const std::string& key) override;
    std::optional<std::vector<RegValue>> Values(Hive hive, const std::string& key) override;
    bool SetValue(Hive hive, const std::string& key, const RegValue& value) override;
    bool DeleteValue(Hive, const std::string&, const std::string&) override { return false; }
    std::string ExpandEnvironment(const std::string& text) override { return text; }

    bool FindFile(const std::string& name) override;
    bool SearchPathFor(const std::string&) override { return false; }
    std::optional<VersionResource> ReadVersionResource(const std::string& path) override;
    uint16_t UserDefaultLanguage() override { return 0x0409; }

    // A plugin cannot register itself again: registering a factory drops its
    // overrides, unregistering gives it rank 0, both kept in the overrides.
    int CallServerRegistration(const std::string& path, const std::string& clsidText, bool unregister) override;
    // The element's GObject properties with their defaults.
    std::vector<FilterProperty> FilterProperties(const std::string& clsidText) override;

    // The display server and sinks of this machine (cached per platform).
    DisplayServer AnsweringDisplayServer() override { return sinkProbe_.AnsweringDisplayServer(); }
    bool SinkOpens(const std::string& factory) override { return sinkProbe_.SinkOpens(factory); }

    struct Factory;

private:
    const Factory* FactoryOfClass(const std::string& key, const std::string& suffix) const;
    Factory* FactoryOfClsid(const std::string& clsidText) const;
    uint32_t EffectiveMerit(const Factory& f) const;
    // Reads the store afresh, lets the change edit it, saves it and applies
    // the factory's rank; false when the store cannot be written.
    bool ChangeOverrides(Factory& f, const std::function<void(CFilterOverrides&)>& change);

    CFilterOverrides overrides_;
    CGstSinkProbe sinkProbe_;

    std::vector<std::unique_ptr<Factory>> factories_;
    std::vector<int> renderers_, filters_;
};

// Applies the overrides' ranks to the loaded registry (gst_init done) and
// restores the rank of factories they no longer change.
void ApplyFilterOverrides(const CFilterOverrides& overrides);
// The rank a factory had before any override was applied in this process.
uint32_t DefaultFactoryRank(const std::string& factoryName, uint32_t current);

// A merit change of one factory by name, kept in the overrides and applied
// in process: a merit, or none to give back the default one (which also
// registers an unregistered factory again). message: the merit and rank now
// in effect, or why nothing was changed (unknown factory, store not written).
bool WriteFactoryMerit(const std::string& factory, std::optional<uint32_t> merit, std::string& message);

// The CLSID text the GStreamer platform gives a factory name (the renderer
// CLSIDs aside): the name-based GUID of "torvo:factory:" + name.
std::string FactoryClsidText(const std::string& factoryName);

}  // namespace torvo
