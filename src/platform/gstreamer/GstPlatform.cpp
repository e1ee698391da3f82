#include "platform/gstreamer/GstPlatform.h"

#include <gst/gst.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "base/Text.h"
#include "inventory/CapsTypes.h"
#include "inventory/Merit.h"
#include "platform/gstreamer/GstLeakChecks.h"
#include "platform/gstreamer/GstSinks.h"

namespace torvo {

struct CGstPlatform::Factory {
    std::string name, longName, klass, clsidText;
    uint32_t rank = 0;         // as in effect
    uint32_t defaultRank = 0;  // before any override
    bool renderer = false;
    bool videoSink = false, audioSink = false;
    std::string pluginFile, pluginName, pluginVersion, pluginDescription, license, package, origin;
    GstElementFactory* factory = nullptr;  // a reference held while the platform lives
};

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Text(const char* text) { return text ? text : ""; }

struct ParsedRow {
    std::string name;
    GstStructure* structure;
    MediaTypePair pair;
};

// The caps table parsed once per process.
const std::vector<ParsedRow>& ParsedRows() {
    static const std::vector<ParsedRow> rows = [] {
        std::vector<ParsedRow> out;
        for (const CapsTypeRow& row : CapsTypeTable()) {
            GstStructure* s = gst_structure_from_string(row.caps, nullptr);
            if (s) out.push_back({gst_structure_get_name(s), s, row.pair});
        }
        return out;
    }();
    return rows;
}

void AddPair(std::vector<RegMediaType>& types, const MediaTypePair& pair) {
    for (const RegMediaType& t : types)
        if (t.major == pair.major && t.subtype == pair.subtype) return;
    types.push_back({pair.major, pair.subtype});
}

// The media types of one caps structure of a pad template.
void TypesOfStructure(const GstStructure* s, std::vector<RegMediaType>& types) {
    const std::string name = gst_structure_get_name(s);
    bool matched = false;
    for (const ParsedRow& row : ParsedRows()) {
        if (row.name != name || !gst_structure_can_intersect(s, row.structure)) continue;
        AddPair(types, row.pair);
        matched = true;
    }
    if (!matched) AddPair(types, ProjectTypeForCaps(name));
}

bool IsRawStructure(const GstStructure* s) {
    return gst_structure_has_name(s, "video/x-raw") || gst_structure_has_name(s, "audio/x-raw");
}

bool AnyCapsSinkTemplate(GstElementFactory* f) {
    for (const GList* l = gst_element_factory_get_static_pad_templates(f); l; l = l->next) {
        auto* t = static_cast<GstStaticPadTemplate*>(l->data);
        if (t->direction != GST_PAD_SINK) continue;
        GstCaps* caps = gst_static_caps_get(&t->static_caps);
        const bool any = gst_caps_is_any(caps);
        gst_caps_unref(caps);
        if (any) return true;
    }
    return false;
}

bool HasSinkTemplate(GstElementFactory* f) {
    for (const GList* l = gst_element_factory_get_static_pad_templates(f); l; l = l->next)
        if (static_cast<GstStaticPadTemplate*>(l->data)->direction == GST_PAD_SINK) return true;
    return false;
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// The filter category's instances, as the registration searches them.
constexpr std::string_view kFilterInstances = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\INSTANCE";  // compared upper-cased

// The instance subkey of a key below the filter category ("" for the
// category itself), or none for any other key.
std::optional<std::string> InstanceOf(const std::string& key) {
    std::string path = Upper(key);
    while (!path.empty() && path.front() == '\\') path.erase(path.begin());
    if (path.compare(0, kFilterInstances.size(), kFilterInstances) != 0) return std::nullopt;
    path.erase(0, kFilterInstances.size());
    if (path.empty()) return std::string();
    if (path.front() != '\\') return std::nullopt;
    return path.substr(1);
}

std::vector<uint8_t> MonikerBytes(size_t index) {
    const auto v = static_cast<uint32_t>(index);
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// A written-back registration is text: a magic line, the merit, then each
// pin and its types.
constexpr std::string_view kWrittenMagic = "torvo-filterdata 1\n";

std::optional<RegFilter2> ParseWritten(const std::vector<uint8_t>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    if (text.compare(0, kWrittenMagic.size(), kWrittenMagic) != 0) return std::nullopt;
    std::istringstream in(text.substr(kWrittenMagic.size()));
    RegFilter2 filter;
    std::string word;
    while (in >> word) {
        if (word == "merit") {
            if (!(in >> std::hex >> filter.merit >> std::dec)) return std::nullopt;
        } else if (word == "pin") {
            uint32_t flags = 0;
            if (!(in >> flags)) return std::nullopt;
            filter.pins.push_back({flags, {}});
        } else if (word == "type" && !filter.pins.empty()) {
            std::string major, subtype;
            if (!(in >> major >> subtype)) return std::nullopt;
            RegMediaType t;
            if (major != "-") t.major = ParseGuid(major);
            if (subtype != "-") t.subtype = ParseGuid(subtype);
            filter.pins.back().types.push_back(t);
        } else {
            return std::nullopt;
        }
    }
    return filter;
}

// Ranks as the registry had them before this process overrode them.
std::mutex& RankMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, uint32_t>& OriginalRanks() {
    static std::map<std::string, uint32_t> ranks;
    return ranks;
}

// Sets a factory's rank, or gives it back its original one.
void SetFactoryRank(const std::string& name, std::optional<uint32_t> rank) {
    GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), name.c_str());
    if (!feature) return;
    std::lock_guard<std::mutex> lock(RankMutex());
    auto& originals = OriginalRanks();
    const auto original = originals.find(name);
    if (rank) {
        if (original == originals.end()) originals[name] = gst_plugin_feature_get_rank(feature);
        gst_plugin_feature_set_rank(feature, *rank);
    } else if (original != originals.end()) {
        gst_plugin_feature_set_rank(feature, original->second);
        originals.erase(original);
    }
    gst_object_unref(feature);
}

// A property's default as a person reads it: enums and flags by their
// short names, anything else as GLib prints it.
std::string DefaultText(GParamSpec* param) {
    const GValue* value = g_param_spec_get_default_value(param);
    if (G_IS_PARAM_SPEC_ENUM(param)) {
        const GEnumValue* e = g_enum_get_value(G_PARAM_SPEC_ENUM(param)->enum_class, g_value_get_enum(value));
        if (e) return e->value_nick;
    }
    if (G_IS_PARAM_SPEC_FLAGS(param)) {
        GFlagsClass* flags = G_PARAM_SPEC_FLAGS(param)->flags_class;
        guint rest = g_value_get_flags(value);
        std::string out;
        while (rest != 0) {
            const GFlagsValue* f = g_flags_get_first_value(flags, rest);
            if (!f || f->value == 0) break;
            out += (out.empty() ? "" : "+") + std::string(f->value_nick);
            rest &= ~f->value;
        }
        return out.empty() ? "0" : out;
    }
    gchar* text = g_strdup_value_contents(value);
    std::string out = Text(text);
    g_free(text);
    return out;
}

}  // namespace

void ApplyFilterOverrides(const CFilterOverrides& overrides) {
    std::vector<std::string> restored;
    {
        std::lock_guard<std::mutex> lock(RankMutex());
        for (const auto& [name, rank] : OriginalRanks())
            if (!overrides.Rank(name)) restored.push_back(name);
    }
    for (const std::string& name : restored) SetFactoryRank(name, std::nullopt);
    for (const auto& [name, o] : overrides.Filters())
        if (const auto rank = overrides.Rank(name)) SetFactoryRank(name, rank);
}

uint32_t DefaultFactoryRank(const std::string& factoryName, uint32_t current) {
    std::lock_guard<std::mutex> lock(RankMutex());
    const auto found = OriginalRanks().find(factoryName);
    return found == OriginalRanks().end() ? current : found->second;
}

std::string FactoryClsidText(const std::string& factoryName) {
    return GuidString(NameBasedGuid("torvo:factory:" + factoryName));
}

CGstPlatform::CGstPlatform() = default;

CGstPlatform::~CGstPlatform() {
    for (auto& f : factories_)
        if (f->factory) gst_object_unref(f->factory);
}

namespace {

// GStreamer's initialisation, once per process: empty when it succeeded and
// its registry has plugins, else why not.
const std::string& InitialisationError() {
    static std::once_flag once;
    static std::string error;
    std::call_once(once, [] {
        GError* failure = nullptr;
        if (!gst_init_check(nullptr, nullptr, &failure)) {
            error = "GStreamer cannot be initialised: " + std::string(failure ? failure->message : "no reason given");
            if (failure) g_error_free(failure);
            return;
        }
        // A registry that could not be read or built (an unreadable
        // GST_REGISTRY_1_0, plugin folders that are not there) holds no
        // plugin file, not even the core elements: only GStreamer's own
        // static bin and pipeline.
        GList* plugins = gst_registry_get_plugin_list(gst_registry_get());
        bool empty = true;
        for (GList* l = plugins; l && empty; l = l->next) empty = gst_plugin_get_filename(GST_PLUGIN(l->data)) == nullptr;
        gst_plugin_list_free(plugins);
        if (empty) {
            const char* file = std::getenv("GST_REGISTRY_1_0");
            const char* folders = std::getenv("GST_PLUGIN_SYSTEM_PATH_1_0");
            error = "the GStreamer registry holds no plugin (registry " + std::string(file && *file ? file : "default") +
                    ", plugin folders " + std::string(folders && *folders ? folders : "default") + ")";
            return;
        }
        // The user's merit changes hold for everything this process plugs.
        CFilterOverrides overrides;
        overrides.Load(CFilterOverrides::DefaultPath());
        ApplyFilterOverrides(overrides);
    });
    return error;
}

}  // namespace

bool CGstPlatform::Initialize() { return InitialisationError().empty(); }

std::string CGstPlatform::InitializeError() const { return InitialisationError(); }

uint32_t CGstPlatform::CreateFilterMapper() {
    if (!factories_.empty()) return 0;
    overrides_.Load(CFilterOverrides::DefaultPath());
    GList* features = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
    for (GList* l = features; l; l = l->next) {
        auto* factory = GST_ELEMENT_FACTORY(l->data);
        auto f = std::make_unique<Factory>();
        f->klass = Text(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS));
        const bool sink = Contains(f->klass, "Sink") && (Contains(f->klass, "Video") || Contains(f->klass, "Audio"));
        const bool filter = Contains(f->klass, "Decoder") || Contains(f->klass, "Demux") || Contains(f->klass, "Parser");
        // Bins that take any caps (decodebin, autovideosink and friends) decide nothing.
        if ((!sink && !filter) || !HasSinkTemplate(factory) || AnyCapsSinkTemplate(factory)) continue;
        f->name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
        f->longName = Text(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME));
        f->rank = gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(factory));
        f->defaultRank = DefaultFactoryRank(f->name, f->rank);
        f->renderer = sink;
        f->videoSink = sink && Contains(f->klass, "Video");
        f->audioSink = sink && !f->videoSink;
        f->clsidText = FactoryClsidText(f->name);
        if (GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory))) {
            f->pluginFile = Text(gst_plugin_get_filename(plugin));
            f->pluginName = Text(gst_plugin_get_name(plugin));
            f->pluginVersion = Text(gst_plugin_get_version(plugin));
            f->pluginDescription = Text(gst_plugin_get_description(plugin));
            f->license = Text(gst_plugin_get_license(plugin));
            f->package = Text(gst_plugin_get_package(plugin));
            f->origin = Text(gst_plugin_get_origin(plugin));
            gst_object_unref(plugin);
        }
        f->factory = GST_ELEMENT_FACTORY(gst_object_ref(factory));
        factories_.push_back(std::move(f));
    }
    gst_plugin_feature_list_free(features);
    // The filter mapper lists by merit, highest first.
    std::stable_sort(factories_.begin(), factories_.end(), [](const auto& a, const auto& b) {
        return a->rank != b->rank ? a->rank > b->rank : a->name < b->name;
    });
    // The sink that works on this display stands for the default video
    // renderer, the next one that works for the plain renderer, the sink of
    // the answering sound server for the sound renderer.
    std::vector<std::string> sinks;
    for (const auto& f : factories_)
        if (f->renderer) sinks.push_back(f->name);
    const DefaultSinkChoice choice = ChooseDefaultSinks(*this, sinks);
    for (auto& f : factories_)
        if (f->renderer) f->clsidText = RendererClsidText(choice, f->name, f->clsidText);
    for (size_t i = 0; i < factories_.size(); ++i) {
        if (factories_[i]->renderer) renderers_.push_back(static_cast<int>(i));
        filters_.push_back(static_cast<int>(i));
    }
    return 0;
}

std::vector<int> CGstPlatform::EnumMatchingFilters(bool renderer) { return renderer ? renderers_ : filters_; }

bool CGstPlatform::BindToStorage(int moniker) { return moniker >= 0 && static_cast<size_t>(moniker) < factories_.size(); }

std::optional<std::string> CGstPlatform::ReadProperty(int moniker, const std::string& name) {
    const Factory& f = *factories_[static_cast<size_t>(moniker)];
    if (name == "FriendlyName") return f.longName;
    if (name == "CLSID") return f.clsidText;
    if (name == "ElementName") return f.name;
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> CGstPlatform::ReadFilterData(int moniker) {
    // The moniker itself: the registration is read from the factory when parsed.
    return MonikerBytes(static_cast<size_t>(moniker));
}

uint32_t CGstPlatform::EffectiveMerit(const Factory& f) const {
    if (const FilterOverride* o = overrides_.Find(f.name)) {
        if (o->unregistered) return MeritFromRank(0);
        if (o->merit) return *o->merit;
    }
    return MeritFromRank(f.rank);
}

std::optional<std::vector<uint8_t>> CGstPlatform::CreateFilterData(const RegFilter2& filter) {
    std::string text(kWrittenMagic);
    text += Format("merit %x\n", filter.merit);
    for (const RegPin& pin : filter.pins) {
        text += "pin " + std::to_string(pin.flags) + "\n";
        for (const RegMediaType& t : pin.types)
            text += "type " + (t.major ? GuidString(*t.major) : "-") + " " + (t.subtype ? GuidString(*t.subtype) : "-") + "\n";
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::optional<RegFilter2> CGstPlatform::ParseFilterData(const std::vector<uint8_t>& bytes) {
    if (bytes.size() != 4) return ParseWritten(bytes);
    const uint32_t index = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    if (index >= factories_.size()) return std::nullopt;
    const Factory& f = *factories_[index];
    RegFilter2 filter;
    filter.merit = EffectiveMerit(f);
    const FilterOverride* changes = overrides_.Find(f.name);
    // Sinks are described by the raw media they render: their compressed
    // pass-through caps need a receiver that decodes, not a decoder here.
    for (const GList* l = gst_element_factory_get_static_pad_templates(f.factory); l; l = l->next) {
        auto* t = static_cast<GstStaticPadTemplate*>(l->data);
        RegPin pin;
        pin.flags = t->direction == GST_PAD_SRC ? kRegPinFlagOutput : 0;
        GstCaps* caps = gst_static_caps_get(&t->static_caps);
        if (gst_caps_is_any(caps)) {
            pin.types.push_back({});
        } else {
            for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
                const GstStructure* s = gst_caps_get_structure(caps, i);
                if (f.renderer && !IsRawStructure(s)) continue;
                TypesOfStructure(s, pin.types);
            }
        }
        gst_caps_unref(caps);
        if (changes)
            std::erase_if(pin.types, [&](const RegMediaType& type) {
                const RemovedMediaType r{(pin.flags & kRegPinFlagOutput) != 0,
                                         {type.major.value_or(Guid{}), type.subtype.value_or(Guid{})}};
                return std::find(changes->removed.begin(), changes->removed.end(), r) != changes->removed.end();
            });
        filter.pins.push_back(std::move(pin));
    }
    // Inputs first, as filters register them.
    std::stable_partition(filter.pins.begin(), filter.pins.end(), [](const RegPin& p) { return !(p.flags & kRegPinFlagOutput); });
    return filter;
}

const CGstPlatform::Factory* CGstPlatform::FactoryOfClass(const std::string& key, const std::string& suffix) const {
    // "...CLSID\{X}" followed by the suffix.
    const size_t open = key.find('{');
    if (open == std::string::npos || key.size() < open + 38 || key.substr(open + 38) != suffix) return nullptr;
    const std::string clsid = Upper(key.substr(open, 38));
    for (const auto& f : factories_)
        if (f->clsidText == clsid) return f.get();
    return nullptr;
}

CGstPlatform::Factory* CGstPlatform::FactoryOfClsid(const std::string& clsidText) const {
    const std::string clsid = Upper(clsidText);
    for (const auto& f : factories_)
        if (f->clsidText == clsid) return f.get();
    return nullptr;
}

std::optional<std::vector<std::string>> CGstPlatform::SubKeys(Hive hive, const std::string& key) {
    if (hive == Hive::kClassesRoot) {
        const auto instance = InstanceOf(key);
        if (!instance || !instance->empty()) return std::nullopt;
        std::vector<std::string> out;
        for (const auto& f : factories_)
            if (std::find(out.begin(), out.end(), f->clsidText) == out.end()) out.push_back(f->clsidText);
        return out;
    }
    if (hive == Hive::kLocalMachine && FactoryOfClass(key, "")) return std::vector<std::string>{"InProcServer32"};
    return std::nullopt;
}

std::optional<std::vector<RegValue>> CGstPlatform::Values(Hive hive, const std::string& key) {
    if (hive == Hive::kLocalMachine) {
        const Factory* f = FactoryOfClass(key, "\\InProcServer32");
        if (!f) return std::nullopt;
        RegValue server;
        server.type = RegValue::kString;
        server.text = f->pluginFile;
        return std::vector<RegValue>{server};
    }
    if (hive == Hive::kClassesRoot) {
        if (const auto instance = InstanceOf(key)) {
            const Factory* f = instance->empty() ? nullptr : FactoryOfClsid(*instance);
            if (!f) return std::nullopt;
            std::vector<RegValue> values(3);
            values[0].name = "CLSID", values[0].type = RegValue::kString, values[0].text = f->clsidText;
            values[1].name = "FriendlyName", values[1].type = RegValue::kString, values[1].text = f->longName;
            values[2].name = "FilterData", values[2].type = RegValue::kBinary;
            for (size_t i = 0; i < factories_.size(); ++i)
                if (factories_[i].get() == f) values[2].bytes = MonikerBytes(i);
            return values;
        }
        const Factory* f = FactoryOfClass(key, "");
        if (!f) return std::nullopt;
        RegValue merit;
        merit.name = "Merit";
        merit.type = RegValue::kDword;
        merit.dword = EffectiveMerit(*f);
        return std::vector<RegValue>{merit};
    }
    return std::nullopt;
}

bool CGstPlatform::ChangeOverrides(Factory& f, const std::function<void(CFilterOverrides&)>& change) {
    // Another program may have changed the store meanwhile: start from the file.
    const std::string path = CFilterOverrides::DefaultPath();
    CFilterOverrides store;
    if (!store.Load(path)) return false;
    change(store);
    store.Prune();
    if (!store.Save(path)) return false;
    overrides_ = store;
    SetFactoryRank(f.name, store.Rank(f.name));
    f.rank = store.Rank(f.name).value_or(f.defaultRank);
    return true;
}

bool CGstPlatform::SetValue(Hive hive, const std::string& key, const RegValue& value) {
    const auto instance = InstanceOf(key);
    if (hive != Hive::kClassesRoot || !instance || instance->empty() || value.name != "FilterData") return false;
    Factory* f = FactoryOfClsid(*instance);
    const auto written = ParseWritten(value.bytes);
    if (!f || !written) return false;
    size_t index = 0;
    while (factories_[index].get() != f) ++index;
    const auto current = ParseFilterData(MonikerBytes(index));
    if (!current || current->pins.size() != written->pins.size()) return false;
    return ChangeOverrides(*f, [&](CFilterOverrides& store) {
        FilterOverride& o = store.Edit(f->name);
        if (written->merit != current->merit) {
            if (written->merit == MeritFromRank(f->defaultRank)) o.merit.reset();
            else o.merit = written->merit;
        }
        // Types the written registration no longer has were removed.
        for (size_t p = 0; p < current->pins.size(); ++p) {
            const RegPin& before = current->pins[p];
            const RegPin& after = written->pins[p];
            for (const RegMediaType& t : before.types) {
                const bool kept = std::any_of(after.types.begin(), after.types.end(), [&](const RegMediaType& a) {
                    return a.major == t.major && a.subtype == t.subtype;
                });
                const RemovedMediaType r{(before.flags & kRegPinFlagOutput) != 0,
                                         {t.major.value_or(Guid{}), t.subtype.value_or(Guid{})}};
                if (!kept && std::find(o.removed.begin(), o.removed.end(), r) == o.removed.end()) o.removed.push_back(r);
            }
        }
    });
}

int CGstPlatform::CallServerRegistration(const std::string& path, const std::string& clsidText, bool unregister) {
    Factory* f = FactoryOfClsid(clsidText);
    if (!f) return 3;
    if (path != f->pluginFile || ::access(path.c_str(), R_OK) != 0) return 2;
    const bool saved = ChangeOverrides(*f, [&](CFilterOverrides& store) {
        if (unregister) store.Edit(f->name).unregistered = true;
        else store.Erase(f->name);
    });
    return saved ? 0 : 4;
}

std::vector<FilterProperty> CGstPlatform::FilterProperties(const std::string& clsidText) {
    std::vector<FilterProperty> out;
    const Factory* f = FactoryOfClsid(clsidText);
    if (!f) return out;
    GstPluginFeature* loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(f->factory));
    if (!loaded) return out;
    const GType type = gst_element_factory_get_element_type(GST_ELEMENT_FACTORY(loaded));
    if (type != 0) {
        gpointer klass = g_type_class_ref(type);
        guint count = 0;
        GParamSpec** params = g_object_class_list_properties(G_OBJECT_CLASS(klass), &count);
        for (guint i = 0; i < count; ++i) {
            GParamSpec* param = params[i];
            const std::string name = g_param_spec_get_name(param);
            // Every element has these two; they are not settings of the filter.
            if (name == "name" || name == "parent") continue;
            FilterProperty p;
            p.name = name;
            p.type = g_type_name(param->value_type);
            p.defaultValue = DefaultText(param);
            p.description = Text(g_param_spec_get_blurb(param));
            p.writable = (param->flags & G_PARAM_WRITABLE) != 0;
            out.push_back(std::move(p));
        }
        g_free(params);
        g_type_class_unref(klass);
    }
    gst_object_unref(loaded);
    return out;
}

bool WriteFactoryMerit(const std::string& factory, std::optional<uint32_t> merit, std::string& message) {
    CGstPlatform platform;
    GstPluginFeature* feature = nullptr;
    if (platform.Initialize()) feature = gst_registry_lookup_feature(gst_registry_get(), factory.c_str());
    if (!feature || !GST_IS_ELEMENT_FACTORY(feature)) {
        if (feature) gst_object_unref(feature);
        message = "no element factory named '" + factory + "'";
        return false;
    }
    const uint32_t defaultRank = DefaultFactoryRank(factory, gst_plugin_feature_get_rank(feature));
    gst_object_unref(feature);
    const std::string path = CFilterOverrides::DefaultPath();
    CFilterOverrides store;
    if (!store.Load(path)) {
        message = "cannot read " + path;
        return false;
    }
    FilterOverride& o = store.Edit(factory);
    if (merit) {
        o.merit = *merit;
    } else {
        o.merit.reset();
        o.unregistered = false;
    }
    store.Prune();
    if (!store.Save(path)) {
        message = "cannot write " + path;
        return false;
    }
    ApplyFilterOverrides(store);
    const uint32_t rank = store.Rank(factory).value_or(defaultRank);
    message = Format("%s: merit 0x%08x (rank %u)", factory.c_str(), merit.value_or(MeritFromRank(rank)), rank);
    return true;
}

bool CGstPlatform::FindFile(const std::string& name) { return !name.empty() && ::access(name.c_str(), F_OK) == 0; }

std::optional<VersionResource> CGstPlatform::ReadVersionResource(const std::string& path) {
    for (const auto& f : factories_) {
        if (f->pluginFile != path) continue;
        VersionResource r;
        r.translations.emplace_back(0x0409, 0x04B0);
        const std::string prefix = "\\StringFileInfo\\040904B0\\";
        const std::string file = path.substr(path.find_last_of('/') + 1);
        const std::pair<const char*, const std::string*> strings[] = {
            {"CompanyName", &f->origin},      {"FileDescription", &f->pluginDescription},
            {"FileVersion", &f->pluginVersion}, {"InternalName", &f->pluginName},
            {"LegalCopyright", &f->license},  {"OriginalFileName", &file},
            {"ProductName", &f->package},     {"ProductVersion", &f->pluginVersion},
        };
        for (const auto& [name, value] : strings)
            if (!value->empty()) r.strings.emplace_back(prefix + name, *value);
        return r;
    }
    return std::nullopt;
}

}  // namespace torvo
