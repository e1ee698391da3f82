#include "analysis/ReportFields.h"

#include <gtest/gtest.h>

#include <set>

namespace torvo {
namespace {

TEST(ReportFields, KeyListHasEightyDistinctKeys) {
    const auto keys = CExport::Keys();
    ASSERT_EQ(keys.size(), 80u);
    EXPECT_EQ(std::set<std::string_view>(keys.begin(), keys.end()).size(), 80u);
    EXPECT_EQ(keys[0], "%FILE_NAME%");
    EXPECT_EQ(keys[51], "%VIDEO_SIZE_Y%");
    EXPECT_EQ(keys[52], "%AUDIO_BITRATE%");
    EXPECT_EQ(keys[59], "%AUDIO_SAMPLE_RATE%");
    EXPECT_EQ(keys[60], "%AUDIO_BITRATE_2%");
    EXPECT_EQ(keys[75], "%AUDIO_SAMPLE_RATE_3%");
    EXPECT_EQ(keys[76], "%CONT_DURATION%");
    EXPECT_EQ(keys[79], "%AUDIO_DURATION_3%");
}

TEST(ReportFields, LookupComparesOverTheKeysOwnLength) {
    EXPECT_EQ(CExport::Lookup("%file_size% and more text"), 2u);
    EXPECT_EQ(CExport::Lookup("%FILE_NAME_WITH_PATH%"), 1u);
    EXPECT_EQ(CExport::Lookup("%FILE_NAME%\\r\\n"), 0u);
    EXPECT_EQ(CExport::Lookup("%AUDIO_CODEC_2%"), 63u);
    EXPECT_FALSE(CExport::Lookup("%FILE_NAM"));
    EXPECT_FALSE(CExport::Lookup("FILE_NAME%"));
    EXPECT_FALSE(CExport::Lookup(""));
}

TEST(ReportFields, SetFieldBuildsTheKeyFromNameAndStreamIndex) {
    CExport e;
    EXPECT_EQ(e.SetField("FILE_NAME", 0, "a.avi"), 5u);
    EXPECT_EQ(e.Field("FILE_NAME"), "a.avi");
    EXPECT_EQ(e.Field("FILE_NAME_WITH_PATH"), "");

    EXPECT_EQ(e.SetField("AUDIO_CODEC", 1, "MP3"), 3u);
    EXPECT_EQ(e.Field("AUDIO_CODEC", 1), "MP3");
    EXPECT_EQ(e.Field("AUDIO_CODEC", 0), "");
    EXPECT_EQ(e.SetField("AUDIO_CODEC", 2, "AC3"), 3u);
    EXPECT_EQ(e.Value(63), "MP3");  // %AUDIO_CODEC_2%
    EXPECT_EQ(e.Value(71), "AC3");      // %AUDIO_CODEC_3%

    EXPECT_EQ(e.SetField("AUDIO_CODEC", 3, "x"), 0u);
    EXPECT_EQ(e.SetField("AUDIO_CODEC", -1, "x"), 0u);
    EXPECT_EQ(e.SetField("DISPLAY_SIZE_X", 0, "x"), 0u);
    EXPECT_EQ(e.SetField("FILE_NAME%junk", 0, "x"), 0u);  // not a whole key
    EXPECT_EQ(e.SetField("VIDEO_SIZE_X", 1, "x"), 0u);    // no second instance
    EXPECT_EQ(e.SetField("AUDIO_CODE", 0, "x"), 0u);      // a key's prefix
    EXPECT_EQ(e.SetField("AUDIO_CODEC_", 1, "x"), 0u);    // a suffix of its own before the stream's
    // Names compare in any case, and a name may carry its stream suffix itself.
    EXPECT_EQ(e.SetField("file_size", 0, "1 KB"), 4u);
    EXPECT_EQ(e.Value(2), "1 KB");
    EXPECT_EQ(e.SetField("audio_codec_2", 0, "MP2"), 3u);
    EXPECT_EQ(e.Value(63), "MP2");
    EXPECT_EQ(e.Field("Audio_Codec", 1), "MP2");
    EXPECT_EQ(e.Field("FILE_NAME"), "a.avi");

    // The last store wins; clearing empties every slot.
    e.FormatField("FILE_NAME", 0, "%s-%03d", "b", 7);
    EXPECT_EQ(e.Field("FILE_NAME"), "b-007");
    e.ClearFields();
    for (size_t i = 0; i < CExport::kKeyCount; ++i) EXPECT_EQ(e.Value(i), "");
}

TEST(ReportFields, ValuesAreCutTo255CharactersWithoutSplittingOne) {
    CExport e;
    EXPECT_EQ(e.SetField("CONT_SUBTYPE", 0, std::string(300, 'x')), 255u);
    EXPECT_EQ(e.Field("CONT_SUBTYPE"), std::string(255, 'x'));
    // Cyrillic letters are two bytes in UTF-8 but one character each.
    std::string cyrillic;
    for (int i = 0; i < 300; ++i) cyrillic += "ж";
    EXPECT_EQ(e.SetField("CONT_SUBTYPE", 0, cyrillic), 255u);
    EXPECT_EQ(e.Field("CONT_SUBTYPE").size(), 510u);
    EXPECT_EQ(e.FormatField("CONT_SUBTYPE", 0, "%0300d", 5), 255u);
}

TEST(ReportFields, GeneratedTextsCoverTheSingleInstanceKeys) {
    CExport e;
    const std::string& key = e.KeyHeader();
    EXPECT_EQ(key.rfind("%FILE_NAME%\t%FILE_NAME_WITH_PATH%\t", 0), 0u);
    EXPECT_TRUE(key.ends_with("%AUDIO_SAMPLE_RATE%\t.\\r\\n"));
    EXPECT_EQ(key.find("_2%"), std::string::npos);

    const std::string& names = e.NameHeader();
    EXPECT_EQ(names.rfind("FILE_NAME\tFILE_NAME_WITH_PATH\tFILE_SIZE\t", 0), 0u);
    EXPECT_TRUE(names.ends_with("AUDIO_SAMPLE_RATE\tEndOfRec\r\n"));
    EXPECT_EQ(std::count(names.begin(), names.end(), '\t'), 60);

    const std::string& tpl = e.DefaultTemplate();
    // Names are padded to 31 columns; longer names get no padding.
    EXPECT_EQ(tpl.rfind("FILE_NAME                      %FILE_NAME%\\r\\n", 0), 0u);
    EXPECT_NE(tpl.find("VIDEO_ASPECT_CONVERT_SVCD1     %VIDEO_ASPECT_CONVERT_SVCD1%\\r\\n"), std::string::npos);
    EXPECT_TRUE(tpl.ends_with("AUDIO_SAMPLE_RATE              %AUDIO_SAMPLE_RATE%\\r\\n\\r\\n"));
}

}  // namespace
}  // namespace torvo
