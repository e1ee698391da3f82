#include "platform/gstreamer/GstPlatform.h"

#include <gst/gst.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <unordered_map>

#include "inventory/CapsTypes.h"
#include "inventory/Merit.h"

namespace torvo {

struct CGstPlatform::Factory {
    std::string name, longName, klass, clsidText;
    uint32_t rank = 0;
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

}  // namespace

std::string FactoryClsidText(const std::string& factoryName) {
    return GuidString(NameBasedGuid("torvo:factory:" + factoryName));
}

CGstPlatform::CGstPlatform() = default;

CGstPlatform::~CGstPlatform() {
    for (auto& f : factories_)
        if (f->factory) gst_object_unref(f->factory);
}

bool CGstPlatform::Initialize() {
    // The registry is loaded once per process.
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = gst_init_check(nullptr, nullptr, nullptr); });
    return ok;
}

uint32_t CGstPlatform::CreateFilterMapper() {
    if (!factories_.empty()) return 0;
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
    // The preferred video sink stands for the default video renderer, the
    // next one for the plain renderer, the preferred audio sink for the
    // sound renderer.
    int videoSinks = 0;
    bool audioSink = false;
    for (auto& f : factories_) {
        if (f->videoSink && videoSinks < 2)
            f->clsidText = GuidString(videoSinks++ == 0 ? guids::kClsidVideoRendererDefault : guids::kClsidVideoRenderer);
        else if (f->audioSink && !audioSink && (audioSink = true))
            f->clsidText = GuidString(guids::kClsidDSoundRender);
    }
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
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> CGstPlatform::ReadFilterData(int moniker) {
    // The moniker itself: the registration is read from the factory when parsed.
    const auto v = static_cast<uint32_t>(moniker);
    return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

std::optional<RegFilter2> CGstPlatform::ParseFilterData(const std::vector<uint8_t>& bytes) {
    if (bytes.size() != 4) return std::nullopt;
    const uint32_t index = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    if (index >= factories_.size()) return std::nullopt;
    const Factory& f = *factories_[index];
    RegFilter2 filter;
    filter.merit = MeritFromRank(f.rank);
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

std::optional<std::vector<std::string>> CGstPlatform::SubKeys(Hive hive, const std::string& key) {
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
        const Factory* f = FactoryOfClass(key, "");
        if (!f) return std::nullopt;
        RegValue merit;
        merit.name = "Merit";
        merit.type = RegValue::kDword;
        merit.dword = MeritFromRank(f->rank);
        return std::vector<RegValue>{merit};
    }
    return std::nullopt;
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
