// The codec list's cells of one inventory entry: kind, format, name,
// identifier, merit and the file column.
#pragma once

#include <array>
#include <string>

#include "base/GuidText.h"
#include "inventory/CodecEntry.h"
#include "base/Translate.h"

namespace torvo {

inline constexpr std::array<const char*, 6> kCodecListColumns = {N_("Tип "), N_("Формат"), N_("Имя "), "ID", N_("Приор"),
                                                                 N_("Имя файла  ")};
inline constexpr const char* kCodecListTitle = N_("Все кодеки и фильтры  ");

std::array<std::string, 6> CodecListCells(const CodecEntry& entry);

// One entry of the codec list as one line of JSON (the cells by name, the
// element, path, status and version, each pin with its media types).
std::string CodecListJsonLine(const CodecEntry& entry, const GuidNameLookup& names);

}  // namespace torvo
