// A read-only view of bytes with bounds-checked typed accessors.
//
// Every analyser reads buffers through this view (or through CFileCache, which
// hands out views of its own buffers). Bounds are checked by subtraction so
// that no position/length sum can overflow, and a read past the end yields 0
// (or false for the Try forms) instead of touching memory it does not own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace torvo {

class ByteView {
public:
    constexpr ByteView() = default;
    constexpr ByteView(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    constexpr size_t size() const { return size_; }
    constexpr bool empty() const { return size_ == 0; }
    constexpr const uint8_t* data() const { return data_; }

    // True when [pos, pos + len) lies inside the view.
    constexpr bool Has(uint64_t pos, uint64_t len) const {
        return pos <= size_ && len <= size_ - pos;
    }

    // A sub-view; empty when the range is not wholly inside.
    constexpr ByteView Sub(uint64_t pos, uint64_t len) const {
        return Has(pos, len) ? ByteView(data_ + pos, static_cast<size_t>(len)) : ByteView();
    }
    // The bytes from pos to the end (empty past the end).
    constexpr ByteView From(uint64_t pos) const {
        return pos <= size_ ? ByteView(data_ + pos, size_ - static_cast<size_t>(pos)) : ByteView();
    }

    static constexpr uint64_t npos = ~uint64_t(0);

    constexpr uint8_t U8(uint64_t pos) const { return pos < size_ ? data_[pos] : 0; }

    constexpr uint16_t Be16(uint64_t pos) const {
        return Has(pos, 2) ? static_cast<uint16_t>(data_[pos] << 8 | data_[pos + 1]) : 0;
    }
    constexpr uint32_t Be24(uint64_t pos) const {
        return Has(pos, 3) ? uint32_t(data_[pos]) << 16 | uint32_t(data_[pos + 1]) << 8 | data_[pos + 2] : 0;
    }
    constexpr uint32_t Be32(uint64_t pos) const {
        return Has(pos, 4) ? uint32_t(Be16(pos)) << 16 | Be16(pos + 2) : 0;
    }
    constexpr uint64_t Be64(uint64_t pos) const {
        return Has(pos, 8) ? uint64_t(Be32(pos)) << 32 | Be32(pos + 4) : 0;
    }
    constexpr uint16_t Le16(uint64_t pos) const {
        return Has(pos, 2) ? static_cast<uint16_t>(data_[pos] | data_[pos + 1] << 8) : 0;
    }
    constexpr uint32_t Le32(uint64_t pos) const {
        return Has(pos, 4) ? uint32_t(Le16(pos)) | uint32_t(Le16(pos + 2)) << 16 : 0;
    }
    constexpr uint64_t Le64(uint64_t pos) const {
        return Has(pos, 8) ? uint64_t(Le32(pos)) | uint64_t(Le32(pos + 4)) << 32 : 0;
    }

    // Copies len bytes to dst; false (and nothing copied) when they are not all there.
    bool Copy(uint64_t pos, void* dst, size_t len) const {
        if (!Has(pos, len)) return false;
        if (len) std::memcpy(dst, data_ + pos, len);
        return true;
    }

    // True when the bytes at pos equal the given text (compared as bytes, no terminator).
    constexpr bool Equals(uint64_t pos, std::string_view text) const {
        if (!Has(pos, text.size())) return false;
        for (size_t i = 0; i < text.size(); ++i)
            if (data_[pos + i] != static_cast<uint8_t>(text[i])) return false;
        return true;
    }

    // Sixteen consecutive bytes as one vector (a GCC/Clang vector extension),
    // so that a scan can test sixteen candidate positions with one compare.
    using Lanes = uint8_t __attribute__((vector_size(16)));
    // Reach bytes from one position, checked once, from which lanes are
    // loaded at offsets fixed at compile time (and so never outside them).
    template <size_t Reach>
    class LaneBlock {
    public:
        template <size_t Offset>
        Lanes At() const {
            static_assert(Offset + 16 <= Reach, "lanes beyond the checked block");
            Lanes lanes;
            std::memcpy(&lanes, start_ + Offset, 16);
            return lanes;
        }

    private:
        friend class ByteView;
        const uint8_t* start_ = nullptr;
    };
    // False (and the block untouched) when [pos, pos + Reach) is not inside the view.
    template <size_t Reach>
    bool Block(uint64_t pos, LaneBlock<Reach>& block) const {
        if (!Has(pos, Reach)) return false;
        block.start_ = data_ + pos;
        return true;
    }
    // The lanes of a comparison result as bits, lane 0 in bit 0, so that a
    // scan goes straight to the positions that matched.
    template <typename Mask>
    static uint32_t LaneBits(Mask mask) {
        static_assert(sizeof(Mask) == 16);
#if defined(__SSE2__)
        __m128i bytes;
        std::memcpy(&bytes, &mask, 16);
        return static_cast<uint32_t>(_mm_movemask_epi8(bytes));
#else
        uint8_t lanes[16];
        std::memcpy(lanes, &mask, 16);
        uint32_t bits = 0;
        for (int i = 0; i < 16; ++i) bits |= uint32_t(lanes[i] >> 7) << i;
        return bits;
#endif
    }
    // Sixteen bytes from pos, which the caller has checked to lie inside the view.
    Lanes LanesAt(uint64_t pos) const {
        Lanes lanes;
        std::memcpy(&lanes, data_ + pos, 16);
        return lanes;
    }

    // Position of the first byte equal to value in [from, min(to, size)), or npos.
    uint64_t FindByte(uint8_t value, uint64_t from, uint64_t to = npos) const {
        if (to > size_) to = size_;
        if (from >= to) return npos;
        const void* hit = std::memchr(data_ + from, value, static_cast<size_t>(to - from));
        return hit ? static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - data_) : npos;
    }

    // Position of the first byte at or after from that differs from value, or npos;
    // eight bytes are compared at a time.
    uint64_t FindOtherByte(uint8_t value, uint64_t from) const {
        uint64_t word = 0x0101010101010101ull * value;
        for (; from + 8 <= size_; from += 8) {
            uint64_t bytes;
            std::memcpy(&bytes, data_ + from, 8);
            if (bytes != word) break;
        }
        for (; from < size_; ++from)
            if (data_[from] != value) return from;
        return npos;
    }

    // Position of the last byte equal to value in [from, min(to, size)), or npos.
    uint64_t FindLastByte(uint8_t value, uint64_t from, uint64_t to) const {
        if (to > size_) to = size_;
        if (from >= to) return npos;
        const void* hit = ::memrchr(data_ + from, value, static_cast<size_t>(to - from));
        return hit ? static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - data_) : npos;
    }

    // Position of the first occurrence of text at or after `from` whose position
    // satisfies step alignment (pos % step == 0), or npos.
    uint64_t Find(std::string_view text, uint64_t from = 0, uint64_t step = 1) const {
        if (text.empty() || step == 0 || text.size() > size_) return npos;
        const uint64_t tail = text.size() - 1;
        const uint64_t lastStart = size_ - text.size();
        const auto* t = reinterpret_cast<const uint8_t*>(text.data());
        uint64_t pos = from;
        if (pos > lastStart) return npos;
        if (pos % step) pos += step - pos % step;
        if (tail == 0) {
            for (; pos <= lastStart; pos += step - pos % step) {
                pos = FindByte(t[0], pos);
                if (pos == npos || pos % step == 0) return pos;
            }
            return npos;
        }
        // Sixteen starting positions at a time: their first and last bytes are
        // compared at once, and only the rare positions where both fit are
        // compared whole.
        if (lastStart >= 15) {
            for (; pos <= lastStart - 15; pos += 16) {
                const auto both = (LanesAt(pos) == t[0]) & (LanesAt(pos + tail) == t[tail]);
                for (uint32_t bits = LaneBits(both); bits != 0; bits &= bits - 1) {
                    const uint64_t at = pos + static_cast<uint64_t>(__builtin_ctz(bits));
                    if (at % step == 0 && std::memcmp(data_ + at + 1, t + 1, tail - 1) == 0) return at;
                }
            }
        }
        for (; pos <= lastStart; ++pos)
            if (pos % step == 0 && data_[pos] == t[0] && std::memcmp(data_ + pos, t, text.size()) == 0) return pos;
        return npos;
    }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace torvo
