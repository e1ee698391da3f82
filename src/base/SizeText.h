// The texts in which file sizes are shown: a grouped byte count, and sizes in
// KБ, MБ and ГБ with two, one or no decimals depending on their magnitude.
#pragma once

#include <cstdint>
#include <string>

namespace torvo {

// Decimal with "," between groups of three digits: 1536 -> "1,536".
std::string ByteCountText(uint64_t bytes);

// The size in units of 1024^power (1 KБ, 2 MБ, 3 ГБ); empty below one unit.
std::string UnitSizeText(uint64_t bytes, int power);
inline std::string KibText(uint64_t bytes) { return UnitSizeText(bytes, 1); }
inline std::string MibText(uint64_t bytes) { return UnitSizeText(bytes, 2); }
inline std::string GibText(uint64_t bytes) { return UnitSizeText(bytes, 3); }

// The largest unit that applies, or the byte count with " байт" below 1 KiB.
std::string LargestUnitSizeText(uint64_t bytes);

// What the file size box shows, e.g. "1.50 KБ (1,536 байт )".
std::string FullSizeText(uint64_t bytes);

}  // namespace torvo
