// The GStreamer module that torvo-cli loads on demand: found among files
// that are not it, enumerating what the platform in process does, and not
// needed at all while the inventory cache holds; without it a cache miss
// says why and leaves no cache behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ScratchDir.h"
#include "platform/gstreamer/GstOnDemand.h"

namespace torvo {
namespace {

using testing::ScratchDir;

GstGatherOptions CacheIn(const ScratchDir& dir) {
    GstGatherOptions options;
    options.extraKey = "module test";
    options.cacheDir = (dir / "cache").string();
    return options;
}

TEST(GstModule, AMissWithoutTheModuleSaysWhyAndSavesNoCache) {
    ScratchDir dir;
    const std::string notAModule = dir.Write("torvo-gst.so", "not a shared object");
    std::string error;
    EXPECT_EQ(LoadGstModule({"/nonexistent/torvo-gst.so"}, error), nullptr);
    EXPECT_NE(error.find("not found"), std::string::npos) << error;
    const GstModuleLoader load = [&](std::string& why) { return LoadGstModule({"/nonexistent/torvo-gst.so", notAModule}, why); };

    CodecInventory inventory;
    std::vector<InventoryMessage> messages;
    GstInventoryGathererOnDemand({}, CacheIn(dir), load)(inventory, messages);
    EXPECT_FALSE(inventory.enumerated);
    ASSERT_EQ(messages.size(), 1u);
    // The reason names the file that is there but is no module, not the absent one.
    EXPECT_NE(messages[0].text.find(notAModule), std::string::npos) << messages[0].text;
    EXPECT_FALSE(std::filesystem::exists(dir / "cache"));

    std::string message;
    EXPECT_FALSE(WriteFactoryMeritOnDemand("avdec_h264", 0x100u, message, load));
    EXPECT_NE(message.find(notAModule), std::string::npos) << message;
}

TEST(GstModule, EnumeratesAsInProcessAndAWarmCacheLoadsNothing) {
    ScratchDir dir;
    std::string error;
    const GstModuleEntry* module = LoadGstModule({(dir / "torvo-gst.so").string(), TORVO_GST_MODULE}, error);
    ASSERT_NE(module, nullptr) << error;
    int loads = 0;
    const GstModuleLoader load = [&](std::string&) {
        ++loads;
        return module;
    };

    CodecInventory throughModule, inProcess;
    std::vector<InventoryMessage> messages;
    GstInventoryGathererOnDemand({}, CacheIn(dir), load)(throughModule, messages);
    GstInventoryGatherer({}, WithoutCache())(inProcess, messages);
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(throughModule.enumerated);
    ASSERT_GT(throughModule.Count(), 0);
    ASSERT_EQ(throughModule.Count(), inProcess.Count());
    for (int i = 0; i < inProcess.Count(); ++i)
        EXPECT_EQ(std::memcmp(&throughModule.At(i), &inProcess.At(i), sizeof(CodecEntry)), 0) << "entry " << i;
    EXPECT_EQ(loads, 1);

    // The next run finds the cache and never asks for the module.
    CodecInventory warm;
    GstInventoryGathererOnDemand({}, CacheIn(dir), load)(warm, messages);
    EXPECT_TRUE(warm.enumerated);
    EXPECT_EQ(warm.Count(), inProcess.Count());
    EXPECT_EQ(loads, 1);

    // The merit writer crosses too (an unknown factory changes nothing).
    std::string message;
    EXPECT_FALSE(WriteFactoryMeritOnDemand("no_such_factory", 0x1u, message, load));
    EXPECT_EQ(message, "no element factory named 'no_such_factory'");
}

}  // namespace
}  // namespace torvo
