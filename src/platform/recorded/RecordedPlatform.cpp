#include "platform/recorded/RecordedPlatform.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace torvo {
namespace {

using Json = nlohmann::ordered_json;

// A member of an object, or an empty value of the same kind when absent.
const Json& Member(const Json& j, const char* name, bool array = false) {
    static const Json kEmptyObject = Json::object(), kEmptyArray = Json::array();
    if (j.is_object()) {
        auto it = j.find(name);
        if (it != j.end() && !it->is_null()) return *it;
    }
    return array ? kEmptyArray : kEmptyObject;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const char* HiveName(Hive hive) {
    switch (hive) {
        case Hive::kClassesRoot: return "HKCR";
        case Hive::kLocalMachine: return "HKLM";
        case Hive::kCurrentUser: return "HKCU";
    }
    return "";
}

std::string JoinKey(Hive hive, const std::string& key) {
    std::string path = key;
    while (!path.empty() && path.front() == '\\') path.erase(path.begin());
    while (!path.empty() && path.back() == '\\') path.pop_back();
    std::string full = HiveName(hive);
    if (!path.empty()) full += "\\" + path;
    return Lower(full);
}

Guid GuidOf(const Json& text) {
    if (!text.is_string()) return {};
    return ParseGuid(text.get<std::string>()).value_or(Guid{});
}

// Types are [major, subtype] pairs; [major] has no subtype; {"generate": n}
// stands for n distinct video FourCC types.
std::vector<RegMediaType> PinTypesOf(const Json& pin) {
    std::vector<RegMediaType> types;
    if (pin.contains("generate"))
        for (uint32_t i = 0; i < pin["generate"].get<uint32_t>(); ++i)
            types.push_back({guids::kMediaTypeVideo, FourccGuidOf(0x30303030u + i)});
    for (const Json& t : Member(pin, "types", true)) {
        RegMediaType type;
        if (t.size() >= 1 && !t[0].is_null()) type.major = GuidOf(t[0]);
        if (t.size() >= 2 && !t[1].is_null()) type.subtype = GuidOf(t[1]);
        types.push_back(type);
    }
    return types;
}

RegFilter2 FilterOf(const Json& d) {
    RegFilter2 f;
    f.merit = d.value("merit", 0u);
    for (const Json& pin : Member(d, "pins", true)) {
        RegPin p;
        p.flags = pin.value("output", false) ? kRegPinFlagOutput : 0;
        p.types = PinTypesOf(pin);
        f.pins.push_back(std::move(p));
    }
    return f;
}

std::vector<uint8_t> HexBytes(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

RegValue ValueOf(const std::string& name, const Json& v) {
    RegValue value;
    value.name = name;
    if (v.is_string()) {
        value.type = RegValue::kString;
        value.text = v.get<std::string>();
    } else if (v.is_number()) {
        value.type = RegValue::kDword;
        value.dword = v.get<uint32_t>();
    } else if (v.is_object() && v.contains("expand")) {
        value.type = RegValue::kExpandString;
        value.text = v["expand"].get<std::string>();
    } else if (v.is_object() && v.contains("binary")) {
        value.type = RegValue::kBinary;
        value.bytes = HexBytes(v["binary"].get<std::string>());
    } else if (v.is_object() && v.contains("filterData")) {
        value.type = RegValue::kBinary;
        value.bytes = CRecordedPlatform::FilterDataBytes(v["filterData"]);
    }
    return value;
}

void Crash(const Json& item, const char* where) {
    if (item.value("crash", std::string()) == where) throw ForeignCrash(where);
}

}  // namespace

CRecordedPlatform::CRecordedPlatform(const std::string& fixtureJson) : fixture_(Json::parse(fixtureJson)) {
    const Json& filters = Member(fixture_, "filters", true);
    for (size_t i = 0; i < filters.size(); ++i) {
        const Json& f = filters[i];
        const bool renderer = f.value("renderer", false);
        if (renderer) renderers_.push_back(static_cast<int>(i));
        // The filter pass lists renderers too, as the filter mapper does.
        if (!renderer || f.value("alsoFilter", true)) filters_.push_back(static_cast<int>(i));
    }
    for (const auto& [path, values] : Member(fixture_, "registry").items()) {
        Key& key = MakeKey(path);
        for (const auto& [name, v] : values.items()) key.values.push_back(ValueOf(name, v));
    }
}

std::unique_ptr<CRecordedPlatform> CRecordedPlatform::FromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::stringstream text;
    text << in.rdbuf();
    return std::make_unique<CRecordedPlatform>(text.str());
}

CRecordedPlatform::Key& CRecordedPlatform::MakeKey(const std::string& fullPath) {
    const std::string lower = Lower(fullPath);
    auto found = keys_.find(lower);
    if (found != keys_.end()) return found->second;
    Key& key = keys_[lower];
    key.name = fullPath.substr(fullPath.find_last_of('\\') + 1);
    const size_t cut = fullPath.find_last_of('\\');
    if (cut != std::string::npos) MakeKey(fullPath.substr(0, cut)).children.push_back(lower);
    return keys_[lower];
}

CRecordedPlatform::Key* CRecordedPlatform::FindKey(Hive hive, const std::string& key) {
    auto found = keys_.find(JoinKey(hive, key));
    return found == keys_.end() ? nullptr : &found->second;
}

const Json& CRecordedPlatform::Filter(int moniker) const { return fixture_["filters"][static_cast<size_t>(moniker)]; }

bool CRecordedPlatform::Initialize() {
    if (fixture_.value("crash", std::string()) == "initialize") throw ForeignCrash("initialize");
    return fixture_.value("com", true);
}

uint32_t CRecordedPlatform::CreateFilterMapper() {
    if (fixture_.contains("display")) {
        std::vector<std::string> installed;
        for (const Json& f : Member(fixture_, "filters", true))
            if (f.value("renderer", false) && f.contains("factory")) installed.push_back(f.value("factory", ""));
        sinks_ = ChooseDefaultSinks(*this, installed);
    }
    return fixture_.value("mapperFailure", 0u);
}

DisplayServer CRecordedPlatform::AnsweringDisplayServer() {
    const std::string display = fixture_.value("display", std::string());
    if (display == "x11") return DisplayServer::kX11;
    if (display == "wayland") return DisplayServer::kWayland;
    return DisplayServer::kNone;
}

bool CRecordedPlatform::SinkOpens(const std::string& factory) {
    const Json& opening = Member(fixture_, "openingSinks", true);
    return std::find(opening.begin(), opening.end(), Json(factory)) != opening.end();
}

std::vector<int> CRecordedPlatform::EnumMatchingFilters(bool renderer) { return renderer ? renderers_ : filters_; }

bool CRecordedPlatform::BindToStorage(int moniker) { return !Filter(moniker).value("bindFails", false); }

std::optional<std::string> CRecordedPlatform::ReadProperty(int moniker, const std::string& name) {
    const Json& f = Filter(moniker);
    Crash(f, name.c_str());
    if (name == "CLSID" && sinks_ && f.contains("factory"))
        return RendererClsidText(*sinks_, f.value("factory", ""), f.value("CLSID", ""));
    if (!f.contains(name) || !f[name].is_string()) return std::nullopt;
    return f[name].get<std::string>();
}

std::optional<std::vector<uint8_t>> CRecordedPlatform::ReadFilterData(int moniker) {
    const Json& f = Filter(moniker);
    Crash(f, "FilterData");
    if (!f.contains("FilterData")) return std::nullopt;
    return FilterDataBytes(f["FilterData"]);
}

std::vector<uint8_t> CRecordedPlatform::FilterDataBytes(const Json& description) {
    const std::string text = description.dump();
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::optional<RegFilter2> CRecordedPlatform::ParseFilterData(const std::vector<uint8_t>& bytes) {
    const Json d = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (d.is_discarded() || !d.is_object()) return std::nullopt;
    return FilterOf(d);
}

std::optional<std::vector<uint8_t>> CRecordedPlatform::CreateFilterData(const RegFilter2& filter) {
    Json d;
    d["merit"] = filter.merit;
    d["pins"] = Json::array();
    for (const RegPin& pin : filter.pins) {
        Json p;
        p["output"] = (pin.flags & kRegPinFlagOutput) != 0;
        p["types"] = Json::array();
        for (const RegMediaType& t : pin.types) {
            Json pair = Json::array();
            pair.push_back(t.major ? Json(GuidString(*t.major)) : Json());
            if (t.subtype) pair.push_back(GuidString(*t.subtype));
            p["types"].push_back(pair);
        }
        d["pins"].push_back(p);
    }
    return FilterDataBytes(d);
}

std::vector<int> CRecordedPlatform::AcmDrivers() {
    std::vector<int> out;
    for (size_t i = 0; i < Member(fixture_, "acm", true).size(); ++i) out.push_back(static_cast<int>(i));
    return out;
}

bool CRecordedPlatform::AcmDriverDetails(int driver, torvo::AcmDriverDetails& out) {
    const Json& d = fixture_["acm"][static_cast<size_t>(driver)];
    out.shortName.Set(d.value("shortName", std::string()));
    out.longName.Set(d.value("longName", std::string()));
    out.formatTagCount = static_cast<uint32_t>(Member(d, "formatTags", true).size());
    return true;
}

bool CRecordedPlatform::AcmDriverOpen(int driver) {
    const Json& d = fixture_["acm"][static_cast<size_t>(driver)];
    Crash(d, "open");
    return d.value("opens", true);
}

bool CRecordedPlatform::AcmFormatTagDetails(int driver, uint32_t index, torvo::AcmFormatTagDetails& out) {
    const Json& tags = fixture_["acm"][static_cast<size_t>(driver)]["formatTags"];
    if (index >= tags.size()) return false;
    out.index = index;
    out.formatTag = tags[index].value("tag", 0u);
    out.name.Set(tags[index].value("name", std::string()));
    return true;
}

std::optional<std::string> CRecordedPlatform::DriverModulePath(const std::string& alias) {
    const Json& drivers = Member(fixture_, "drivers");
    for (const auto& [name, path] : drivers.items())
        if (Lower(name) == Lower(alias)) return path.get<std::string>();
    return std::nullopt;
}

std::optional<VfwInfo> CRecordedPlatform::VfwCodecInfo(uint32_t fourcc) {
    std::string key;
    for (int i = 0; i < 4; ++i) key += static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    const Json& vfw = Member(fixture_, "vfw");
    for (const auto& [name, info] : vfw.items()) {
        if (Lower(name) != Lower(key)) continue;
        Crash(info, "info");
        return VfwInfo{info.value("name", std::string()), info.value("description", std::string()),
                       info.value("driver", std::string())};
    }
    return std::nullopt;
}

std::optional<std::vector<DmoInfo>> CRecordedPlatform::DmoEnum(const Guid& category) {
    if (!fixture_.contains("dmo") || fixture_["dmo"].is_null()) return std::nullopt;  // no msdmo library
    const char* which = category == guids::kDmoCategoryVideoDecoder ? "video" : "audio";
    std::vector<DmoInfo> out;
    for (const Json& d : Member(fixture_["dmo"], which, true))
        out.push_back({GuidOf(d["clsid"]), d.value("name", std::string())});
    return out;
}

bool CRecordedPlatform::DmoGetTypes(const Guid& clsid, std::vector<MediaTypePair>& inputs,
                                    std::vector<MediaTypePair>& outputs) {
    for (const char* which : {"video", "audio"})
        for (const Json& d : Member(fixture_["dmo"], which, true)) {
            if (!(GuidOf(d["clsid"]) == clsid)) continue;
            Crash(d, "types");
            for (const auto& [list, out] : {std::pair{"inputs", &inputs}, std::pair{"outputs", &outputs}})
                for (const Json& t : d.value(list, Json::array())) out->push_back({GuidOf(t[0]), GuidOf(t[1])});
            return true;
        }
    return false;
}

std::optional<std::vector<std::string>> CRecordedPlatform::SubKeys(Hive hive, const std::string& key) {
    Key* k = FindKey(hive, key);
    if (!k) return std::nullopt;
    std::vector<std::string> names;
    for (const std::string& child : k->children) names.push_back(keys_[child].name);
    return names;
}

std::optional<std::vector<RegValue>> CRecordedPlatform::Values(Hive hive, const std::string& key) {
    Key* k = FindKey(hive, key);
    if (!k) return std::nullopt;
    return k->values;
}

bool CRecordedPlatform::SetValue(Hive hive, const std::string& key, const RegValue& value) {
    // "readOnlyKeys": keys whose writes fail, as under a user without rights.
    for (const Json& k : Member(fixture_, "readOnlyKeys", true))
        if (k.is_string() && JoinKey(hive, key) == Lower(k.get<std::string>())) return false;
    Key& k = MakeKey(std::string(HiveName(hive)) + "\\" + (key.starts_with("\\") ? key.substr(1) : key));
    for (RegValue& v : k.values)
        if (Lower(v.name) == Lower(value.name)) {
            v = value;
            return true;
        }
    k.values.push_back(value);
    return true;
}

bool CRecordedPlatform::DeleteValue(Hive hive, const std::string& key, const std::string& name) {
    Key* k = FindKey(hive, key);
    if (!k) return false;
    for (auto it = k->values.begin(); it != k->values.end(); ++it)
        if (Lower(it->name) == Lower(name)) {
            k->values.erase(it);
            return true;
        }
    return false;
}

std::string CRecordedPlatform::ExpandEnvironment(const std::string& text) {
    std::string out = text;
    for (const auto& [name, value] : Member(fixture_, "environment").items()) {
        const std::string token = "%" + name + "%";
        for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at + 1))
            out.replace(at, token.size(), value.get<std::string>());
    }
    return out;
}

bool CRecordedPlatform::FindFile(const std::string& name) {
    for (const Json& f : Member(fixture_, "files", true))
        if (Lower(f.get<std::string>()) == Lower(name)) return true;
    return false;
}

bool CRecordedPlatform::SearchPathFor(const std::string& fileName) {
    for (const Json& f : Member(fixture_, "searchPath", true))
        if (Lower(f.get<std::string>()) == Lower(fileName)) return true;
    return false;
}

std::optional<VersionResource> CRecordedPlatform::ReadVersionResource(const std::string& path) {
    for (const auto& [file, v] : Member(fixture_, "versions").items()) {
        if (Lower(file) != Lower(path)) continue;
        VersionResource r;
        r.readFails = v.value("readFails", false);
        if (v.value("fixedInfo", false)) r.fixedInfo = std::vector<uint8_t>(52, 0);
        for (const Json& t : Member(v, "translations", true))
            r.translations.emplace_back(t[0].get<uint16_t>(), t[1].get<uint16_t>());
        for (const auto& [name, value] : Member(v, "strings").items())
            r.strings.emplace_back(name, value.get<std::string>());
        return r;
    }
    return std::nullopt;
}

uint16_t CRecordedPlatform::UserDefaultLanguage() { return fixture_.value("language", uint16_t{0x0419}); }

int CRecordedPlatform::CallServerRegistration(const std::string& path, const std::string&, bool unregister) {
    const Json& servers = Member(fixture_, "servers");
    const auto module = servers.find(path);
    if (module == servers.end()) return 2;
    const auto entry = module->find(unregister ? "DllUnregisterServer" : "DllRegisterServer");
    if (entry == module->end()) return 3;
    return entry->get<int64_t>() < 0 ? 4 : 0;
}

std::vector<FilterProperty> CRecordedPlatform::FilterProperties(const std::string& clsidText) {
    std::vector<FilterProperty> out;
    for (const auto& [clsid, list] : Member(fixture_, "properties").items()) {
        if (Lower(clsid) != Lower(clsidText)) continue;
        for (const Json& p : list)
            out.push_back({p.value("name", ""), p.value("type", ""), p.value("default", ""), p.value("description", ""),
                           p.value("writable", false)});
    }
    return out;
}

}  // namespace torvo
