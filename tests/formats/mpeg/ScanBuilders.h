// Byte builders for the full-scan tests: GOP and picture headers, MPEG-4
// VOPs, pack headers and PES packets, AVI chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "TestUtil.h"

namespace torvo::test {

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    Bytes Take() { return bytes_; }

private:
    Bytes bytes_;
    size_t used_ = 0;
};

// Filler that holds no start code.
inline Bytes& Filler(Bytes& b, size_t n) {
    b.insert(b.end(), n, 0x55);
    return b;
}

inline Bytes GopHeader(int seconds, bool closed, bool brokenLink = false, int minutes = 0) {
    Bytes b{0, 0, 1, 0xB8};
    BitWriter w;
    w.Put(0, 1);  // drop_frame_flag
    w.Put(0, 5);  // hours
    w.Put(uint32_t(minutes), 6);
    w.Put(1, 1);  // marker
    w.Put(uint32_t(seconds), 6);
    w.Put(0, 6);  // pictures
    w.Put(closed, 1);
    w.Put(brokenLink, 1);
    w.Put(0, 5);  // to the byte's end
    const Bytes t = w.Take();
    b.insert(b.end(), t.begin(), t.end());
    return Filler(b, 4);
}

// A picture header with temporal_reference and picture_coding_type, then slice-like filler.
inline Bytes PictureHeader(int temporalReference, int type, size_t filler = 40) {
    Bytes b{0, 0, 1, 0x00, static_cast<uint8_t>(temporalReference >> 2),
            static_cast<uint8_t>((temporalReference & 3) << 6 | type << 3), 0xFF, 0xF8};
    return Filler(b, filler);
}

// One GOP in coded order from a type string such as "IBBPBBPBBPBB"; the
// temporal references are the display positions.
inline Bytes CodedGop(const std::string& types, int seconds, bool closed) {
    Bytes b = GopHeader(seconds, closed);
    // Display position of each coded picture: a reference goes after the B pictures sent after it.
    int nextReference = 0;
    std::vector<int> refs;
    for (size_t k = 0; k < types.size(); ++k) {
        if (types[k] != 'B') {
            size_t run = 0;
            while (k + 1 + run < types.size() && types[k + 1 + run] == 'B') ++run;
            const int shown = k == 0 && closed && run == 0 ? nextReference : nextReference + int(run);
            const Bytes pic = PictureHeader(shown, types[k] == 'I' ? 1 : 2);
            b.insert(b.end(), pic.begin(), pic.end());
            for (size_t r = 0; r < run; ++r) {
                const Bytes bp = PictureHeader(nextReference + int(r), 3);
                b.insert(b.end(), bp.begin(), bp.end());
            }
            nextReference += int(run) + 1;
            k += run;
        }
    }
    return b;
}

// An MPEG-4 VOP: coding type 0 I, 1 P, 2 B, 3 S.
inline Bytes Vop(int codingType, uint32_t increment, bool coded, int timeBits = 5) {
    Bytes b{0, 0, 1, 0xB6};
    BitWriter w;
    w.Put(uint32_t(codingType), 2);
    w.Put(0, 1);  // modulo_time_base
    w.Put(1, 1);
    w.Put(increment, timeBits);
    w.Put(1, 1);
    w.Put(coded, 1);
    w.Put(0x55, 7);
    const Bytes t = w.Take();
    b.insert(b.end(), t.begin(), t.end());
    return Filler(b, 16);
}

// An MPEG-2 pack header with the clock reference (90 kHz).
inline Bytes Mpeg2Pack(uint64_t scr, uint32_t muxRate = 25000) {
    BitWriter w;
    w.Put(1, 2);
    w.Put(uint32_t(scr >> 30) & 7, 3);
    w.Put(1, 1);
    w.Put(uint32_t(scr >> 15) & 0x7FFF, 15);
    w.Put(1, 1);
    w.Put(uint32_t(scr) & 0x7FFF, 15);
    w.Put(1, 1);
    w.Put(0, 9);
    w.Put(1, 1);
    w.Put(muxRate, 22);
    w.Put(3, 2);
    w.Put(0x1F, 5);
    w.Put(0, 3);  // no stuffing
    Bytes b{0, 0, 1, 0xBA};
    const Bytes t = w.Take();
    b.insert(b.end(), t.begin(), t.end());
    return b;
}

// A system header with one stream entry (video E0); markersOk false clears
// the marker bit of byte 10.
inline Bytes SystemHeader(bool markersOk = true) {
    Bytes b{0, 0, 1, 0xBB, 0, 9, 0x80, 0x00, 0x01, 0x04, 0xE1, 0xFF, 0xE0, 0xE0, 0xE8};
    if (!markersOk) b[10] &= ~0x20;
    return b;
}

// An MPEG-2 PES packet of a stream with no optional header fields.
inline Bytes Pes(uint8_t streamId, const Bytes& payload) {
    const size_t length = payload.size() + 3;
    Bytes b{0, 0, 1, streamId, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0x80, 0x00, 0x00};
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

inline Bytes& Le32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}

inline Bytes Chunk(const std::string& id, const Bytes& data) {
    Bytes b;
    Append(b, id);
    Le32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}

}  // namespace torvo::test
