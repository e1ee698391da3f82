// The GStreamer platform as a module of its own: torvo-cli loads it (and
// GStreamer, GLib and their libraries with it) only when a run needs the
// registry, so that a run on a warm inventory cache never pays for them.
#include "platform/gstreamer/GstModule.h"

#include "platform/gstreamer/GstPlatform.h"

extern "C" __attribute__((visibility("default"))) const torvo::GstModuleEntry* TorvoGstModule() {
    using namespace torvo;
    static const GstModuleEntry entry{
        sizeof(GstModuleEntry), kGstModuleBuild,
        []() -> std::unique_ptr<IInventoryPlatform> { return std::make_unique<CGstPlatform>(); }, &WriteFactoryMerit};
    return &entry;
}
