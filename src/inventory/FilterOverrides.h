// The user's own changes to the registered filters, kept beside the settings
// in $XDG_CONFIG_HOME/Quellmark/TorvoFilters.conf: a merit per filter, the
// media types removed from a filter and the filters taken off registration.
// The platform applies them to what it reports and to the media framework
// (an unregistered filter gets rank 0, so nothing picks it any more);
// registering a filter again drops its entry.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "inventory/CodecEntry.h"

namespace torvo {

struct RemovedMediaType {
    bool output = false;
    MediaTypePair pair{};
    bool operator==(const RemovedMediaType&) const = default;
};

struct FilterOverride {
    std::optional<uint32_t> merit;
    bool unregistered = false;
    std::vector<RemovedMediaType> removed;
    bool Empty() const { return !merit && !unregistered && removed.empty(); }
};

class CFilterOverrides {
public:
    // $XDG_CONFIG_HOME (else ~/.config) + /Quellmark/TorvoFilters.conf.
    static std::string DefaultPath();

    // A missing file is an empty store; lines that do not parse are skipped.
    bool Load(const std::string& path);
    // Written to a temporary file and renamed over the old one, so that a
    // reader never sees half a file. An empty store removes the file.
    bool Save(const std::string& path) const;
    void Parse(const std::string& text);
    std::string Text() const;

    // Filters are keyed by the framework's own name (a factory name).
    static bool ValidName(const std::string& name);
    const FilterOverride* Find(const std::string& name) const;
    FilterOverride& Edit(const std::string& name) { return filters_[name]; }
    void Erase(const std::string& name) { filters_.erase(name); }
    // Drops entries that no longer change anything.
    void Prune();
    const std::map<std::string, FilterOverride>& Filters() const { return filters_; }

    // The rank a filter is to have, when the store changes it.
    std::optional<uint32_t> Rank(const std::string& name) const;
    // The value of GST_PLUGIN_FEATURE_RANK for a child process: the
    // inherited one followed by ours, so that ours win.
    std::string RankEnvironment(const std::string& inherited) const;

private:
    std::map<std::string, FilterOverride> filters_;
};

}  // namespace torvo
