#include "inventory/Enumeration.h"

#include <cctype>
#include <cstdlib>

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr uint32_t kRegdbClassNotRegistered = 0x80040154;
constexpr const char* kEnumCaption = N_("Ошибка нумерации кодека");
constexpr const char* kDriverCacheKey = "SOFTWARE\\Microsoft\\AudioCompressionManager\\DriverCache";
constexpr const char* kPriorityKey = "Software\\Microsoft\\Multimedia\\Audio Compression Manager\\Priority v4.00";
constexpr const char* kDrivers32Key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}
std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

uint32_t FourccValue(std::string_view text) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(uint8_t(i < text.size() ? text[i] : ' ')) << (8 * i);
    return v;
}

const RegValue* FindValue(const std::vector<RegValue>& values, std::string_view name) {
    for (const RegValue& v : values)
        if (EqualsIgnoreAsciiCase(v.name, name)) return &v;
    return nullptr;
}

// The crash guard: a crash in foreign code records its culprit and ends the step.
template <typename Step, typename OnCrash>
void Guarded(Step step, OnCrash onCrash) {
    try {
        step();
    } catch (const ForeignCrash&) {
        onCrash();
    }
}

void RecordCrash(CrashRecord* record, int32_t state, std::string_view name, std::string_view path,
                 bool keepExisting = false) {
    if (!record) return;
    CrashRecord& crash = *record;
    if (keepExisting && (!crash.culpritName.Empty() || !crash.culpritPath.Empty())) {
        crash.state = state;
        return;
    }
    crash.culpritName.Set(name);
    crash.culpritPath.Set(path);
    crash.state = state;
}

bool ReadVersion(const EnumerationContext& c, const std::string& path, VersionStrings& out) {
    CFileVersionInfo info(c.platform, c.messages);
    if (!info.Read(path)) return false;
    info.CopyStrings(out);
    return true;
}

void SetPinsSingle(FilterPins& reg, const MediaTypePair& input, const MediaTypePair& output) {
    const uint32_t merit = reg.merit;
    FixedText<12> meritText = reg.meritText;
    reg = FilterPins{};
    reg.merit = merit;
    reg.meritText = meritText;
    reg.pinCount = 2;
    reg.pins[0].output = 0;
    reg.pins[0].typeCount = 1;
    reg.pins[0].types[0] = input;
    reg.pins[1].output = 1;
    reg.pins[1].typeCount = 1;
    reg.pins[1].types[0] = output;
}

bool IsDuplicate(const CodecInventory& inventory, int at) {
    const CodecEntry& e = inventory.At(at);
    for (int i = 0; i < at; ++i) {
        const CodecEntry& o = inventory.At(i);
        if (o.kind == kKindVfw) {
            if (EqualsIgnoreAsciiCase(o.vfwName.View(), e.vfwName.View()) &&
                EqualsIgnoreAsciiCase(o.path.View(), e.path.View()) &&
                EqualsIgnoreAsciiCase(o.formatText.View(), e.formatText.View()))
                return true;
        } else if (EqualsIgnoreAsciiCase(o.clsidText.View(), e.clsidText.View()) &&
                   EqualsIgnoreAsciiCase(o.friendlyName.View(), e.friendlyName.View())) {
            return true;
        }
    }
    return false;
}

// Fills the entry at position count from one moniker of a DirectShow pass.
void FillFilterEntry(CodecInventory& inventory, const EnumerationContext& c, CodecEntry& e, int moniker,
                     int32_t kind) {
    IInventoryPlatform& p = c.platform;
    e.kind = kind;
    if (auto name = p.ReadProperty(moniker, "FriendlyName")) {
        e.name.Set(*name);
        e.friendlyName.Set(*name);
    }
    if (auto clsid = p.ReadProperty(moniker, "CLSID")) {
        if (clsid->starts_with(':')) {
            // Switched off by a tool that hides a filter behind a colon.
            e.clsidText.Set(clsid->substr(1));
            e.status = kEntryDisabled;
            e.statusText.Set(N_("Отключен by MMCompView"));
        } else {
            e.clsidText.Set(*clsid);
        }
    }
    if (auto element = p.ReadProperty(moniker, "ElementName")) e.element.Set(*element);
    if (auto data = p.ReadFilterData(moniker))
        if (auto parsed = p.ParseFilterData(*data)) FillRegistration(*parsed, e.registration);
    if (EqualsIgnoreAsciiCase(e.clsidText.View(), GuidString(guids::kClsidAviCo)))
        e.clsidText.Set(GuidString(guids::kClsidAviDec));
    if (auto fcc = p.ReadProperty(moniker, "FccHandler")) e.formatText.Set(Upper(*fcc));
    if (!e.formatText.Empty()) {
        e.kind = kKindVfw;
        if (auto info = p.VfwCodecInfo(FourccValue(e.formatText.View()))) {
            e.vfwName.Set(info->name);
            e.vfwDescription.Set(info->description);
            e.path.Set(info->driver);
        }
    }
    if (e.clsidText.Empty()) return;
    std::string server;
    if (ServerPath(p, e.clsidText.c_str(), server) != 0) {
        e.status = kEntryProblem;
        e.statusText.Set(N_("** Кодек не зарегистрир"));
    }
    if (!e.path.Empty()) {
        e.displayPath.Set(std::string(FileNamePart(server)) + " --> " + std::string(FileNamePart(e.path.View())));
        return;
    }
    e.path.Set(server);
    e.displayPath.Set(FileNamePart(server));
    if (!EqualsIgnoreAsciiCase(e.clsidText.View(), GuidString(guids::kClsidAviDec))) {
        if (FileExists(p, e.path.c_str())) {
            ReadVersion(c, e.path.c_str(), e.version);
        } else {
            e.status = kEntryProblem;
            e.statusText.Set(Format(N_("** Файл пропал:  %s"), e.path.c_str()));
        }
    } else if (e.kind == kKindVfw) {
        std::string driver;
        e.status = kEntryProblem;
        if (FindDriverFile(p, "vidc." + std::string(e.formatText.View()), driver))
            e.statusText.Set(Format(N_("** Файл пропал:  %s"), driver.c_str()));
        else
            e.statusText.Set(N_("** Не хватает файла   драйвера VFW"));
    } else {
        e.kind = kKindVfwWrapper;
        e.version.texts[kCompanyName].Set("[VFW wrapper]");
    }
    (void)inventory;
}

}  // namespace

int ServerPath(IInventoryPlatform& platform, const std::string& clsidText, std::string& path) {
    path.clear();
    const auto values = platform.Values(Hive::kLocalMachine, "Software\\Classes\\CLSID\\" + clsidText + "\\InProcServer32");
    if (!values) {
        if (!platform.SubKeys(Hive::kLocalMachine, "Software\\Classes\\CLSID\\" + clsidText)) return 2;
        return 3;
    }
    const RegValue* v = FindValue(*values, "");
    if (!v || (v->type != RegValue::kString && v->type != RegValue::kExpandString)) return 3;
    path = std::string(TruncateUtf8(platform.ExpandEnvironment(v->text), 259));
    return 0;
}

bool FindDriverFile(IInventoryPlatform& platform, const std::string& alias, std::string& path) {
    const auto values = platform.Values(Hive::kLocalMachine, kDrivers32Key);
    if (!values) return false;
    const RegValue* v = FindValue(*values, alias);
    if (!v || (v->type != RegValue::kString && v->type != RegValue::kExpandString)) return false;
    path = platform.ExpandEnvironment(v->text);
    return true;
}

bool FileExists(IInventoryPlatform& platform, const std::string& name) {
    if (platform.FindFile(name)) return true;
    return platform.SearchPathFor(std::string(FileNamePart(name)));
}

void EnumerateAcmFormatTags(CodecInventory& inventory, const EnumerationContext& c) {
    IInventoryPlatform& p = c.platform;
    for (int driver : p.AcmDrivers()) {
        AcmDriverDetails details{};
        bool crashed = false;
        Guarded(
            [&] {
                if (!p.AcmDriverDetails(driver, details)) return;
                if (!p.AcmDriverOpen(driver)) return;
                for (uint32_t i = 0; i < details.formatTagCount && inventory.Count() < inventory.kCapacity; ++i) {
                    AcmFormatTagDetails tag{};
                    if (!p.AcmFormatTagDetails(driver, i, tag)) continue;
                    if (tag.formatTag == 1) continue;  // PCM needs no codec
                    CodecEntry& e = inventory.At(inventory.Count());
                    e.kind = kKindAcm;
                    e.acmDriver = details;
                    e.acmFormatTag = tag;
                    inventory.SetCount(inventory.Count() + 1);
                }
                p.AcmDriverClose(driver);
            },
            [&] {
                RecordCrash(inventory.crashRecord, kCrashInInventory, details.longName.View(), "");
                crashed = true;
            });
        if (crashed) break;  // the callback's crash ends the ACM enumeration
    }
}

namespace {

// The priority list entry of an alias: disabled flag and priority number.
void AcmPriority(IInventoryPlatform& p, const std::string& alias, int32_t& priority, int32_t& disabled) {
    priority = 0;
    disabled = 0;
    const auto values = p.Values(Hive::kCurrentUser, kPriorityKey);
    if (!values) return;
    for (const RegValue& v : *values) {
        if (v.type != RegValue::kString || v.text.size() < 3 || v.name.size() > 1024 || v.text.size() > 1024) continue;
        if (!EqualsIgnoreAsciiCase(std::string_view(v.text).substr(3), alias)) continue;
        disabled = v.text[0] == '0' ? 1 : 0;
        priority = v.name.size() > 8 ? std::atoi(v.name.c_str() + 8) : 0;
        return;
    }
}

void MergeDriverCacheTags(CodecInventory& inventory, const EnumerationContext& c, const std::string& alias,
                          const std::string& driverPath, const VersionStrings& version, int32_t priority,
                          int32_t disabled, const std::vector<RegValue>& values) {
    const RegValue* count = FindValue(values, "cFormatTags");
    const RegValue* cache = FindValue(values, "aFormatTagCache");
    if (!count || count->type != RegValue::kDword || !cache || cache->type != RegValue::kBinary) return;
    const size_t bytes = std::min<size_t>(cache->bytes.size(), 80);
    const size_t tags = std::min<size_t>({count->dword, bytes / 8, 10});
    const std::string display = std::string(inventory.AcmWrapperFileName()) + " --> " + std::string(FileNamePart(driverPath));
    for (size_t t = 0; t < tags; ++t) {
        const uint8_t* r = &cache->bytes[8 * t];
        const uint32_t tag = uint32_t(r[0]) | uint32_t(r[1]) << 8 | uint32_t(r[2]) << 16 | uint32_t(r[3]) << 24;
        if (tag == 1) continue;
        CodecEntry* target = nullptr;
        for (int i = 0; i < inventory.Count(); ++i) {
            CodecEntry& e = inventory.At(i);
            if (e.kind == kKindAcm && e.acmFormatTag.formatTag == tag && e.path.Empty()) {
                target = &e;
                break;
            }
        }
        if (target) {
            target->displayPath.Set(display);
        } else {
            if (inventory.Count() >= inventory.kCapacity) return;
            target = &inventory.At(inventory.Count());
            target->kind = kKindAcm;
            target->acmFormatTag.formatTag = tag;
            target->acmDriver.longName.Set(version.texts[kFileDescription].View());
            inventory.SetCount(inventory.Count() + 1);
        }
        target->version = version;
        target->path.Set(driverPath);
        target->acmAlias.Set(alias);
        target->acmDisabled = disabled;
        target->acmPriority = priority;
        target->name.Set(version.texts[kFileDescription].View());
        InstanceQuery query{"AcmId", "", tag};
        FindInstances(c.platform, query, &target->registration);
    }
}

}  // namespace

void EnumerateAcmDriverCache(CodecInventory& inventory, const EnumerationContext& c) {
    IInventoryPlatform& p = c.platform;
    const auto aliases = p.SubKeys(Hive::kLocalMachine, kDriverCacheKey);
    if (!aliases) return;
    for (const std::string& fullAlias : *aliases) {
        const std::string alias(TruncateUtf8(fullAlias, 259));
        bool crashed = false;
        Guarded(
            [&] {
                int32_t priority = 0, disabled = 0;
                AcmPriority(p, alias, priority, disabled);
                std::string driverPath;
                VersionStrings version{};
                bool present = false;
                if (auto module = p.DriverModulePath(alias)) {
                    driverPath = std::string(TruncateUtf8(*module, 259));
                    present = ReadVersion(c, driverPath, version);
                }
                if (!present) {
                    std::string registered;
                    if (!FindDriverFile(p, alias, registered) || inventory.Count() >= inventory.kCapacity) return;
                    CodecEntry& e = inventory.At(inventory.Count());
                    e.kind = kKindAcm;
                    e.path.Set(registered);
                    e.acmAlias.Set(alias);
                    e.status = kEntryProblem;
                    e.acmDriver.longName.Set("[Orphaned Driver32 Entry]");
                    e.statusText.Set(Format(N_("** Пропал  файл: %s"), e.path.c_str()));
                    inventory.SetCount(inventory.Count() + 1);
                    return;
                }
                const auto values = p.Values(Hive::kLocalMachine, std::string(kDriverCacheKey) + "\\" + fullAlias);
                if (values) MergeDriverCacheTags(inventory, c, alias, driverPath, version, priority, disabled, *values);
            },
            [&] {
                RecordCrash(inventory.crashRecord, kCrashInInventory, alias, "");
                crashed = true;
            });
        if (crashed) return;
    }
}

namespace {

// One entry per item at position count, under the crash guard: fill says
// whether the entry is kept; a crash names the entry as culprit and ends the
// pass. Passes stop one short of the table's capacity.
template <typename Items, typename Fill>
void GuardedPass(CodecInventory& inventory, const Items& items, bool keepCulprit, Fill fill) {
    for (const auto& item : items) {
        if (inventory.Count() >= inventory.kCapacity - 1) break;
        const int at = inventory.Count();
        CodecEntry& e = inventory.At(at);
        bool crashed = false;
        Guarded(
            [&] {
                if (fill(item, e, at)) inventory.SetCount(at + 1);
                else inventory.ClearEntry(at);
            },
            [&] {
                RecordCrash(inventory.crashRecord, kCrashInInventory, e.name.View(), e.path.View(), keepCulprit);
                inventory.ClearEntry(at);
                crashed = true;
            });
        if (crashed) return;
    }
}

}  // namespace

void EnumerateFilters(CodecInventory& inventory, const EnumerationContext& c, bool rendererPass) {
    IInventoryPlatform& p = c.platform;
    const int32_t kind = rendererPass ? kKindRenderer : kKindDsh;
    GuardedPass(inventory, p.EnumMatchingFilters(rendererPass), false, [&](int moniker, CodecEntry& e, int at) {
        if (!p.BindToStorage(moniker)) return false;
        FillFilterEntry(inventory, c, e, moniker, kind);
        return !IsDuplicate(inventory, at) &&
               (rendererPass || !EqualsIgnoreAsciiCase(e.clsidText.View(), GuidString(guids::kClsidKsProxy)));
    });
}

void EnumerateDmos(CodecInventory& inventory, const EnumerationContext& c, const Guid& category) {
    IInventoryPlatform& p = c.platform;
    std::string wrapper;
    ServerPath(p, GuidString(guids::kClsidDmoWrapper), wrapper);
    const bool wrapperMissing = !wrapper.empty() && !FileExists(p, wrapper);
    const auto dmos = p.DmoEnum(category);
    if (!dmos) return;
    GuardedPass(inventory, *dmos, true, [&](const DmoInfo& dmo, CodecEntry& e, int) {
        e.name.Set(dmo.name);
        e.friendlyName.Set(dmo.name);
        e.clsidText.Set(GuidString(dmo.clsid));
        std::string path;
        const int r = ServerPath(p, e.clsidText.c_str(), path);
        e.path.Set(path);
        e.displayPath.Set(std::string(FileNamePart(wrapper)) + " --> " + std::string(FileNamePart(path)));
        uint32_t merit = 0;
        ReadClassMerit(p, e.clsidText.c_str(), merit);
        e.registration.merit = merit;
        e.registration.meritText.Set(Format("0x%08x", merit));
        if (r == 2) {
            e.status = kEntryProblem;
            e.statusText.Set(N_("** Кодек не зарегистрир."));
        } else if (r == 3) {
            e.status = kEntryProblem;
            e.statusText.Set(N_("** Кодек некорректно зарегистр."));
        } else if (!path.empty() && !FileExists(p, path)) {
            e.status = kEntryProblem;
            e.statusText.Set(N_("** Файла нет:    ") + path);
        }
        std::vector<MediaTypePair> inputs, outputs;
        p.DmoGetTypes(dmo.clsid, inputs, outputs);
        FilterPins& reg = e.registration;
        reg.pinCount = 2;
        reg.pins[0].output = 0;
        reg.pins[0].typeCount = static_cast<int32_t>(std::min(inputs.size(), kMaxPinTypes));
        std::copy_n(inputs.begin(), reg.pins[0].typeCount, reg.pins[0].types.begin());
        reg.pins[1].output = 1;
        reg.pins[1].typeCount = static_cast<int32_t>(std::min(outputs.size(), kMaxPinTypes));
        std::copy_n(outputs.begin(), reg.pins[1].typeCount, reg.pins[1].types.begin());
        if (wrapperMissing) {
            e.status = kEntryProblem;
            e.statusText.Set(Format(N_("** Файл пропал:  %s"), wrapper.c_str()));
        } else if (path.empty()) {
            e.status = kEntryProblem;
            e.statusText.Set(N_("** Кодек не зарегистрир"));
        } else if (FileExists(p, path)) {
            ReadVersion(c, path, e.version);
        } else {
            e.status = kEntryProblem;
            e.statusText.Set(Format(N_("** Файл пропал:  %s"), path.c_str()));
        }
        e.kind = kKindDmo;
        return true;
    });
}

void PostProcessEntries(CodecInventory& inventory, const EnumerationContext& c) {
    for (int i = 0; i < inventory.Count(); ++i) {
        CodecEntry& e = inventory.At(i);
        e.index = i;
        e.indexText.Set(Format("%03d", i));
        if (!e.clsidText.Empty())
            if (auto clsid = ParseGuid(e.clsidText.View())) e.clsid = *clsid;
        if (e.kind == kKindAcm)
            SetPinsSingle(e.registration, {guids::kMediaTypeAudio, FormatTagGuid(static_cast<uint16_t>(e.acmFormatTag.formatTag))},
                          {guids::kMediaTypeAudio, guids::kNull});
        if (e.formatText.Empty()) {
            // The first named input subtype, else the first named input major type.
            auto firstInput = [&](bool major) -> const Guid* {
                for (int p = 0; p < e.registration.pinCount; ++p) {
                    const PinTypes& pin = e.registration.pins[static_cast<size_t>(p)];
                    if (pin.output) continue;
                    for (int t = 0; t < pin.typeCount; ++t) {
                        const Guid& g = major ? pin.types[static_cast<size_t>(t)].major : pin.types[static_cast<size_t>(t)].subtype;
                        if (!g.IsNull()) return &g;
                    }
                }
                return nullptr;
            };
            for (bool major : {false, true}) {
                const Guid* g = firstInput(major);
                if (!g) continue;
                std::string text = GuidText(*g, c.guidNames, {.decodeFourcc = true});
                if (!text.starts_with('{')) text = StripTypePrefix(text);
                if (text.starts_with('{')) continue;
                e.formatText.Set(text);
                break;
            }
        }
        if (e.kind == kKindAcm) {
            e.identifier = e.acmAlias;
        } else if (e.kind == kKindVfw) {
            e.identifier.Set("vidc." + Lower(TruncateUtf8(e.formatText.View(), 63)));
            SetPinsSingle(e.registration, {guids::kMediaTypeVideo, FourccGuid(Upper(e.formatText.View().substr(0, 4)))},
                          {guids::kMediaTypeVideo, guids::kNull});
        } else {
            e.identifier = e.clsidText;
        }
    }
}

void EnumerateInventory(CodecInventory& inventory, const EnumerationContext& c) {
    IInventoryPlatform& p = c.platform;
    int step = 0;
    try {
        step = 1;
        if (!p.Initialize()) {
            inventory.unavailable = p.InitializeError();
            if (inventory.unavailable.empty()) inventory.unavailable = "the codec platform cannot be initialised";
            inventory.finished.store(true, std::memory_order_release);
            return;
        }
        std::string wrapper;
        ServerPath(p, GuidString(guids::kClsidAcmWrapper), wrapper);
        inventory.acmWrapperPath.Set(wrapper);
        step = 3;
        if (const uint32_t failure = p.CreateFilterMapper(); failure != 0) {
            if (c.messages) {
                c.messages(kEnumCaption, N_("Не могу создать карту фильтров.  \r\nОтключите \"Взаимодействие с кодеками\"    \r\n в меню \"Параметры\", чтоб убрать это предупреждение."));
                c.messages(kEnumCaption, failure == kRegdbClassNotRegistered
                                             ? N_("Ошибка = класс не зарегистр..\r\nНажми \"Пуск\"->\"Выполнить\", введи\"regsvr32 quartz.dll\"")
                                             : N_("quartz.dll повреждена или отсутствует в папке Windows system32.         "));
            }
            p.Uninitialize();
            inventory.finished.store(true, std::memory_order_release);
            return;
        }
        step = 4;
        EnumerateAcmFormatTags(inventory, c);
        step = 5;
        EnumerateAcmDriverCache(inventory, c);
        EnumerateFilters(inventory, c, true);
        EnumerateFilters(inventory, c, false);
        EnumerateDmos(inventory, c, guids::kDmoCategoryVideoDecoder);
        EnumerateDmos(inventory, c, guids::kDmoCategoryAudioDecoder);
        PostProcessEntries(inventory, c);
        p.ReleaseFilterMapper();
        p.Uninitialize();
        inventory.enumerated = true;
    } catch (const ForeignCrash&) {
        // A crash outside the guarded passes is named by the step it hit.
        const int count = inventory.Count();
        CrashRecord* crash = inventory.crashRecord;
        if (step == 1) RecordCrash(crash, kCrashFailure, "CDsEnum: CoInitialize() Failure", "");
        else if (step == 3) RecordCrash(crash, kCrashFailure, "CDsEnum: CoCreateInstance() Failure: CLSID_FilterMapper2", "");
        else if (step == 4) RecordCrash(crash, kCrashFailure, "DsEnumAudio: acmDriverEnum() Failure", "");
        else if (count == 0) RecordCrash(crash, kCrashFailure, "CDsEnum: General failure", "");
        else RecordCrash(crash, kCrashInInventory, Format(N_("Не знаю видеокодек  #%d"), count), "");
    }
    inventory.finished.store(true, std::memory_order_release);
}

}  // namespace torvo
