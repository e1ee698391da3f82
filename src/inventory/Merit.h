// Merit of a registered filter from a GStreamer rank and back: ranks up to
// NORMAL (128) spread over 0x200000..0x600000, higher ranks above, so that
// 0, 64, 128 and 256 give DO_NOT_USE, UNLIKELY, NORMAL and PREFERRED.
#pragma once

#include <cstdint>

namespace torvo {

constexpr uint32_t MeritFromRank(uint32_t rank) {
    return rank <= 128 ? 0x200000u + rank * 0x8000u : 0x600000u + (rank - 128) * 0x4000u;
}

constexpr uint32_t RankFromMerit(uint32_t merit) {
    if (merit <= 0x200000u) return 0;
    if (merit <= 0x600000u) return (merit - 0x200000u) / 0x8000u;
    return 128 + (merit - 0x600000u) / 0x4000u;
}

static_assert(MeritFromRank(0) == 0x200000 && MeritFromRank(64) == 0x400000 && MeritFromRank(128) == 0x600000 &&
              MeritFromRank(256) == 0x800000);
static_assert(RankFromMerit(MeritFromRank(266)) == 266 && RankFromMerit(MeritFromRank(37)) == 37);

}  // namespace torvo
