// The tables of the codec list windows, as texts and colours that any list
// view can show: the list of all codecs and filters, the details of one
// entry, the media types of one entry or of all of them, and the filters
// that read or write one media type. Colours are 0x00BBGGRR values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/CodecEntry.h"
#include "base/GuidText.h"

namespace torvo {

struct ListLegend {
    std::string text;
    uint32_t colour = 0xFFFFFF;
};

struct ListRow {
    std::vector<std::string> cells;
    uint32_t colour = 0xFFFFFF;
    uint64_t data = 0;  // an inventory index, or a row of a media type table
};

struct ListTable {
    std::string title;
    std::vector<std::string> headers;
    std::vector<int> widths;
    std::vector<ListRow> rows;
    std::vector<ListLegend> legend;
    int preselected = -1;  // a row index
};

namespace listcolour {
inline constexpr uint32_t kDecoder = 0xE0FFE0;
inline constexpr uint32_t kSplitter = 0xFFE0FF;
inline constexpr uint32_t kRenderer = 0xE7F8F9;
inline constexpr uint32_t kOther = 0xFFFFFF;
inline constexpr uint32_t kSpecial = 0xFFFFC0;
inline constexpr uint32_t kProblem = 0x8080FF;
inline constexpr uint32_t kDisabled = 0x57B6FF;
}  // namespace listcolour

// The colour of an entry's row: problem, disabled, renderer, splitter,
// decoder, VFW wrapper, other, in that order of precedence.
uint32_t CodecRowColour(CodecEntry& entry);
// "Рендер  ", "Сплиттер", "Декодер", "Особый " or "Иной ".
const char* CodecRole(CodecEntry& entry);

// One row per entry, the row data being the entry's index.
ListTable CodecListTable(CodecInventory& inventory, int preselectedEntry = -1);
ListTable DetailsTable(CodecEntry& entry);

// A registered media type as the type lists show it; usage 1 input, 2
// output, 0 unmarked (the list of all types).
struct MediaTypeRow {
    MediaTypePair pair{};
    int usage = 0;
};
// Every type of every pin of the entry, in order, each (type, usage) once,
// at most 1000.
std::vector<MediaTypeRow> EntryMediaTypes(const CodecEntry& entry);
// Every distinct type over all entries' pins, unmarked.
std::vector<MediaTypeRow> AllMediaTypes(const CodecInventory& inventory);
// The designation of a type: its subtype's name, or the major type's when
// the subtype has no name of its own, without the usual prefixes.
std::string MediaTypeDesignation(const MediaTypePair& pair, const GuidNameLookup& names);
// entry null: the list of all types. Row data is the index into rows.
ListTable MediaTypeTable(const CodecEntry* entry, const std::vector<MediaTypeRow>& rows, const GuidNameLookup& names,
                         const std::optional<MediaTypePair>& preselect = std::nullopt);
// The entries with an input (reading) or output (writing) pin registered for
// the type, directly or through GUID_NULL; at most 50 rows.
ListTable FiltersForType(CodecInventory& inventory, const MediaTypePair& type, bool writing,
                         const GuidNameLookup& names);

// The row commands of the codec list and whether each is enabled.
enum CodecCommand : int {
    kCmdDetails = 1, kCmdMediaTypes, kCmdPropertyPage, kCmdReregister, kCmdUnregister, kCmdMerit,
};
struct CodecMenuItem {
    int command;
    const char* text;
    bool enabled;
};
std::vector<CodecMenuItem> CodecRowMenu(const CodecEntry& entry, bool expertMode, bool hasPropertyPage);

enum MediaTypeCommand : int { kCmdReaders = 101, kCmdWriters, kCmdRemoveType, kCmdNewType };
// The row commands of a media type list: of one entry, or of all types.
std::vector<CodecMenuItem> MediaTypeRowMenu(bool allTypes, bool expertMode);

// A hexadecimal number with or without "0x"; 0xFFFFFFFF when a character
// that is not a hexadecimal digit follows.
uint32_t ParseHex(std::string_view text);
// Like ParseHex, but says when the text is not a number at all (the merit
// dialog refuses it instead of writing 0xFFFFFFFF).
std::optional<uint32_t> ParseHexStrict(std::string_view text);

// The merit scale runs from 0 to 0x1000000; the marker's place on it as a
// fraction, or none when the merit lies beyond the scale.
inline constexpr uint32_t kMeritScaleTop = 0x1000000;
std::optional<double> MeritScalePlace(uint32_t merit);

}  // namespace torvo
