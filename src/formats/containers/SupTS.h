// CSupTS: MPEG-2 transport streams (ISO/IEC 13818-1) with 188-byte packets,
// 192-byte M2TS packets (a 4-byte arrival time stamp before each) and
// 204-byte packets (16 bytes of Reed-Solomon parity after each).
#pragma once

#include <cstdint>

#include "analysis/ByteView.h"

namespace torvo {

// Where the packets stand: their size and the offset of the first sync byte.
struct TransportPacketLayout {
    uint32_t packetSize = 0;  // 188, 192 or 204; 0 when no size fits
    uint32_t syncOffset = 0;  // of the first 0x47 of the first whole packet
};

// The packet size whose sync bytes line up best from the start of the bytes.
TransportPacketLayout FindTransportPacketLayout(ByteView bytes);

}  // namespace torvo
