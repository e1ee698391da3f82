// Names a command-line run is given: list files of either separator and
// folders that stand for the media files inside them.
#include "analysis/NameList.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
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

// First bytes a registered format identifies, and some it does not.
const std::string kAvi = "RIFF\x10\0\0\0AVI LIST"s;
const std::string kFlac = "fLaC\0\0\0\x22"s;
const std::string kCaf = "caff\0\x01\0\0desc"s;
const std::string kPng = "\x89PNG\r\n\x1a\n"s;

TEST(NameList, FoldersStandForTheirMediaFilesByContent) {
    const testing::ScratchDir dir;
    dir.Write("movies/b.avi", kAvi);
    dir.Write("movies/a.MKV", "\x1a\x45\xdf\xa3\x84\x42\x82\x88matroska"s);
    dir.Write("movies/notes.txt", "a note");
    dir.Write("movies/renamed.txt", kFlac);  // named oddly, still media
    dir.Write("movies/picture.avi", kPng);   // named as media, is not
    dir.Write("movies/empty.avi", "");
    dir.Write("movies/sub/noext", kCaf);
    dir.Write("movies/sub/deeper/d.ts", "");
    const std::string movies = (dir / "movies").string();
    const std::string single = dir.Write("single.wav", "x");  // named files are queued as they are

    const ExpandedNames all = ExpandFolders({single, movies, "missing.avi"});
    EXPECT_EQ(all.names, (Names{single, movies + "/a.MKV", movies + "/b.avi", movies + "/renamed.txt",
                                movies + "/sub/noext", "missing.avi"}));
    EXPECT_EQ(all.leftOut, 0u);
    EXPECT_EQ(all.skipped, 4u);
    EXPECT_TRUE(all.withoutMedia.empty() && all.unreadable.empty());
    EXPECT_EQ(ExpansionNotes(all), "4 файл(ов) пропущено: не медиафайлы");

    // The window's limit: what is left out is counted.
    const ExpandedNames limited = ExpandFolders({movies, single}, 2);
    EXPECT_EQ(limited.names, (Names{movies + "/a.MKV", movies + "/b.avi"}));
    EXPECT_EQ(limited.leftOut, 3u);
    EXPECT_FALSE(all.searchCut || limited.searchCut);

    // A tree far beyond the limit is searched only so deep: the count is then a floor.
    for (int i = 0; i < 1010; ++i) dir.Write("huge/" + std::to_string(i) + ".avi", kAvi);
    const ExpandedNames cut = ExpandFolders({(dir / "huge").string()}, 1);
    EXPECT_EQ(cut.names.size(), 1u);
    EXPECT_EQ(cut.leftOut, 1003u);
    EXPECT_TRUE(cut.searchCut);
}

TEST(NameList, FoldersWithoutMediaLinksAndUnreadableFolders) {
    namespace fs = std::filesystem;
    const testing::ScratchDir dir;
    dir.Write("texts/a.txt", "text");
    dir.Write("texts/b.mp4", "not really");
    const std::string texts = (dir / "texts").string();
    const std::string empty = (dir / "empty").string();
    fs::create_directory(empty);
    const ExpandedNames none = ExpandFolders({texts, empty});
    EXPECT_TRUE(none.names.empty());
    EXPECT_EQ(none.withoutMedia, (Names{texts, empty}));
    EXPECT_EQ(none.skipped, 2u);
    EXPECT_EQ(ExpansionNotes(none), NoMediaFilesText(texts) + "\n" + NoMediaFilesText(empty) +
                                        "\n2 файл(ов) пропущено: не медиафайлы");

    // Links are followed, a loop once; a link to a file is a file.
    const std::string song = dir.Write("tree/song", kFlac);
    fs::create_directory_symlink(dir / "tree", dir / "tree" / "again");
    fs::create_symlink(song, dir / "tree" / "linked.flac");
    const ExpandedNames linked = ExpandFolders({(dir / "tree").string()});
    EXPECT_EQ(linked.names, (Names{(dir / "tree/linked.flac").string(), song}));

    // An unreadable folder is named and passed over (unless the tests run as root).
    const std::string closed = (dir / "tree" / "closed").string();
    dir.Write("tree/closed/hidden.avi", kAvi);
    fs::permissions(closed, fs::perms::none);
    const bool enforced = ::access(closed.c_str(), R_OK) != 0;
    const ExpandedNames partly = ExpandFolders({(dir / "tree").string()});
    fs::permissions(closed, fs::perms::owner_all);
    if (enforced) {
        EXPECT_EQ(partly.names, linked.names);
        ASSERT_EQ(partly.unreadable.size(), 1u);
        EXPECT_TRUE(partly.unreadable[0].starts_with(closed + ": ")) << partly.unreadable[0];
    }
}

TEST(NameList, MediaFilesByContent) {
    const testing::ScratchDir dir;
    EXPECT_TRUE(IsMediaFile(dir.Write("a", kAvi)));
    EXPECT_TRUE(IsMediaFile(dir.Write("b", kCaf)));
    EXPECT_FALSE(IsMediaFile(dir.Write("c", kPng)));
    EXPECT_FALSE(IsMediaFile(dir.Write("d", "")));
    EXPECT_FALSE(IsMediaFile((dir / "missing").string()));
    // Content without a signature: an MPEG program stream pack and elementary MP3 frames.
    for (const char* sample : {"mpeg2_ps.mpg", "mpeg/mp3_cbr128.mp3", "ts_mpeg2.ts", "dv_pal.dv", "named/rifx_pcm16.wav"})
        EXPECT_TRUE(IsMediaFile(std::string(TORVO_TEST_DATA_DIR) + "/" + sample)) << sample;
    EXPECT_FALSE(IsMediaFile(std::string(TORVO_TEST_DATA_DIR) + "/make.sh"));
}

}  // namespace
}  // namespace torvo
