// Gathering the inventory from GStreamer, with a cache of the finished table
// in $XDG_CACHE_HOME/torvo/. The cache is keyed on everything the table is
// made from: the registry files, the plugin folders (whose times move when
// a plugin is added, removed or replaced), the GStreamer environment, the filter overrides and the caller's own key (the
// codec database); any change rebuilds it, so it is never stale. The cache
// itself needs no GStreamer library: only a miss enumerates the registry.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "inventory/InventoryService.h"

namespace torvo {

struct GstGatherOptions {
    bool useCache = true;
    std::string extraKey;   // e.g. the codec database file's identity
    std::string cacheDir;   // empty: $XDG_CACHE_HOME/torvo (~/.cache/torvo)
    // The entries' version texts, which only the codec list shows: a run that
    // never lists codecs leaves them out of a warm start, a third of the
    // table's memory and page faults.
    bool versionTexts = true;
    // Set (the program's own identity) by a run that only asks for codec
    // statuses: it keeps its answers beside the cache and starts from those
    // of earlier runs, bringing the table in only for a question they lack.
    std::string answersStamp;
    // Told just before the registry is enumerated afresh (a cache miss: on a
    // machine's first run that takes seconds, so a terminal user hears why).
    std::function<void()> beforeEnumeration;
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
// The same from what stat or fstat told of the file.
std::string FileStamp(const std::string& path, const struct stat& info);

// The cache around an enumeration: a hit fills the inventory from the cache
// file, a miss runs enumerate and saves its table when it finished cleanly
// (enumerated, no messages).
InventoryGatherer CachedInventoryGatherer(InventoryGatherer enumerate, GstGatherOptions options);

// The cache around the enumeration of the GStreamer platform in process
// (in torvo_platform_gstreamer, which links GStreamer).
InventoryGatherer GstInventoryGatherer(GuidNameLookup guidNames, GstGatherOptions options);

}  // namespace torvo
