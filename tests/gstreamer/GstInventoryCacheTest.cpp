// The inventory cache against the registry it stands for: a warm start gives
// byte for byte the table an enumeration gives, and a damaged cache is
// rebuilt, never half used.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "ScratchDir.h"
#include "base/Guid.h"
#include "platform/gstreamer/GstInventoryCache.h"

namespace torvo {
namespace {

std::filesystem::path OnlyFileIn(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir)) files.push_back(e.path());
    return files.size() == 1 ? files[0] : std::filesystem::path();
}

std::vector<char> ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const std::filesystem::path& file, const std::vector<char>& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Where the last entry's packed bytes start: after the magic, the key, the
// entry size, the count and every earlier entry with its length.
size_t LastEntryStart(const std::vector<char>& bytes) {
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    size_t at = 8;
    at += 4 + u32(at);
    const uint32_t count = u32(at + 4);
    at += 8;
    for (uint32_t i = 0; i + 1 < count; ++i) at += 4 + u32(at);
    return at + 4;
}

void ExpectSameTable(const CodecInventory& expected, const CodecInventory& actual) {
    ASSERT_EQ(actual.Count(), expected.Count());
    for (int i = 0; i < expected.Count(); ++i)
        EXPECT_EQ(std::memcmp(&expected.At(i), &actual.At(i), sizeof(CodecEntry)), 0) << "entry " << i;
}

TEST(GstInventoryCache, WarmStartsGiveTheEnumeratedTableAndDamageRebuildsIt) {
    testing::ScratchDir dir;
    GstGatherOptions options;
    options.cacheDir = dir.path().string();
    options.extraKey = "cache test";
    const InventoryGatherer gather = GstInventoryGatherer({}, options);
    auto fill = [&](CodecInventory& inventory) {
        std::vector<InventoryMessage> messages;
        gather(inventory, messages);
        return messages.empty();
    };

    CodecInventory enumerated;
    ASSERT_TRUE(fill(enumerated));  // nothing cached yet: the registry is enumerated and saved
    ASSERT_GT(enumerated.Count(), 1);
    const std::filesystem::path file = OnlyFileIn(dir.path());
    ASSERT_FALSE(file.empty());
    const std::vector<char> saved = ReadBytes(file);

    CodecInventory warm;
    ASSERT_TRUE(fill(warm));
    ExpectSameTable(enumerated, warm);

    // A run that never lists codecs leaves out only the version texts.
    GstGatherOptions lean = options;
    lean.versionTexts = false;
    CodecInventory withoutTexts;
    std::vector<InventoryMessage> messages;
    GstInventoryGatherer({}, lean)(withoutTexts, messages);
    ASSERT_EQ(withoutTexts.Count(), enumerated.Count());
    int versioned = 0;
    for (int i = 0; i < enumerated.Count(); ++i) versioned += !enumerated.At(i).version.texts[kFileVersion].View().empty();
    EXPECT_GT(versioned, 0);
    auto expected = std::make_unique<CodecEntry>();
    for (int i = 0; i < enumerated.Count(); ++i) {
        std::memcpy(static_cast<void*>(expected.get()), &enumerated.At(i), sizeof(CodecEntry));
        expected->version = {};
        EXPECT_EQ(std::memcmp(expected.get(), &withoutTexts.At(i), sizeof(CodecEntry)), 0) << "entry " << i;
    }

    // A file cut short, and one whose last entry (unpacked by the second
    // thread) runs past the entry's size.
    std::vector<char> cut(saved.begin(), saved.begin() + static_cast<long>(saved.size() / 2));
    std::vector<char> overrun = saved;
    std::memset(overrun.data() + LastEntryStart(saved), 0xFF, 4);
    for (const std::vector<char>* damaged : {&cut, &overrun}) {
        WriteBytes(file, *damaged);
        CodecInventory rebuilt;
        ASSERT_TRUE(fill(rebuilt));
        ExpectSameTable(enumerated, rebuilt);
        EXPECT_EQ(ReadBytes(file), saved);
    }

    // Nobody will read the table: the load stops and leaves it empty.
    CodecInventory abandoned;
    abandoned.abandoned = true;
    fill(abandoned);
    EXPECT_EQ(abandoned.Count(), 0);
    EXPECT_FALSE(abandoned.enumerated);
}

// The key follows the plugin set of a plugin folder: a plugin added, one
// replaced the way packages replace files (a new file renamed over the old)
// and one removed each give a new key; looking again without a change does not.
TEST(GstInventoryCache, TheKeyFollowsThePluginSet) {
    testing::ScratchDir plugins;
    const testing::ScopedEnv path("GST_PLUGIN_PATH_1_0", plugins.path().c_str());
    std::vector<std::string> keys = {GstInventoryKey("key test")};
    EXPECT_EQ(GstInventoryKey("key test"), keys.back());
    // A folder's times move by the file system's clock tick (milliseconds):
    // each change waits for a new tick, as changes made between two runs do.
    const auto tick = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    const auto changed = [&keys] {
        keys.push_back(GstInventoryKey("key test"));
        return std::count(keys.begin(), keys.end(), keys.back()) == 1;
    };
    tick();
    plugins.Write("libgstone.so", "one");
    EXPECT_TRUE(changed()) << "added";
    tick();
    plugins.Write("libgstone.so.new", "one, again");
    std::filesystem::rename(plugins / "libgstone.so.new", plugins / "libgstone.so");
    EXPECT_TRUE(changed()) << "replaced";
    tick();
    std::filesystem::remove(plugins / "libgstone.so");
    EXPECT_TRUE(changed()) << "removed";
}

// Status answers kept between runs: a run with a book answers without the
// table and brings the table in only when asked; another program build or a
// damaged book starts afresh, and a partial table's answers are never kept.
TEST(GstInventoryCache, AnswersOfEarlierRunsStandInForTheTable) {
    testing::ScratchDir dir;
    int enumerations = 0;
    bool failing = false;
    const InventoryGatherer enumerate = [&](CodecInventory& inventory, std::vector<InventoryMessage>& messages) {
        ++enumerations;
        inventory.At(0).index = 7;
        inventory.SetCount(1);
        inventory.enumerated = !failing;
        if (failing) messages.push_back({"caption", "failed"});
    };
    GstGatherOptions options;
    options.cacheDir = dir.path().string();
    options.extraKey = "answers test";
    options.versionTexts = false;
    options.answersStamp = "build 1";
    auto gather = [&](CodecInventory& inventory, const GstGatherOptions& with) {
        std::vector<InventoryMessage> messages;
        CachedInventoryGatherer(enumerate, with)(inventory, messages);
        inventory.rememberSearches = true;
    };
    using namespace guids;
    const CodecInventory::SearchAnswer answer{1, {kMediaTypeStream, kSubtypeMpeg1Audio}, {kMediaTypeAudio, {}}, 2};

    CodecInventory first;
    gather(first, options);
    ASSERT_EQ(first.Count(), 1);  // no answers yet: the table is there at once
    EXPECT_FALSE(first.bringTable);
    ASSERT_TRUE(first.keepAnswers);
    first.keepAnswers(first);  // nothing new: nothing written
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    first.searchAnswers.push_back(answer);
    first.keepAnswers(first);

    CodecInventory second;
    gather(second, options);
    EXPECT_EQ(second.Count(), 0);
    ASSERT_EQ(second.searchAnswers.size(), 1u);
    EXPECT_EQ(second.searchAnswers[0].source, answer.source);
    EXPECT_EQ(second.searchAnswers[0].result, 2);
    ASSERT_TRUE(second.bringTable);
    second.bringTable(second);  // from the table's cache, not the platform
    EXPECT_EQ(second.Count(), 1);
    EXPECT_EQ(second.At(0).index, 7);
    EXPECT_EQ(enumerations, 1);

    GstGatherOptions rebuilt = options;
    rebuilt.answersStamp = "build 2";
    CodecInventory other;
    gather(other, rebuilt);
    EXPECT_EQ(other.Count(), 1);
    EXPECT_TRUE(other.searchAnswers.empty());

    std::filesystem::path book;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().starts_with("answers-")) book = e.path();
    ASSERT_FALSE(book.empty());
    std::vector<char> bytes = ReadBytes(book);
    bytes.resize(bytes.size() - 1);
    WriteBytes(book, bytes);
    CodecInventory damaged;
    gather(damaged, options);
    EXPECT_EQ(damaged.Count(), 1);
    EXPECT_TRUE(damaged.searchAnswers.empty());

    // The table's cache is gone and the platform fails: the answers found
    // meanwhile describe a partial table and are not kept.
    damaged.searchAnswers.push_back(answer);
    damaged.keepAnswers(damaged);
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().starts_with("inventory-")) std::filesystem::remove(e.path());
    failing = true;
    CodecInventory partial;
    gather(partial, options);
    ASSERT_TRUE(partial.bringTable);
    partial.bringTable(partial);
    EXPECT_FALSE(partial.keepAnswers);
    ASSERT_EQ(partial.lateMessages.size(), 1u);
    EXPECT_EQ(partial.lateMessages[0].second, "failed");
}

}  // namespace
}  // namespace torvo
