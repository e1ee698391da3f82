// The interface of the GStreamer module (torvo-gst.so): the part of the
// GStreamer platform that torvo-cli loads only when a run needs GStreamer
// (a cache miss of the inventory, a merit change).
//
// C++ types cross the boundary: the module is built with the program, from
// the same sources and by the same compiler. The build text and the size of
// the entry make sure that a module of another build is refused, not called.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "inventory/Platform.h"

namespace torvo {

inline constexpr const char* kGstModuleFile = "torvo-gst.so";
inline constexpr const char* kGstModuleSymbol = "TorvoGstModule";
inline constexpr const char* kGstModuleBuild = "torvo " TORVO_VERSION " gst-module 2";

struct GstModuleEntry {
    uint32_t size;      // sizeof(GstModuleEntry) of the module's build
    const char* build;  // kGstModuleBuild of the module's build
    // A CGstPlatform for the enumeration.
    std::unique_ptr<IInventoryPlatform> (*makePlatform)();
    // WriteFactoryMerit of GstPlatform.h.
    bool (*writeFactoryMerit)(const std::string& factory, std::optional<uint32_t> merit, std::string& message);
};

}  // namespace torvo

extern "C" {
// The module's one exported function: its entry, valid for the life of the process.
using TorvoGstModuleFn = const torvo::GstModuleEntry* (*)();
}
