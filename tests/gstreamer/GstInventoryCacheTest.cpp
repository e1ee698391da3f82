// The inventory cache against the registry it stands for: a warm start gives
// byte for byte the table an enumeration gives, and a damaged cache is
// rebuilt, never half used.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "ScratchDir.h"
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

}  // namespace
}  // namespace torvo
