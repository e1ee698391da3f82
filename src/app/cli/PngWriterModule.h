// The interface of the PNG writer module (torvo-png.so) that torvo-cli loads
// on demand.
#pragma once

#include <cstdint>

// The file name of the module and the name of its one function.
inline constexpr const char* kPngModuleFile = "torvo-png.so";
inline constexpr const char* kPngWriterSymbol = "TorvoWritePngRgb";

// Writes width x height pixels (0x00RRGGBB, rows top to bottom) as a PNG file.
extern "C" {
using TorvoWritePngRgbFn = bool (*)(const uint32_t* pixels, int width, int height, const char* path);
}
