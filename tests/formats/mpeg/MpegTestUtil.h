// Builders for the byte-level MPEG-family test streams.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "base/ByteView.h"

namespace torvo::test {

inline ByteView View(const Bytes& b) { return ByteView(b.data(), b.size()); }
inline Bytes Sample(const std::string& name) { return ReadBytes(SamplePath("mpeg/" + name)); }

// Writes values MSB first, bit by bit.
class BitWriter {
public:
    // Appends the low `bits` bits of value (at most 64).
    BitWriter& Put(uint64_t value, unsigned bits) {
        if (bits > 64) throw std::invalid_argument("BitWriter::Put: more than 64 bits");
        for (unsigned i = bits; i-- > 0;) {
            if (used_ == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> used_);
            used_ = (used_ + 1) & 7;
        }
        return *this;
    }
    BitWriter& Ue(uint32_t value) {
        const uint64_t v = uint64_t(value) + 1;
        unsigned bits = 0;
        while ((v >> bits) > 1) ++bits;
        Put(0, bits);
        return Put(v, bits + 1);
    }
    BitWriter& Se(int32_t value) { return Ue(value > 0 ? uint32_t(2 * value - 1) : uint32_t(-2 * value)); }
    // Pads to a byte boundary with the given bit (then zeros) as a stop bit.
    BitWriter& Align(bool stopBit = false) {
        if (stopBit) Put(1, 1);
        while (used_ != 0) Put(0, 1);
        return *this;
    }
    const Bytes& Data() const { return bytes_; }

private:
    Bytes bytes_;
    unsigned used_ = 0;
};

// One MPEG audio frame: header bytes 1..3 as given, zero filling to its length.
inline Bytes Mp3Frame(uint8_t b1, uint8_t b2, uint8_t b3, size_t length) {
    Bytes frame(length, 0);
    frame[0] = 0xFF;
    frame[1] = b1;
    frame[2] = b2;
    frame[3] = b3;
    return frame;
}

// Overwrites bytes at pos with the text.
inline void Put(Bytes& b, size_t pos, const std::string& text) {
    if (b.size() < pos + text.size()) b.resize(pos + text.size());
    std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(pos));
}

// Concatenation: b << piece << piece ...
inline Bytes& operator<<(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
    return b;
}

inline void Repeat(Bytes& out, const Bytes& piece, int times) {
    for (int i = 0; i < times; ++i) out.insert(out.end(), piece.begin(), piece.end());
}

}  // namespace torvo::test
