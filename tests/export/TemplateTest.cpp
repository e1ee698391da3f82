#include "export/Template.h"

#include <gtest/gtest.h>

namespace torvo {
namespace {

class Substitution : public ::testing::Test {
protected:
    void SetUp() override {
        fields.SetField("FILE_NAME", 0, "memento.avi");
        fields.SetField("VIDEO_CODEC_NAME", 0, "XviD MPEG-4");
    }
    std::string Run(std::string_view tpl) { return SubstituteTemplate(tpl, fields); }
    CExport fields;
};

TEST_F(Substitution, KeysAndEscapes) {
    EXPECT_EQ(Run("%FILE_NAME%\\t%VIDEO_CODEC_NAME%\\r\\n\r\n"), "memento.avi\tXviD MPEG-4\r\n");
    EXPECT_EQ(Run("%file_name%|%AUDIO_CODEC%|"), "memento.avi||");  // unset fields are empty
    EXPECT_EQ(Run("a\\\\b\\%c\\q"), "a\\b%cq");
    EXPECT_EQ(Run("line\nbreaks\r\nvanish"), "linebreaksvanish");
    EXPECT_EQ(Run("ends with \\"), "ends with ");
}

TEST_F(Substitution, UnknownKeysAndStrayPercentSigns) {
    EXPECT_EQ(Run("%NO_SUCH_KEY% x"), "***ОШИБКА** x");
    EXPECT_EQ(Run("12345%word"), "12345***ОШИБКА**");
    // A stray '%' swallows the text up to the next one.
    EXPECT_EQ(Run("50% off %FILE_NAME%"), "50***ОШИБКА**FILE_NAME***ОШИБКА**");
}

TEST_F(Substitution, OutputIsCappedAtTheBufferWithoutSplittingCharacters) {
    std::string cyr;
    for (int i = 0; i < 200; ++i) cyr += "ж";
    fields.SetField("CONT_SUBTYPE", 0, cyr);  // 255 characters kept: 510 bytes
    std::string tpl;
    for (int i = 0; i < 300; ++i) tpl += "%CONT_SUBTYPE%";
    const std::string out = Run(tpl);
    EXPECT_LE(out.size(), kExportBufferBytes - 1);
    EXPECT_GT(out.size(), kExportBufferBytes - 3);
    EXPECT_EQ(out.size() % 2, 0u);  // whole two-byte letters only
}

TEST(TemplateFile, CommentsAndTheLastByte) {
    EXPECT_EQ(TemplateFromFileBytes("# comment\nName: %FILE_NAME%\\r\\n\n"), "Name: %FILE_NAME%\\r\\n");
    EXPECT_EQ(TemplateFromFileBytes("a # not a comment\n#x\n"), "a # not a comment");
    EXPECT_EQ(TemplateFromFileBytes("abc\n#"), "abc");  // the '#' line is dropped
    EXPECT_EQ(TemplateFromFileBytes("abc#"), "ab");     // a last '#' takes the byte before it along
    EXPECT_EQ(TemplateFromFileBytes("x"), std::nullopt);
    EXPECT_EQ(TemplateFromFileBytes("#only a comment\n"), std::nullopt);
    EXPECT_EQ(TemplateFromFileBytes("x#"), std::nullopt);
}

TEST(TemplateFile, TargetNames) {
    EXPECT_EQ(ExportTargetName(1, "/movies/memento.avi", "", ""), "/movies/memento.txt");
    EXPECT_EQ(ExportTargetName(1, "clip.tar.gz", "", ""), "clip.tar.txt");
    EXPECT_EQ(ExportTargetName(1, "/m/noext", "", ""), "/m/noext.txt");
    EXPECT_EQ(ExportTargetName(2, "/movies/memento.avi", "/out", ""), "/out/memento.txt");
    EXPECT_EQ(ExportTargetName(2, "/movies/memento.avi", "/out/", ""), "/out/memento.txt");
    EXPECT_EQ(ExportTargetName(2, "/movies/memento.avi", "", ""), "memento.txt");
    EXPECT_EQ(ExportTargetName(3, "/movies/memento.avi", "/out", "/all.txt"), "/all.txt");
    EXPECT_EQ(ExportTargetName(4, "/movies/memento.avi", "", ""), "");
}

}  // namespace
}  // namespace torvo
