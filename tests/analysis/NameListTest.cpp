// Names a command-line run is given: list files of either separator and
// folders that stand for the media files inside them.
#include "analysis/NameList.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "ScratchDir.h"

namespace torvo {
namespace {

using Names = std::vector<std::string>;
using namespace std::string_literals;

TEST(NameList, EveryEntryCountsWhateverItHolds) {
    const std::string longest(PATH_MAX - 1, 'p');
    struct Case {
        const char* what;
        std::string bytes;
        char separator;
        Names names;
        size_t overlong;
    };
    const Case cases[] = {
        {"last line without a line feed", "a.avi\nb.mpg", '\n', {"a.avi", "b.mpg"}, 0},
        {"CR LF lines, empty lines", "a.avi\r\n\r\n\nb c.mpg\r\n", '\n', {"a.avi", "b c.mpg"}, 0},
        {"a CR inside a name stays", "a\rb.avi\n", '\n', {"a\rb.avi"}, 0},
        {"NUL list with blanks, tabs and line feeds", "a b.avi\0t\tab.ts\0new\nline.mkv\0"s, '\0',
         {"a b.avi", "t\tab.ts", "new\nline.mkv"}, 0},
        {"NUL list without a final NUL", "x.avi\0y.avi"s, '\0', {"x.avi", "y.avi"}, 0},
        {"a name as long as a path may be", longest + "\n", '\n', {longest}, 0},
        {"longer than any path", longest + "pp\nok.avi", '\n', {"ok.avi"}, 1},
        {"nothing", "", '\n', {}, 0},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.bytes);
        const NameListRead read = ReadNameList(in, c.separator);
        EXPECT_EQ(read.names, c.names) << c.what;
        EXPECT_EQ(read.overlong, c.overlong) << c.what;
    }
}

TEST(NameList, ManyNamesAreAllKept) {
    std::string bytes;
    for (int i = 0; i < 12000; ++i) bytes += "file" + std::to_string(i) + ".avi\n";
    std::istringstream in(bytes);
    const NameListRead read = ReadNameList(in);
    ASSERT_EQ(read.names.size(), 12000u);
    EXPECT_EQ(read.names.back(), "file11999.avi");
}

TEST(NameList, FoldersStandForTheirMediaFilesSorted) {
    const testing::ScratchDir dir;
    dir.Write("movies/b.avi", "x");
    dir.Write("movies/a.MKV", "x");
    dir.Write("movies/notes.txt", "x");
    dir.Write("movies/.avi", "x");
    dir.Write("movies/sub/c.mpg", "x");
    dir.Write("movies/sub/deeper/d.ts", "x");
    const std::string movies = (dir / "movies").string();
    const std::string single = dir.Write("single.wav", "x");

    const ExpandedNames all = ExpandFolders({single, movies, "missing.avi"});
    EXPECT_EQ(all.names, (Names{single, movies + "/a.MKV", movies + "/b.avi", movies + "/sub/c.mpg",
                                movies + "/sub/deeper/d.ts", "missing.avi"}));
    EXPECT_EQ(all.leftOut, 0u);

    // The window's limit: what is left out is counted.
    const ExpandedNames limited = ExpandFolders({movies, single}, 2);
    EXPECT_EQ(limited.names, (Names{movies + "/a.MKV", movies + "/b.avi"}));
    EXPECT_EQ(limited.leftOut, 3u);
    EXPECT_FALSE(all.searchCut || limited.searchCut);

    // A tree far beyond the limit is searched only so deep: the count is then a floor.
    for (int i = 0; i < 1010; ++i) dir.Write("huge/" + std::to_string(i) + ".avi", "");
    const ExpandedNames cut = ExpandFolders({(dir / "huge").string()}, 1);
    EXPECT_EQ(cut.names.size(), 1u);
    EXPECT_EQ(cut.leftOut, 1003u);
    EXPECT_TRUE(cut.searchCut);
}

TEST(NameList, MediaExtensions) {
    EXPECT_TRUE(HasMediaExtension("/a/b.AVI"));
    EXPECT_TRUE(HasMediaExtension("c.webm"));
    EXPECT_FALSE(HasMediaExtension("/a.avi/readme"));
    EXPECT_FALSE(HasMediaExtension("/x/.avi"));
    EXPECT_FALSE(HasMediaExtension("noext"));
    EXPECT_FALSE(HasMediaExtension("notes.txt"));
}

}  // namespace
}  // namespace torvo
