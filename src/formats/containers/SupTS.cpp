#include "formats/containers/SupTS.h"

#include <algorithm>

namespace torvo {

namespace {
constexpr uint8_t kSyncByte = 0x47;
constexpr uint32_t kPacketSizes[] = {188, 192, 204};
// Sync bytes that must stand in line; fewer when the bytes hold fewer packets.
constexpr uint64_t kSyncsWanted = 16;
}  // namespace

TransportPacketLayout FindTransportPacketLayout(ByteView bytes) {
    TransportPacketLayout best;
    uint64_t bestRun = 0;
    for (const uint32_t size : kPacketSizes) {
        for (uint32_t offset = 0; offset < size && offset < bytes.size(); ++offset) {
            if (bytes.U8(offset) != kSyncByte) continue;
            const uint64_t available = (bytes.size() - offset + size - 1) / size;
            const uint64_t wanted = std::min(kSyncsWanted, available);
            uint64_t run = 0;
            while (run < wanted && bytes.U8(offset + run * size) == kSyncByte) ++run;
            // A whole run at the first offset that has one; a longer packet
            // size wins only with a longer run (188 repeats inside 204 rarely).
            if (run == wanted && run >= 2 && run > bestRun) {
                best = {size, offset};
                bestRun = run;
            }
            if (run == wanted) break;
        }
    }
    return best;
}

}  // namespace torvo
