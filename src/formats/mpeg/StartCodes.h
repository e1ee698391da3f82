// Start codes (00 00 01 xx), the sticky parse error flag of the MPEG header
// checks, and the user-data text every MPEG parser appends to.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

class StartCodeIndex;

// A set of start-code values (the byte after 00 00 01).
class StartCodeSet {
public:
    constexpr StartCodeSet(std::initializer_list<uint8_t> codes) {
        for (uint8_t c : codes) bits_[c >> 6] |= uint64_t(1) << (c & 63);
    }
    // The codes first through last, both included.
    static constexpr StartCodeSet Range(uint8_t first, uint8_t last) {
        StartCodeSet set({});
        for (unsigned c = first; c <= last; ++c) set.bits_[c >> 6] |= uint64_t(1) << (c & 63);
        return set;
    }
    constexpr StartCodeSet Complement() const {
        StartCodeSet set({});
        for (size_t i = 0; i < 4; ++i) set.bits_[i] = ~bits_[i];
        return set;
    }
    constexpr bool Has(uint8_t code) const { return bits_[code >> 6] >> (code & 63) & 1; }

private:
    uint64_t bits_[4] = {};
};

// The first position at or after `from` holding 00 00 01 with a code byte
// after it (so no later than 4 bytes before the end), or ByteView::npos.
// An index whose range holds the bytes answers instead of a new search.
uint64_t FindStartCode(ByteView data, uint64_t from, StartCodeIndex* index = nullptr);
// The same for the first start code whose code byte is in `codes`: the
// answer of FindStartCode from `from`, then from one past each answer whose
// code is not, without a lookup for each of those.
uint64_t FindStartCodeIn(ByteView data, uint64_t from, const StartCodeSet& codes, StartCodeIndex* index = nullptr);

// The start codes of one range, each searched for once: FindStartCode on
// bytes inside the range (the range itself or a part of it) looks them up
// instead of scanning again. The MPEG analysis walks the same bytes with
// several parsers, one after another, and hands them its index. The search
// runs only as far as the lookups have asked (in growing steps), so bytes no
// parser reaches are never searched. The range must not change while the
// index lives.
class StartCodeIndex {
public:
    explicit StartCodeIndex(ByteView range);
    StartCodeIndex(const StartCodeIndex&) = delete;
    StartCodeIndex& operator=(const StartCodeIndex&) = delete;

    // The answer of FindStartCode(view, from) when view lies inside the range
    // and the index can answer; false when the caller must scan itself.
    bool Lookup(ByteView view, uint64_t from, uint64_t& found) { return LookupIn(view, from, nullptr, found); }
    // The same for the first code in `codes` (every code when null).
    bool LookupIn(ByteView view, uint64_t from, const StartCodeSet* codes, uint64_t& found);
    // True when the index answers for every search in view.
    bool Covers(ByteView view) const;

private:
    // Searches on until a start code at or after `wanted` is known or the
    // range is searched through; false when the index gave up (too many codes).
    bool SearchUpTo(uint64_t wanted);

    ByteView range_;
    std::vector<uint32_t> positions_;  // every start code before searched_, ascending
    uint64_t searched_ = 0;            // positions below this have been searched
    uint64_t step_ = 0;                // bytes the next search covers
    bool usable_ = false;
    size_t hint_ = 0;                  // where the last lookup ended; lookups mostly move forward
};

// True when pos holds 00 00 01 followed by `code`.
inline bool IsStartCode(ByteView data, uint64_t pos, uint8_t code) {
    return data.Be24(pos) == 1 && data.Has(pos, 4) && data.U8(pos + 3) == code;
}
inline bool IsAnyStartCode(ByteView data, uint64_t pos) { return data.Be24(pos) == 1 && data.Has(pos, 4); }

// Once a check fails the flag stays set until the owner clears it, so that a
// whole item is judged by all its checks together.
class ParseErrorFlag {
public:
    // Returns the condition; a false one sets the flag.
    bool Check(std::string_view label, bool condition) {
        if (!condition && !set_) {
            set_ = true;
            firstFailure_ = label;
        }
        return condition;
    }
    void Clear() {
        set_ = false;
        firstFailure_ = {};
    }
    bool IsSet() const { return set_; }
    std::string_view FirstFailure() const { return firstFailure_; }

private:
    bool set_ = false;
    std::string_view firstFailure_;
};

// Appends one user-data block and its NUL to the container's text, as much
// as fits in kUserDataCapacity bytes.
void AppendUserData(ContainerInfo& container, ByteView block);

}  // namespace torvo
