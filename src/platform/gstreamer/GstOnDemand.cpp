#include "platform/gstreamer/GstOnDemand.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/gstreamer/GstLeakChecks.h"
#include "settings/ProgramLocation.h"

#ifndef TORVO_GST_MODULE_INSTALLED
#define TORVO_GST_MODULE_INSTALLED ""
#endif
#ifndef TORVO_GST_MODULE_BUILT
#define TORVO_GST_MODULE_BUILT ""
#endif
#ifndef TORVO_MODULES_FROM_PROGRAM
#define TORVO_MODULES_FROM_PROGRAM ""
#endif

namespace torvo {

std::vector<std::string> GstModuleCandidates() {
    return ModuleCandidates(kGstModuleFile, TORVO_MODULES_FROM_PROGRAM, TORVO_GST_MODULE_INSTALLED,
                            TORVO_GST_MODULE_BUILT);
}

std::vector<std::string> GstModuleFilesOr(std::vector<std::string> candidates) {
    const char* named = std::getenv("TORVO_GST_MODULE");
    if (named && *named) return {named};
    return candidates;
}

const GstModuleEntry* LoadGstModule(const std::vector<std::string>& files, std::string& error) {
    error.clear();
    for (const std::string& file : files) {
        // Absent files are the usual case (the places of other layouts) and
        // say nothing; a file that is there and fails says why.
        if (::access(file.c_str(), F_OK) != 0) continue;
        void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            error = why ? why : file + ": cannot be loaded";
            continue;
        }
        // A refused file stays loaded too: unloading what may have pulled GLib in is not worth the risk.
        const auto entryOf = reinterpret_cast<TorvoGstModuleFn>(::dlsym(handle, kGstModuleSymbol));
        const GstModuleEntry* entry = entryOf ? entryOf() : nullptr;
        if (!entry) {
            error = file + ": not the GStreamer module";
            continue;
        }
        if (entry->size != sizeof(GstModuleEntry) || std::strcmp(entry->build, kGstModuleBuild) != 0) {
            error = file + ": a module of another build";
            continue;
        }
        return entry;
    }
    if (error.empty()) {
        error = std::string(kGstModuleFile) + " not found (looked for";
        for (const std::string& file : files) error += " " + file;
        error += ")";
    }
    return nullptr;
}

GstModuleLoader DefaultGstModuleLoader() {
    return [](std::string& error) {
        static std::once_flag once;
        static const GstModuleEntry* entry = nullptr;
        static std::string loadError;
        std::call_once(once, [] { entry = LoadGstModule(GstModuleFilesOr(GstModuleCandidates()), loadError); });
        error = loadError;
        return entry;
    };
}

InventoryGatherer GstInventoryGathererOnDemand(GuidNameLookup guidNames, GstGatherOptions options, GstModuleLoader load) {
    auto enumerate = [guidNames = std::move(guidNames), load = std::move(load),
                      notice = options.beforeEnumeration](CodecInventory& inventory, std::vector<InventoryMessage>& messages) {
        if (notice) notice();
        std::string error;
        const GstModuleEntry* module = load(error);
        if (!module) {
            inventory.unavailable = error;
            messages.push_back(UnavailableMessage(error));
            return;
        }
        EnumerationGatherer(module->makePlatform, guidNames)(inventory, messages);
    };
    return CachedInventoryGatherer(std::move(enumerate), std::move(options));
}

bool WriteFactoryMeritOnDemand(const std::string& factory, std::optional<uint32_t> merit, std::string& message,
                               const GstModuleLoader& load) {
    std::string error;
    const GstModuleEntry* module = load(error);
    if (!module) {
        message = "the merit cannot be changed: " + error;
        return false;
    }
    return module->writeFactoryMerit(factory, merit, message);
}

}  // namespace torvo
