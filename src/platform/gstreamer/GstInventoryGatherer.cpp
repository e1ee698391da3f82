// The cached inventory over CGstPlatform in process (the desktop program,
// the tests); torvo-cli enumerates through the module instead.
#include "platform/gstreamer/GstInventoryCache.h"
#include "platform/gstreamer/GstPlatform.h"

namespace torvo {

InventoryGatherer GstInventoryGatherer(GuidNameLookup guidNames, GstGatherOptions options) {
    return CachedInventoryGatherer(
        EnumerationGatherer([] { return std::make_unique<CGstPlatform>(); }, std::move(guidNames)), std::move(options));
}

}  // namespace torvo
