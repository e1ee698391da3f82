#include "codeclist/CodecLists.h"

#include <algorithm>

#include "base/Text.h"
#include "inventory/ChainSearch.h"
#include "inventory/CodecListing.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr size_t kMaxEntryTypes = 1000;
constexpr size_t kMaxTypeFilters = 50;

// Details rows: "Src", property, value; a value that is empty or begins
// with a blank is not shown.
void AddDetail(ListTable& table, const char* source, const char* property, std::string_view value,
               uint32_t colour = listcolour::kOther) {
    if (value.empty() || value.front() == ' ') return;
    table.rows.push_back({{source, property, std::string(value)}, colour, table.rows.size()});
}

// The version texts in the order the details show them.
constexpr VersionField kDetailsVersionOrder[] = {
    kFileDescription, kCompanyName, kFileVersion, kInternalName, kLegalCopyright, kOriginalFileName,
    kProductName, kProductVersion, kComments, kLegalTrademarks, kPrivateBuild, kSpecialBuild,
};

std::vector<std::string> CellsOf(const CodecEntry& entry) {
    const auto cells = CodecListCells(entry);
    return {cells.begin(), cells.end()};
}

}  // namespace

uint32_t CodecRowColour(CodecEntry& entry) {
    if (entry.status == kEntryProblem) return listcolour::kProblem;
    if (entry.status == kEntryDisabled) return listcolour::kDisabled;
    if (entry.kind == kKindRenderer) return listcolour::kRenderer;
    if (IsSplitter(entry)) return listcolour::kSplitter;
    if (IsDecoder(entry)) return listcolour::kDecoder;
    if (entry.kind == kKindVfwWrapper) return listcolour::kSpecial;
    return listcolour::kOther;
}

const char* CodecRole(CodecEntry& entry) {
    if (entry.kind == kKindRenderer) return N_("Рендер  ");
    if (IsSplitter(entry)) return N_("Сплиттер");
    if (IsDecoder(entry)) return N_("Декодер");
    if (entry.kind == kKindVfwWrapper) return N_("Особый ");
    return N_("Иной ");
}

ListTable CodecListTable(CodecInventory& inventory, int preselectedEntry) {
    ListTable table;
    table.title = kCodecListTitle;
    table.headers.assign(kCodecListColumns.begin(), kCodecListColumns.end());
    table.widths = {80, 175, 245, 155, 120, 225};
    table.legend = {{N_("Декодер"), listcolour::kDecoder}, {N_("Сплиттер"), listcolour::kSplitter},
                    {N_("Рендер  "), listcolour::kRenderer}, {N_("Иной "), listcolour::kOther},
                    {N_("Особый "), listcolour::kSpecial},   {N_("Ошибка!"), listcolour::kProblem}};
    for (int i = 0; i < inventory.Count(); ++i) {
        CodecEntry& e = inventory.At(i);
        if (i == preselectedEntry) table.preselected = static_cast<int>(table.rows.size());
        table.rows.push_back({CellsOf(e), CodecRowColour(e), static_cast<uint64_t>(i)});
    }
    return table;
}

ListTable DetailsTable(CodecEntry& e) {
    ListTable table;
    table.title = N_("Детально о фильтре ") + std::string(e.name.View());
    table.headers = {"Src", N_("Свойство"), N_("Число")};
    table.widths = {70, 305, 625};
    if (e.status == kEntryProblem) AddDetail(table, "- -", N_("**  Ошибка **"), e.statusText.View(), listcolour::kProblem);
    else if (e.status == kEntryDisabled) AddDetail(table, "- -", N_("Внимани: "), e.statusText.View(), listcolour::kDisabled);
    AddDetail(table, "REG", N_("Имя файла  "), e.path.View());
    AddDetail(table, "- -", N_("Tип "), KindLabel(e.kind));
    AddDetail(table, "- -", N_("Функция "), CodecRole(e));
    AddDetail(table, "DSH", "4CC", e.formatText.View());
    AddDetail(table, "VFW", N_("Имя "), e.vfwName.View());
    AddDetail(table, "VFW", N_("Описание   "), e.vfwDescription.View());
    for (VersionField field : kDetailsVersionOrder)
        AddDetail(table, "FIL", kVersionLabels[field], e.version.texts[field].View());
    AddDetail(table, "DSH", "Friendly Name", e.friendlyName.View());
    if (!e.clsidText.Empty()) {
        const auto clsid = ParseGuid(e.clsidText.View());
        AddDetail(table, "DSH", "DirectShow CLSID",
                  clsid ? GuidText(*clsid, {}, {.decodeFourcc = true, .append = true}) : std::string(e.clsidText.View()));
    }
    AddDetail(table, "REG", N_("Приор"), e.registration.meritText.View());
    return table;
}

std::vector<MediaTypeRow> EntryMediaTypes(const CodecEntry& entry) {
    std::vector<MediaTypeRow> rows;
    for (int p = 0; p < entry.registration.pinCount && p < static_cast<int>(kMaxPins); ++p) {
        const PinTypes& pin = entry.registration.pins[static_cast<size_t>(p)];
        const int usage = pin.output ? 2 : 1;
        for (int t = 0; t < pin.typeCount && t < static_cast<int>(kMaxPinTypes); ++t) {
            const MediaTypeRow row{pin.types[static_cast<size_t>(t)], usage};
            const bool seen = std::any_of(rows.begin(), rows.end(), [&](const MediaTypeRow& r) {
                return r.usage == row.usage && r.pair == row.pair;
            });
            if (!seen) rows.push_back(row);
            if (rows.size() >= kMaxEntryTypes) return rows;
        }
    }
    return rows;
}

std::vector<MediaTypeRow> AllMediaTypes(const CodecInventory& inventory) {
    std::vector<MediaTypeRow> rows;
    for (int i = 0; i < inventory.Count(); ++i)
        for (const MediaTypeRow& r : EntryMediaTypes(inventory.At(i))) {
            const bool seen =
                std::any_of(rows.begin(), rows.end(), [&](const MediaTypeRow& s) { return s.pair == r.pair; });
            if (!seen) rows.push_back({r.pair, 0});
        }
    return rows;
}

std::string MediaTypeDesignation(const MediaTypePair& pair, const GuidNameLookup& names) {
    std::string text = GuidText(pair.subtype, names, {.decodeFourcc = true});
    if (text.empty() || text.front() == '{') text = GuidText(pair.major, names, {.decodeFourcc = true});
    return StripTypePrefix(text);
}

ListTable MediaTypeTable(const CodecEntry* entry, const std::vector<MediaTypeRow>& rows, const GuidNameLookup& names,
                         const std::optional<MediaTypePair>& preselect) {
    ListTable table;
    table.title = entry ? Format(N_("Найденные типы медиа  %s"), entry->name.c_str()) : N_("Зарегистрированные типы медиа");
    table.headers = {N_("Обозначение"), N_("Исп.как"), N_("Тип содержимого"), N_("Подтип содерж. ")};
    table.widths = entry ? std::vector<int>{250, 150, 300, 300} : std::vector<int>{250, 0, 400, 400};
    if (entry) table.legend = {{N_("Приемлем для чтения"), listcolour::kDecoder}, {N_("Доступен для записи"), listcolour::kRenderer}};
    for (size_t i = 0; i < rows.size(); ++i) {
        const MediaTypeRow& r = rows[i];
        const char* usage = r.usage == 1 ? N_("вход ") : r.usage == 2 ? N_("выход ") : "";
        const uint32_t colour = r.usage == 1 ? listcolour::kDecoder : r.usage == 2 ? listcolour::kRenderer : listcolour::kOther;
        if (preselect && table.preselected < 0 && *preselect == r.pair) table.preselected = static_cast<int>(i);
        table.rows.push_back({{MediaTypeDesignation(r.pair, names), usage, GuidText(r.pair.major, names, {.append = true}),
                               GuidText(r.pair.subtype, names, {.append = true})},
                              colour,
                              i});
    }
    return table;
}

ListTable FiltersForType(CodecInventory& inventory, const MediaTypePair& type, bool writing, const GuidNameLookup& names) {
    ListTable table;
    const std::string designation = MediaTypeDesignation(type, names);
    table.title = writing ? Format(N_("Фильтры, кодирующие в %s       "), designation.c_str())
                          : Format(N_("Фильтры, декодирующие из %s  "), designation.c_str());
    table.headers.assign(kCodecListColumns.begin(), kCodecListColumns.end());
    table.widths = {65, 175, 245, 155, 120, 240};
    table.legend = {{N_("Именно такой"), listcolour::kSpecial}, {N_("Того же типа  "), listcolour::kRenderer}};
    for (int i = 0; i < inventory.Count(); ++i) {
        const CodecEntry& e = inventory.At(i);
        for (int p = 0; p < e.registration.pinCount && p < static_cast<int>(kMaxPins); ++p) {
            const PinTypes& pin = e.registration.pins[static_cast<size_t>(p)];
            if ((pin.output != 0) != writing) continue;
            for (int t = 0; t < pin.typeCount && t < static_cast<int>(kMaxPinTypes); ++t) {
                const MediaTypePair& reg = pin.types[static_cast<size_t>(t)];
                const bool majorExact = SameType(reg.major, type.major), subtypeExact = SameType(reg.subtype, type.subtype);
                if (!(majorExact || reg.major.IsNull()) || !(subtypeExact || reg.subtype.IsNull())) continue;
                const bool exact = majorExact && subtypeExact;
                std::vector<std::string> cells = CellsOf(e);
                cells[1] = exact ? std::string(e.formatText.View()) : "{ * }";
                table.rows.push_back({std::move(cells), exact ? listcolour::kSpecial : listcolour::kRenderer,
                                      static_cast<uint64_t>(i)});
                if (table.rows.size() >= kMaxTypeFilters) return table;
            }
        }
    }
    return table;
}

std::vector<CodecMenuItem> CodecRowMenu(const CodecEntry& entry, bool expertMode, bool hasPropertyPage) {
    const bool registrable = entry.kind == kKindDsh || entry.kind == kKindDmo;
    return {
        {kCmdDetails, N_("&Детально"), true},
        {kCmdMediaTypes, N_("&Просмотр медиатипов"), true},
        {kCmdPropertyPage, N_("&Страница свойств"), hasPropertyPage},
        {kCmdReregister, N_("&Перерегистрировать фильтр"), registrable},
        {kCmdUnregister, N_("Снять фильтр с &регистрации"), registrable && expertMode},
        {kCmdMerit, N_("&Задать приоритет фильтра..."), expertMode},
    };
}

std::vector<CodecMenuItem> MediaTypeRowMenu(bool allTypes, bool expertMode) {
    if (allTypes)
        return {{kCmdReaders, N_("Список всех фильтров, &читающих этот формат"), true},
                {kCmdWriters, N_("Список всех фильтров, &пишущих этот формат"), true}};
    return {{kCmdReaders, N_("Список фильтров, &читающих этот формат"), true},
            {kCmdWriters, N_("Список фильтров, &пишущих этот формат"), true},
            {kCmdRemoveType, N_("&Удалить медиатип из этого фильтра..."), expertMode},
            {kCmdNewType, N_("&Новый медиатип (еще не примененный)"), true}};
}

uint32_t ParseHex(std::string_view text) {
    if (text.size() >= 2 && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    uint32_t value = 0;
    for (char c : text) {
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f') digit = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = uint32_t(c - 'A' + 10);
        else return 0xFFFFFFFFu;
        value = value << 4 | digit;
    }
    return value;
}

std::optional<uint32_t> ParseHexStrict(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    std::string_view digits = text;
    if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) return std::nullopt;
    return ParseHex(digits);
}

std::optional<double> MeritScalePlace(uint32_t merit) {
    if (merit > kMeritScaleTop) return std::nullopt;
    return double(merit) / double(kMeritScaleTop);
}

}  // namespace torvo
