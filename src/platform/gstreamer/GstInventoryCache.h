// Gathering the inventory from GStreamer, with a cache of the finished table
// in $XDG_CACHE_HOME/torvo/. The cache is keyed on everything the table is
// made from: the registry files, the plugin folders and their files, the
// GStreamer environment, the filter overrides and the caller's own key (the
// codec database); any change rebuilds it, so it is never stale.
#pragma once

#include <string>

#include "inventory/InventoryService.h"

namespace torvo {

struct GstGatherOptions {
    bool useCache = true;
    std::string extraKey;   // e.g. the codec database file's identity
    std::string cacheDir;   // empty: $XDG_CACHE_HOME/torvo (~/.cache/torvo)
};

inline GstGatherOptions WithoutCache() {
    GstGatherOptions options;
    options.useCache = false;
    return options;
}

// The key of the current GStreamer setup.
std::string GstInventoryKey(const std::string& extraKey);
// "path size mtime" of a file, or "path -" when it is missing.
std::string FileStamp(const std::string& path);

InventoryGatherer GstInventoryGatherer(GuidNameLookup guidNames, GstGatherOptions options);

}  // namespace torvo
