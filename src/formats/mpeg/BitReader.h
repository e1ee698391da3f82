// A bounded most-significant-first bit reader over a ByteView.
//
// Every header parser of the MPEG family reads its bit fields through this
// class. Bits past the end of the view read as 0, so a truncated or hostile
// header can only yield odd values, never a read outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/ByteView.h"

namespace torvo {

// A NAL unit's payload with its emulation prevention bytes (00 00 03)
// removed (ITU-T H.264 7.4.1, H.265 7.4.2), cut at maxBytes.
inline std::vector<uint8_t> RemoveEmulationPrevention(ByteView nal, size_t maxBytes) {
    std::vector<uint8_t> out;
    int zeros = 0;
    for (size_t i = 0; i < nal.size() && out.size() < maxBytes; ++i) {
        const uint8_t b = nal.U8(i);
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

class BitReader {
public:
    BitReader() = default;
    explicit BitReader(ByteView bytes, uint64_t bytePos = 0) : bytes_(bytes), bit_(bytePos * 8) {}

    // Reads n bits (0..32), most significant first.
    uint32_t Bits(unsigned n) {
        uint32_t value = 0;
        // Whole bytes when aligned, single bits otherwise.
        while (n > 0) {
            const unsigned offset = static_cast<unsigned>(bit_ & 7);
            const unsigned take = n < 8 - offset ? n : 8 - offset;
            const unsigned byte = bytes_.U8(bit_ >> 3);
            const unsigned part = (byte >> (8 - offset - take)) & ((1u << take) - 1);
            value = static_cast<uint32_t>((uint64_t(value) << take) | part);
            bit_ += take;
            n -= take;
        }
        return value;
    }
    bool Bit() { return Bits(1) != 0; }
    void Skip(uint64_t n) { bit_ += n; }

    // Unsigned Exp-Golomb code; more than 31 leading zeros read as 0.
    uint32_t Ue() {
        unsigned zeros = 0;
        while (!Bit()) {
            if (++zeros > 31) return 0;
        }
        if (zeros == 0) return 0;
        return Bits(zeros) + ((1u << zeros) - 1);
    }
    // Signed Exp-Golomb code.
    int32_t Se() {
        const uint32_t k = Ue();
        const int32_t magnitude = static_cast<int32_t>((k + 1) / 2);
        return (k & 1) ? magnitude : -magnitude;
    }

    // True once the position has passed the last byte.
    bool Exhausted() const { return (bit_ >> 3) >= bytes_.size(); }
    uint64_t BitPosition() const { return bit_; }
    uint64_t BytePosition() const { return bit_ >> 3; }

private:
    ByteView bytes_;
    uint64_t bit_ = 0;
};

}  // namespace torvo
