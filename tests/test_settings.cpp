// The preferences: defaults, loading, what a save writes and when it writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "settings/Prefs.h"

namespace torvo {
namespace {

constexpr const char* kProgramDir = "/opt/torvo/bin/";

class PrefsTest : public ::testing::Test {
protected:
    CMemorySettingsStore store_;
    CPrefs prefs_{store_, kProgramDir};
};

void ExpectDefaults(const CPrefs& p) {
    EXPECT_EQ(p.scanEntireFile, 1);
    EXPECT_EQ(p.useCodecInfo, 1);
    EXPECT_EQ(p.preloadCodecInfo, 1);
    EXPECT_EQ(p.expertMode, 1);
    EXPECT_EQ(p.allowOpenWith, 1);
    EXPECT_EQ(p.saveWindowSize, 1);
    EXPECT_EQ(p.staticLogo, 0);
    EXPECT_EQ(p.monochromeBackground, 0);
    EXPECT_EQ(p.exportEnabled, 0);
    EXPECT_EQ(p.exportOverwriteOk, 0);
    EXPECT_EQ(p.exportMode, 1);
    EXPECT_EQ(p.exportFormatSrc, 0);
    EXPECT_EQ(p.exportFile, "");
    EXPECT_EQ(p.exportPath, "");
    EXPECT_EQ(p.exportNameOfFileForFormat, "/opt/torvo/bin/ExportFormat.txt");
    EXPECT_EQ(p.lastMediaFile, "");
    EXPECT_EQ(p.exportEncoding, "utf-8");
    EXPECT_EQ(p.appVersion, 0);
    EXPECT_EQ(p.appBuild, 0);
}

TEST_F(PrefsTest, NothingStoredLoadsExactlyTheDefaults) {
    prefs_.scanEntireFile = 0;
    prefs_.exportPath = "stale";
    prefs_.Load();
    ExpectDefaults(prefs_);
    EXPECT_EQ(store_.WriteCount(), 0u);
}

// Every stored value, so that a round trip can be compared at once.
auto Stored(const CPrefs& p) {
    return std::make_tuple(p.scanEntireFile, p.useCodecInfo, p.preloadCodecInfo, p.expertMode, p.allowOpenWith,
                           p.saveWindowSize, p.staticLogo, p.monochromeBackground, p.exportEnabled,
                           p.exportOverwriteOk, p.exportMode, p.exportFormatSrc, p.exportFile, p.exportPath,
                           p.exportNameOfFileForFormat, p.lastMediaFile, p.exportEncoding);
}

TEST_F(PrefsTest, SaveThenLoadKeepsEveryValue) {
    std::apply([](auto&... value) { ((value = {}), ...); }, std::tie(prefs_.scanEntireFile, prefs_.useCodecInfo,
        prefs_.preloadCodecInfo, prefs_.expertMode, prefs_.allowOpenWith, prefs_.saveWindowSize));
    prefs_.staticLogo = prefs_.monochromeBackground = prefs_.exportEnabled = prefs_.exportOverwriteOk = 1;
    prefs_.exportMode = 3;
    prefs_.exportFormatSrc = 2;
    prefs_.exportFile = "/tmp/все.txt";
    prefs_.exportPath = "/tmp/экспорт/";
    prefs_.exportNameOfFileForFormat = "/home/u/формат.txt";
    prefs_.lastMediaFile = "/media/фильм.avi";
    prefs_.exportEncoding = kExportEncodingCp1251;
    ASSERT_TRUE(prefs_.Save(true));

    CPrefs next(store_, kProgramDir);
    next.Load();
    EXPECT_EQ(Stored(next), Stored(prefs_));  // PreloadCodecInfo stays 0: a version was stored
    EXPECT_EQ(next.appVersion, 159760);
    EXPECT_EQ(next.appBuild, 537330210);
}

TEST_F(PrefsTest, ExportEnabledIsWrittenOnlyWhenAsked) {
    prefs_.exportEnabled = 1;
    ASSERT_TRUE(prefs_.Save(false));
    EXPECT_FALSE(store_.Contains(kPrefsSection, "ExportEnabled"));
    EXPECT_TRUE(store_.Contains(kPrefsSection, "ExportMode"));
    EXPECT_FALSE(store_.Contains(kPrefsSection, "WindowPlacement"));
    EXPECT_EQ(store_.ReadInt(kPrefsSection, "AppVersion"), 0x27010);
    EXPECT_EQ(store_.ReadInt(kPrefsSection, "AppBuild"), 0x20070222);
    ASSERT_TRUE(prefs_.Save(true));
    EXPECT_EQ(store_.ReadInt(kPrefsSection, "ExportEnabled"), 1);
}

TEST_F(PrefsTest, PreloadIsForcedOnWhenNoVersionWasStored) {
    store_.WriteInt(kPrefsSection, "PreloadCodecInfo", 0);
    prefs_.Load();
    EXPECT_EQ(prefs_.preloadCodecInfo, 1);
    store_.WriteInt(kPrefsSection, "AppVersion", 0);
    prefs_.Load();
    EXPECT_EQ(prefs_.preloadCodecInfo, 1);
    store_.WriteInt(kPrefsSection, "AppVersion", 0x27010);
    prefs_.Load();
    EXPECT_EQ(prefs_.preloadCodecInfo, 0);
}

TEST_F(PrefsTest, AfterClearingNothingIsWrittenInThisRun) {
    ASSERT_TRUE(prefs_.Save(true));
    ASSERT_TRUE(prefs_.Clear());
    EXPECT_TRUE(prefs_.Cleared());
    EXPECT_TRUE(store_.Empty());
    const size_t writes = store_.WriteCount();
    prefs_.scanEntireFile = 0;
    EXPECT_TRUE(prefs_.Save(true));
    EXPECT_TRUE(prefs_.SaveWindowPlacement({1, 2, 3, 4, 1, 0}));
    EXPECT_EQ(store_.WriteCount(), writes);
    EXPECT_TRUE(store_.Empty());
    prefs_.Load();
    ExpectDefaults(prefs_);
}

TEST_F(PrefsTest, FailedWritesMakeSaveFail) {
    store_.FailWrites(true);
    EXPECT_FALSE(prefs_.Save(false));
}

TEST_F(PrefsTest, TextsKeepAtMost259Characters) {
    std::string longPath = "/";
    for (int i = 0; i < 300; ++i) longPath += "ж";
    store_.WriteText(kPrefsSection, "ExportPath", longPath);
    prefs_.Load();
    EXPECT_EQ(prefs_.exportPath, longPath.substr(0, 1 + 258 * 2));
    prefs_.lastMediaFile = longPath;
    prefs_.Save(false);
    EXPECT_EQ(store_.ReadText(kPrefsSection, "LastMediaFile")->size(), 1u + 258 * 2);
}

TEST_F(PrefsTest, WindowPlacement) {
    const WindowPlacement placement{10, 20, 810, 620, 1, 0};
    ASSERT_TRUE(prefs_.SaveWindowPlacement(placement));
    EXPECT_EQ(store_.ReadText(kPrefsSection, "WindowPlacement"), "10,20,810,620,1,0");
    EXPECT_EQ(prefs_.LoadWindowPlacement(), placement);

    for (const char* bad : {"10,20,810,620,1", "10,20,810,620,1,0,5", "10,20,x,620,1,0", "", "99999999999,0,0,0,0,0"}) {
        store_.WriteText(kPrefsSection, "WindowPlacement", bad);
        EXPECT_FALSE(prefs_.LoadWindowPlacement().has_value()) << bad;
    }
    store_.WriteText(kPrefsSection, "WindowPlacement", "-5,-5,100,100,3,2");
    EXPECT_EQ(prefs_.LoadWindowPlacement(), (WindowPlacement{-5, -5, 100, 100, 3, 2}));

    // Not kept while the preference is off.
    prefs_.saveWindowSize = 0;
    EXPECT_FALSE(prefs_.LoadWindowPlacement().has_value());
    const size_t writes = store_.WriteCount();
    prefs_.SaveWindowPlacement(placement);
    EXPECT_EQ(store_.WriteCount(), writes);
}

// The default own template is the example shipped beside the codec database
// while nothing beside the program and no stored choice names another one.
TEST_F(PrefsTest, DefaultOwnTemplateIsTheShippedExample) {
    const std::string shippedDir = TORVO_SOURCE_DATA_DIR;
    prefs_.Load();
    prefs_.UseShippedTemplate(shippedDir);
    EXPECT_EQ(prefs_.exportNameOfFileForFormat, shippedDir + "/ExportFormat.txt");
    EXPECT_TRUE(std::filesystem::exists(prefs_.exportNameOfFileForFormat));
    // A folder without the example, or the user's own choice: left alone.
    CPrefs other{store_, kProgramDir};
    other.Load();
    other.UseShippedTemplate("/nonexistent");
    EXPECT_EQ(other.exportNameOfFileForFormat, "/opt/torvo/bin/ExportFormat.txt");
    store_.WriteText(kPrefsSection, "ExportNameOfFileForFormat", "/home/u/mine.txt");
    other.Load();
    other.UseShippedTemplate(shippedDir);
    EXPECT_EQ(other.exportNameOfFileForFormat, "/home/u/mine.txt");
}

}  // namespace
}  // namespace torvo
