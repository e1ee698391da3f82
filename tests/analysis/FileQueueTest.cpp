#include "analysis/FileQueue.h"

#include <gtest/gtest.h>

#include <sstream>

namespace torvo {
namespace {

std::vector<std::string> ReadList(const std::string& bytes, size_t room = FileQueue::kMaxNames) {
    std::istringstream in(bytes);
    return ReadListFile(in, room);
}

TEST(ListFile, LinesEndAtLineFeedsAndLoseTheirCarriageReturns) {
    EXPECT_EQ(ReadList("a.avi\r\nb.mpg\nc.mp4\n"), (std::vector<std::string>{"a.avi", "b.mpg", "c.mp4"}));
    // The last line counts only with its line feed.
    EXPECT_EQ(ReadList("a.avi\nb.mpg"), (std::vector<std::string>{"a.avi"}));
    EXPECT_EQ(ReadList(""), std::vector<std::string>{});
    EXPECT_EQ(ReadList("\n\n/x/y z.avi\n"), (std::vector<std::string>{"/x/y z.avi"}));
}

TEST(ListFile, OverlongLinesAreDiscardedWhole) {
    const std::string fits(260, 'a'), tooLong(261, 'b');
    EXPECT_EQ(ReadList(fits + "\n" + tooLong + "\nshort\n"), (std::vector<std::string>{fits, "short"}));
    // Carriage returns do not count towards the length.
    EXPECT_EQ(ReadList(fits + "\r\r\n"), (std::vector<std::string>{fits}));
}

TEST(ListFile, ReadingStopsWhenTheQueueIsFull) {
    std::string many;
    for (int i = 0; i < 10005; ++i) many += std::to_string(i) + "\n";
    const auto names = ReadList(many);
    ASSERT_EQ(names.size(), 9999u);
    EXPECT_EQ(names.back(), "9998");
    EXPECT_EQ(ReadList("a\nb\nc\n", 2).size(), 2u);

    // Asked to, reading goes on and counts the names that did not fit, by
    // the same rules: no overlong lines, no last line without its line feed.
    std::istringstream rest(many + std::string(300, 'x') + "\n\r\nlast");
    size_t leftOut = 100;
    EXPECT_EQ(ReadListFile(rest, FileQueue::kMaxNames, &leftOut).size(), 9999u);
    EXPECT_EQ(leftOut, 106u);
}

TEST(FileQueue, CommandsStayInsideTheQueue) {
    FileQueue q;
    q.Fill({"a", "b", "c"});
    EXPECT_EQ(q.Index(), 0);
    EXPECT_FALSE(q.Previous());
    EXPECT_EQ(q.CounterText(), "  1/3  ");
    EXPECT_TRUE(q.Next());
    EXPECT_TRUE(q.Next());
    EXPECT_TRUE(q.AtLast());
    EXPECT_FALSE(q.Next());
    EXPECT_EQ(q.Current(), "c");
    q.BackToFirst();
    EXPECT_EQ(q.Index(), -1);
    EXPECT_EQ(q.CounterText(), "");
    EXPECT_EQ(q.QueuedLine(), "3 файлов в очер..");
    EXPECT_TRUE(q.Next());
    EXPECT_EQ(q.Current(), "a");

    FileQueue one;
    one.Fill({"only"});
    EXPECT_EQ(one.CounterText(), "");  // hidden for a single name
    FileQueue big;
    big.Fill(std::vector<std::string>(10050, "x"));
    EXPECT_EQ(big.Count(), 9999u);
    EXPECT_EQ(big.Add({"y"}), 0u);
}

TEST(CommandLine, SwitchesInEitherCaseAndPosixPaths) {
    const CommandLine line = ParseCommandLine({"-X", "/f", "list.txt", "a.avi", "/home/me/b.mpg", "-F", "l2", "-q", "/x"});
    EXPECT_TRUE(line.autoExit);
    EXPECT_EQ(line.listFiles, (std::vector<std::string>{"list.txt", "l2"}));
    EXPECT_EQ(line.names, (std::vector<std::string>{"a.avi", "/home/me/b.mpg"}));
    EXPECT_FALSE(ParseCommandLine({"a"}).autoExit);
    EXPECT_TRUE(ParseCommandLine({"-f"}).listFiles.empty());  // a switch without its argument
}

}  // namespace
}  // namespace torvo
