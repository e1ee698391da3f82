// Expert commands on this machine's GStreamer: a merit change, a removed
// media type and unregistering reach the overrides file, the registry of
// this process and a fresh inventory; registering again undoes them.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ScratchDir.h"
#include "codeclist/CodecManagement.h"
#include "inventory/Enumeration.h"
#include "inventory/Merit.h"
#include "platform/gstreamer/GstPlatform.h"

namespace torvo {
namespace {

struct Answers : IMessageBox {
    std::string last;
    MessageAnswer Show(std::string_view, std::string_view text, MessageIcon, MessageButtons) override {
        last = text;
        return MessageAnswer::kOk;
    }
};

uint32_t RankOf(const char* factory) {
    GstPluginFeature* f = gst_registry_lookup_feature(gst_registry_get(), factory);
    if (!f) return 9999;
    const uint32_t rank = gst_plugin_feature_get_rank(f);
    gst_object_unref(f);
    return rank;
}

// A fresh platform and inventory, as a later run of the program sees them.
struct Gathered {
    CGstPlatform platform;
    std::unique_ptr<CodecInventory> inventory = std::make_unique<CodecInventory>();
    Gathered() { EnumerateInventory(*inventory, {platform, {}, [](const std::string&, const std::string&) {}}); }
    CodecEntry* Factory(const std::string& name) {
        for (int i = 0; i < inventory->Count(); ++i)
            if (inventory->At(i).clsidText.View() == FactoryClsidText(name)) return &inventory->At(i);
        return nullptr;
    }
};

TEST(GstFilterOverrides, MeritTypesAndRegistrationRoundTrip) {
    testing::ScratchDir scratch;
    // Before GStreamer starts: the overrides are read when it does.
    const testing::ScopedEnv config("XDG_CONFIG_HOME", scratch.path().c_str());
    const std::string store = CFilterOverrides::DefaultPath();
    auto first = std::make_unique<Gathered>();
    CodecEntry* h264 = first->Factory("avdec_h264");
    if (!h264) GTEST_SKIP() << "avdec_h264 is not installed";
    const uint32_t rank = RankOf("avdec_h264");
    Answers answers;

    ASSERT_TRUE(ChangeMerit(first->platform, *h264, answers, [](uint32_t) { return std::optional<uint32_t>(0x00300000); }));
    EXPECT_EQ(h264->registration.meritText.View(), "0x00300000");
    EXPECT_EQ(RankOf("avdec_h264"), RankFromMerit(0x00300000));
    EXPECT_NE(testing::ReadWholeFile(store).find("[avdec_h264]\nMerit=0x00300000"), std::string::npos);

    const std::vector<MediaTypeRow> types = EntryMediaTypes(*h264);
    ASSERT_FALSE(types.empty());
    ASSERT_TRUE(RemoveEntryMediaType(first->platform, *h264, types[0], {}, answers)) << answers.last;
    EXPECT_EQ(EntryMediaTypes(*h264).size(), types.size() - 1);
    {
        Gathered later;
        CodecEntry* again = later.Factory("avdec_h264");
        ASSERT_TRUE(again);
        EXPECT_EQ(again->registration.meritText.View(), "0x00300000");
        EXPECT_EQ(EntryMediaTypes(*again).size(), types.size() - 1);
    }

    ASSERT_TRUE(RegisterFilter(first->platform, *h264, true, answers));
    EXPECT_EQ(RankOf("avdec_h264"), 0u);
    EXPECT_EQ(h264->registration.meritText.View(), "0x00200000");
    // Registering again drops every change of the filter.
    ASSERT_TRUE(RegisterFilter(first->platform, *h264, false, answers)) << answers.last;
    EXPECT_EQ(RankOf("avdec_h264"), rank);
    EXPECT_FALSE(std::filesystem::exists(store));
    EXPECT_EQ(EntryMediaTypes(*h264).size(), types.size());
    EXPECT_EQ(h264->registration.merit, MeritFromRank(rank));

    // The property page lists the element's own settings with defaults.
    const auto properties = first->platform.FilterProperties(FactoryClsidText("avdec_h264"));
    const auto threads = std::find_if(properties.begin(), properties.end(),
                                      [](const FilterProperty& p) { return p.name == "max-threads"; });
    ASSERT_NE(threads, properties.end());
    EXPECT_EQ(threads->defaultValue, "0");
    EXPECT_TRUE(std::none_of(properties.begin(), properties.end(), [](const FilterProperty& p) { return p.name == "name"; }));
}

}  // namespace
}  // namespace torvo
