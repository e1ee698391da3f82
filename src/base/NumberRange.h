// Numbers read from a file on their way into the integer fields of the
// records. A float that is NaN, infinite or out of range must never reach a
// conversion to an integer (that is undefined behaviour), and a product of
// two stored values must not wrap before it is narrowed.
#pragma once

#include <cstdint>
#include <limits>

namespace torvo {

// The whole part of v, held within int32_t; NaN gives 0.
constexpr int32_t SaturatingInt32(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

constexpr int32_t SaturatingInt32(uint64_t v) {
    return v > uint64_t(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                              : static_cast<int32_t>(v);
}

constexpr int64_t SaturatingInt64(uint64_t v) {
    return v > uint64_t(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                              : static_cast<int64_t>(v);
}

// value × multiplier ÷ divisor, truncated (or rounded to the nearest), computed
// without overflow and held within uint64_t; 0 when the divisor is 0.
constexpr uint64_t ScaleSaturating(uint64_t value, uint64_t multiplier, uint64_t divisor, bool rounded = false) {
    if (divisor == 0) return 0;
    __extension__ using Wide = unsigned __int128;
    const Wide result = (Wide(value) * multiplier + (rounded ? divisor / 2 : 0)) / divisor;
    return result > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max()
                                                         : static_cast<uint64_t>(result);
}

// A sample rate stored as a float: its whole part when it is a plausible rate
// (1 Hz up to 10 MHz), else 0 (unknown).
constexpr int32_t SampleRateFromFloat(double rate) {
    return rate >= 1 && rate < 1e7 ? static_cast<int32_t>(rate) : 0;
}

}  // namespace torvo
