// The buffers kept from one file to the next: they belong to whoever lends
// them (the records, the driver), never to the thread or the process.
#include <gtest/gtest.h>

#include <set>

#include "TestUtil.h"
#include "analysis/Driver.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {
namespace {

TEST(SpareBuffers, ElementaryBlocksGoBackToTheirRecordsAndAreTakenAgain) {
    const uint8_t bytes[4] = {1, 2, 3, 4};
    AnalysisRecords records;
    records.video.data.Append(bytes, 4);
    records.Stream(3).data.Append(bytes, 4);
    const std::set<const uint8_t*> first = {records.video.data.View().data(), records.Stream(3).data.View().data()};
    records.Reset();
    EXPECT_EQ(records.spares->Kept(), 2u);
    EXPECT_EQ(records.video.data.Count(), 0u);

    // The next file's buffers write into the same blocks.
    records.Stream(0).data.Append(bytes, 2);
    records.video.data.Append(bytes + 2, 2);
    EXPECT_EQ(records.spares->Kept(), 0u);
    EXPECT_EQ((std::set<const uint8_t*>{records.video.data.View().data(), records.Stream(0).data.View().data()}), first);
    EXPECT_EQ(records.video.data.View().U8(1), 4);

    // A copy outside the records has a block of its own and frees it itself.
    {
        const ElementaryBuffer copy(records.video.data);
        EXPECT_NE(copy.View().data(), records.video.data.View().data());
        EXPECT_EQ(copy.View().U8(0), 3);
    }
    EXPECT_EQ(records.spares->Kept(), 0u);
    // Assigning to the records' buffer gives its block back there first.
    records.video.data = ElementaryBuffer();
    EXPECT_EQ(records.spares->Kept(), 1u);

    // Other records draw on nothing of these; a few blocks are kept at most.
    AnalysisRecords other;
    other.video.data.Append(bytes, 1);
    EXPECT_EQ(records.spares->Kept(), 1u);
    for (size_t slot = 0; slot < 5; ++slot) records.Stream(slot).data.Append(bytes, 1);
    // Moved records take their spares along: their streams give blocks back to them.
    AnalysisRecords moved(std::move(records));
    moved.Reset();
    EXPECT_EQ(moved.spares->Kept(), SpareBlocks::kMaxKept);
    EXPECT_EQ(other.spares->Kept(), 0u);
}

TEST(SpareBuffers, AReaderLeavesItsHeaderToTheNextOneItIsLentTo) {
    test::MemFile a(test::PatternBytes(1000)), b(test::PatternBytes(600, 7));
    CFileCache::SpareHeader spare;
    const uint8_t* header = nullptr;
    {
        CFileCache reader(&spare);
        ASSERT_TRUE(reader.Open(a.Path()));
        header = reader.Header().data();
    }
    ASSERT_TRUE(spare.bytes);
    EXPECT_EQ(spare.bytes.get(), header);
    {
        CFileCache reader(&spare);
        ASSERT_TRUE(reader.Open(b.Path()));
        EXPECT_EQ(reader.Header().data(), header);
        EXPECT_EQ(reader.Header().size(), 600u);
        EXPECT_EQ(reader.Header().U8(0), test::PatternByte(7));
        EXPECT_FALSE(spare.bytes);  // in use
    }
    // A reader lent nothing neither takes the spare nor leaves its own.
    {
        CFileCache reader;
        ASSERT_TRUE(reader.Open(a.Path()));
        EXPECT_NE(reader.Header().data(), header);
    }
    EXPECT_EQ(spare.bytes.get(), header);
}

TEST(SpareBuffers, TheDriverKeepsTheBlocksOfOneFileForTheNext) {
    Display display;
    CAnalysisDriver driver(display);
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("mpeg2_ps.mpg")));
    driver.StopScan();
    ASSERT_GT(driver.Records().video.data.Count(), 0u);
    // A file that collects nothing: the reset gave the blocks back, and they stay.
    ASSERT_TRUE(driver.AnalyseFile(test::SamplePath("document.pdf")));
    driver.StopScan();
    EXPECT_GE(driver.Records().spares->Kept(), 2u);
}

}  // namespace
}  // namespace torvo
