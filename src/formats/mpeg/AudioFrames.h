// Helpers shared by the elementary audio frame scans.
#pragma once

#include <cstdint>

#include "records/Records.h"

namespace torvo {

// frameEnds holds entries 1 .. kMaxFrameEnds - 1; later frames are counted only.
inline constexpr uint32_t kMaxFrameEnds = 41943;

// Records where frame k ends (offset of the byte after it from the data start).
inline void StoreFrameEnd(AudioResult& result, uint32_t k, uint64_t end) {
    if (k == 0 || k >= kMaxFrameEnds) return;
    if (result.frameEnds.size() <= k) result.frameEnds.resize(k + 1, 0);
    result.frameEnds[k] = static_cast<int32_t>(end);
}

// A stream counts when at least five frames were seen and at most one in
// eight of the counted frames was followed by a lost sync.
inline bool EnoughFrames(uint32_t frames, int64_t breaks) {
    if (frames < 5) return false;
    return uint64_t(frames) * 256 / (uint64_t(frames) + uint64_t(breaks < 0 ? 0 : breaks)) >= 224;
}

}  // namespace torvo
