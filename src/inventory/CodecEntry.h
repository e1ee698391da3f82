// The records of the codec inventory: one flat table of fixed-size entries,
// each with a copy of its registered pins and media types and the scratch
// state of the chain search, so that nothing is allocated per entry.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/Guid.h"

namespace torvo {

// A zero-terminated text of at most Chars - 1 characters (UTF-8 code points);
// copies are cut at a character boundary.
template <size_t Chars>
struct FixedText {
    static constexpr size_t kMaxChars = Chars - 1;
    char bytes[kMaxChars * 4 + 1];

    void Set(std::string_view text) {
        size_t at = 0, chars = 0;
        while (at < text.size() && chars < kMaxChars) {
            size_t len = 1;
            const auto lead = static_cast<unsigned char>(text[at]);
            if (lead >= 0xF0) len = 4;
            else if (lead >= 0xE0) len = 3;
            else if (lead >= 0xC0) len = 2;
            if (at + len > text.size()) break;
            at += len;
            ++chars;
        }
        std::memcpy(bytes, text.data(), at);
        bytes[at] = '\0';
    }
    void Clear() { bytes[0] = '\0'; }
    std::string_view View() const { return bytes; }
    const char* c_str() const { return bytes; }
    bool Empty() const { return bytes[0] == '\0'; }
};

enum CodecKind : int32_t {
    kKindNone = 0,
    kKindAcm = 1,
    kKindVfw = 2,
    kKindDsh = 3,
    kKindDmo = 4,
    kKindVfwWrapper = 5,
    kKindRenderer = 6,
};
// The short label of a kind as chain texts and lists show it.
const char* KindLabel(int32_t kind);

enum EntryStatus : int32_t { kEntryFine = 0, kEntryDisabled = 1, kEntryProblem = 2 };

inline constexpr size_t kMaxPins = 6;
inline constexpr size_t kMaxPinTypes = 128;
inline constexpr size_t kInventoryCapacity = 1000;

// A major type and a subtype; GUID_NULL means "any".
struct MediaTypePair {
    Guid major;
    Guid subtype;
    constexpr bool operator==(const MediaTypePair&) const = default;
};

struct PinTypes {
    int32_t output = 0;  // 1 output pin, 0 input pin
    int32_t typeCount = 0;
    std::array<MediaTypePair, kMaxPinTypes> types;
};

// Merit and pins of a registration.
struct FilterPins {
    uint32_t merit = 0;
    FixedText<12> meritText;
    int32_t pinCount = 0;
    std::array<PinTypes, kMaxPins> pins;
};

// The twelve version texts of the file that implements an entry.
enum VersionField : int {
    kCompanyName, kFileDescription, kFileVersion, kInternalName, kLegalCopyright, kOriginalFileName,
    kProductName, kProductVersion, kComments, kLegalTrademarks, kPrivateBuild, kSpecialBuild,
    kVersionFieldCount
};
struct VersionStrings {
    std::array<FixedText<128>, kVersionFieldCount> texts;
};
// The version resource's names, in the order of VersionField.
extern const std::array<const char*, kVersionFieldCount> kVersionStringNames;
// Their display labels.
extern const std::array<const char*, kVersionFieldCount> kVersionLabels;

// What the platform reports for one ACM driver and one of its format tags.
struct AcmDriverDetails {
    uint32_t fccType = 0, fccComp = 0;
    uint16_t mid = 0, pid = 0;
    uint32_t acmVersion = 0, driverVersion = 0, support = 0;
    uint32_t formatTagCount = 0, filterTagCount = 0;
    FixedText<32> shortName;
    FixedText<128> longName;
    FixedText<80> copyright;
    FixedText<128> licensing;
    FixedText<512> features;
};
struct AcmFormatTagDetails {
    uint32_t index = 0, formatTag = 0, formatSize = 0, support = 0, standardFormats = 0;
    FixedText<48> name;
};

// Per-entry scratch of the chain search and its cached classifications.
struct SearchState {
    int32_t inputTypesAllowed = 0;
    int32_t outputTypesAllowed = 0;
    int32_t pinCursor = 0;
    int32_t typeCursor = 0;
    int32_t inChain = 0;
    std::array<uint8_t, kInventoryCapacity> excluded;  // indexed by predecessor entry
    int32_t splitter = 0, splitterValid = 0;
    int32_t decoder = 0, encoder = 0, decoderValid = 0;
};

struct CodecEntry {
    int32_t index;
    FixedText<11> indexText;
    int32_t kind;
    FixedText<128> formatText;
    FixedText<128> name;
    FixedText<260> path;
    FixedText<128> displayPath;
    FixedText<128> identifier;
    int32_t status;
    FixedText<388> statusText;
    FixedText<128> friendlyName;
    FixedText<128> clsidText;
    // The platform's own name of the filter where it has one (a GStreamer
    // element factory: "avdec_h264"), the name merit changes take.
    FixedText<64> element;
    Guid clsid;
    FilterPins registration;
    FixedText<128> vfwName;
    FixedText<128> vfwDescription;
    VersionStrings version;
    AcmDriverDetails acmDriver;
    AcmFormatTagDetails acmFormatTag;
    int32_t acmPriority;
    int32_t acmDisabled;
    FixedText<128> acmAlias;
    SearchState search;
};
static_assert(std::is_trivially_copyable_v<CodecEntry>, "entries are copied and cached as bytes");

// The record of a crash caught in foreign code, by the inventory's
// enumeration or by a render test. The inventory service owns it and lends
// it to both, so that a crash is reported once, whichever caught it.
enum CrashState : int32_t {
    kCrashNone = 0,
    kCrashFailure = 1,
    kCrashInInventory = 2,
    kCrashReported = 3,
    kCrashInRender = 4,
};
struct CrashRecord {
    std::atomic<int32_t> state{kCrashNone};
    FixedText<128> culpritName{};
    FixedText<260> culpritPath{};
};

// The table: 1000 entries allocated once and zero-filled. A worker thread
// fills it; count and the flags are what other threads may read meanwhile.
class CodecInventory {
public:
    CodecInventory();
    CodecInventory(const CodecInventory&) = delete;
    CodecInventory& operator=(const CodecInventory&) = delete;

    static constexpr int kCapacity = static_cast<int>(kInventoryCapacity);
    CodecEntry* Entries() { return entries_.get(); }
    const CodecEntry* Entries() const { return entries_.get(); }
    CodecEntry& At(int i) { return entries_[static_cast<size_t>(i)]; }
    const CodecEntry& At(int i) const { return entries_[static_cast<size_t>(i)]; }
    int Count() const { return count_.load(std::memory_order_acquire); }
    void SetCount(int count) { count_.store(count, std::memory_order_release); }
    // Zero-fills entry i (a dropped entry).
    void ClearEntry(int i);

    FixedText<260> acmWrapperPath{};
    // The file-name part of the ACM wrapper path.
    std::string_view AcmWrapperFileName() const;

    bool enumerated = false;
    // Why the platform could not be asked at all (its module does not load,
    // its registry cannot be read). Set, no status can be told: every one is
    // undetermined, never "not installed" for want of an answer.
    std::string unavailable;
    std::atomic<bool> finished{false};
    // Where the enumeration records a crash it caught (the inventory
    // service's record); none: a crash ends its step unrecorded.
    CrashRecord* crashRecord = nullptr;
    // Set when nobody will read the table any more (the program ends): a
    // gatherer may stop early and leave it as it is.
    std::atomic<bool> abandoned{false};

    // The answers of the status searches (1 a chain exists, 2 none) by stream
    // kind and types. A search depends on nothing but the entries, so a
    // program that never changes a published inventory (the command line)
    // switches this on and asks each question once; whoever changes entries
    // must clear the answers.
    struct SearchAnswer {
        int32_t kind;
        MediaTypePair source, elementary;
        int result;
    };
    bool rememberSearches = false;
    // Whether an entry's in-chain counter or exclusion bytes may be set: a
    // status search leaves them as it found them, a chain proposal leaves its
    // exclusions behind. While false, clearing them (thousands of pages
    // nobody wrote) is skipped.
    bool searchScratchSet = false;
    // A command-line run may start from the answers that earlier runs over
    // the same table gave (a search depends on nothing but the table): the
    // table is then brought in, once, by the first question they lack.
    std::function<void(CodecInventory&)> bringTable;
    // Messages of bringing it in (caption, text), for the caller to show.
    std::vector<std::pair<std::string, std::string>> lateMessages;
    // Keeps the answers for later runs when there are new ones; set by a
    // gatherer that can.
    std::function<void(const CodecInventory&)> keepAnswers;
    size_t answersAtStart = 0;
    std::vector<SearchAnswer> searchAnswers;
    // A search writes its scratch into the entries: reports analysed side
    // by side take turns.
    std::mutex searchMutex;

private:
    struct FreeDeleter {
        void operator()(CodecEntry* p) const;
    };
    std::unique_ptr<CodecEntry[], FreeDeleter> entries_;
    std::atomic<int> count_{0};
};

// Text after the last backslash or slash, or the whole text.
std::string_view FileNamePart(std::string_view path);

}  // namespace torvo
