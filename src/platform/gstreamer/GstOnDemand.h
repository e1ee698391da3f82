// GStreamer for a program that loads it only when a run needs it
// (torvo-cli): the inventory cache is read in process, and the GStreamer
// module (torvo-gst.so) is loaded on a cache miss or for a merit change.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/gstreamer/GstInventoryCache.h"
#include "platform/gstreamer/GstModule.h"

namespace torvo {

// The module files to try, in order: beside the program, in the module folder
// of an installation relative to the program (one moved elsewhere), where it
// was meant to be installed, where it was built.
std::vector<std::string> GstModuleCandidates();

// The candidates, unless the environment names the one module file to use
// (TORVO_GST_MODULE: a module kept elsewhere, or none to run without one).
std::vector<std::string> GstModuleFilesOr(std::vector<std::string> candidates);

// Loads the first of the files that is the module of this build; null, with
// the reason in error, when none is. A module stays loaded for the rest of
// the process.
const GstModuleEntry* LoadGstModule(const std::vector<std::string>& files, std::string& error);

using GstModuleLoader = std::function<const GstModuleEntry*(std::string& error)>;
// LoadGstModule over GstModuleCandidates, tried once per process.
GstModuleLoader DefaultGstModuleLoader();

// GstInventoryGatherer with the enumeration through the module, which only a
// cache miss loads. Without a module the miss gives a message and the
// inventory stays unenumerated, as when GStreamer cannot be initialised.
InventoryGatherer GstInventoryGathererOnDemand(GuidNameLookup guidNames, GstGatherOptions options,
                                               GstModuleLoader load = DefaultGstModuleLoader());

// WriteFactoryMerit through the module; false, with the reason in message,
// when it cannot be loaded.
bool WriteFactoryMeritOnDemand(const std::string& factory, std::optional<uint32_t> merit, std::string& message,
                               const GstModuleLoader& load = DefaultGstModuleLoader());

}  // namespace torvo
