// The renderer pass against recorded machines: the default video renderer is
// the sink that works on the display server that answers, never a
// whole-screen sink while one does; the sound renderer is the sound server's
// sink when it answers, else the sound card's, else any installed one.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "TestUtil.h"
#include "codecdb/ReadDatabase.h"
#include "codecdb/DatabaseNaming.h"
#include "inventory/Enumeration.h"
#include "inventory/InventoryService.h"
#include "platform/recorded/RecordedPlatform.h"

namespace torvo {
namespace {

// A machine with every sink a Debian desktop may have installed, the
// whole-screen ones ranked highest as they are in GStreamer.
std::string Machine(const char* display, const std::vector<std::string>& opening,
                    const std::vector<std::string>& missing = {}) {
    nlohmann::ordered_json fixture;
    fixture["display"] = display;
    fixture["openingSinks"] = opening;
    const std::pair<const char*, uint32_t> sinks[] = {
        {"kmssink", 0x800000},      {"fbdevsink", 0x700000}, {"dfbvideosink", 0x700000}, {"xvimagesink", 0x600000},
        {"ximagesink", 0x600000},   {"glimagesink", 0x600000}, {"waylandsink", 0x600000}, {"pulsesink", 0x800000},
        {"alsasink", 0x600000},     {"pipewiresink", 0x0},
    };
    for (const auto& [factory, merit] : sinks) {
        if (std::find(missing.begin(), missing.end(), factory) != missing.end()) continue;
        const std::string_view name = factory;
        const bool audio = name == "pulsesink" || name == "alsasink" || name == "pipewiresink";
        nlohmann::ordered_json f;
        f["renderer"] = true;
        f["factory"] = factory;
        f["FriendlyName"] = factory;
        f["CLSID"] = GuidString(NameBasedGuid(std::string("torvo:factory:") + factory));
        f["FilterData"] = {{"merit", merit},
                           {"pins", {{{"types", {{GuidString(audio ? guids::kMediaTypeAudio : guids::kMediaTypeVideo), nullptr}}}}}}};
        fixture["filters"].push_back(f);
    }
    return fixture.dump();
}

TEST(DefaultSinks, RendererPassChoosesTheSinksThatWorkWhereTheUserIs) {
    CReadDatabase database;
    ASSERT_TRUE(database.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {}));
    struct Case {
        const char* display;
        std::vector<std::string> opening;
        const char *video, *plain, *audio;  // "" when none is marked
        std::vector<std::string> missing = {};  // sinks not installed
    };
    const std::vector<std::string> all{"kmssink", "fbdevsink", "dfbvideosink", "xvimagesink", "ximagesink",
                                       "glimagesink", "waylandsink", "pulsesink", "alsasink"};
    const Case cases[] = {
        // A real X server with Xv and a sound server.
        {"x11", all, "xvimagesink", "ximagesink", "pulsesink"},
        // Xvfb: no Xv port; the KMS sink would open on the console but must not win.
        {"x11", {"kmssink", "ximagesink", "glimagesink", "alsasink"}, "ximagesink", "glimagesink", "alsasink"},
        // No sound server answers: the sound card's sink.
        {"x11", {"glimagesink"}, "glimagesink", "", "alsasink"},
        {"wayland", all, "waylandsink", "glimagesink", "pulsesink"},
        {"wayland", {"xvimagesink", "ximagesink", "glimagesink"}, "glimagesink", "", "alsasink"},
        // No display server answers: nothing is the default, not even the
        // whole-screen sinks; an installed picture sink stands for the plain renderer.
        {"none", all, "", "xvimagesink", "pulsesink"},
        {"x11", {}, "", "xvimagesink", "alsasink"},
        // No sound server and no sound card's sink: an installed sound sink
        // stands in, one that opens first; the answer never hangs on a server.
        {"x11", {"ximagesink"}, "ximagesink", "", "pulsesink", {"alsasink"}},
        {"x11", {"ximagesink", "pipewiresink"}, "ximagesink", "", "pipewiresink", {"alsasink"}},
        {"none", {}, "", "xvimagesink", "pipewiresink", {"alsasink", "pulsesink"}},
    };
    for (const Case& c : cases) {
        CRecordedPlatform platform(Machine(c.display, c.opening, c.missing));
        CodecInventory inventory;
        EnumerationContext context{platform, DatabaseGuidNames(database), [](const std::string&, const std::string&) {}};
        EnumerateInventory(inventory, context);
        std::string video, plain, audio;
        for (int i = 0; i < inventory.Count(); ++i) {
            const CodecEntry& e = inventory.At(i);
            if (e.clsid == guids::kClsidVideoRendererDefault) video = e.name.View();
            if (e.clsid == guids::kClsidVideoRenderer) plain = e.name.View();
            if (e.clsid == guids::kClsidDSoundRender) audio = e.name.View();
        }
        const std::string label = std::string(c.display) + " " + std::to_string(c.opening.size()) + " " +
                                  std::to_string(c.missing.size());
        EXPECT_EQ(video, c.video) << label;
        EXPECT_EQ(plain, c.plain) << label;
        EXPECT_EQ(audio, c.audio) << label;
    }
}

}  // namespace
}  // namespace torvo
