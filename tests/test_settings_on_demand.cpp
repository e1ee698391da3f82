// The settings store that loads Qt on demand: it reads and writes the very
// file CQtSettingsStore does, value for value, and loads its module only when
// there is something to read or write.
#include <gtest/gtest.h>

#include <variant>

#include "OnDemandSettingsStore.h"
#include "QtSettingsStore.h"
#include "ScratchDir.h"

namespace torvo {
namespace {

using testing::ScratchDir;
namespace fs = std::filesystem;

constexpr std::string_view kSection = "v2.6 Settings";

COnDemandSettingsStore OnDemand(const fs::path& file, const fs::path& stopAt) {
    return COnDemandSettingsStore(file, stopAt, {"/nonexistent/torvo-settings.so", TORVO_SETTINGS_MODULE});
}

TEST(OnDemandSettings, WithoutAFileNothingIsLoadedAndNothingWritten) {
    ScratchDir home;
    const fs::path file = home / "Quellmark/Torvo.conf";
    COnDemandSettingsStore store = OnDemand(file, home.path());
    EXPECT_EQ(store.ReadInt(kSection, "UseCodecInfo"), std::nullopt);
    EXPECT_EQ(store.ReadText(kSection, "ExportPath"), std::nullopt);
    EXPECT_FALSE(store.ModuleLoaded());
    EXPECT_FALSE(fs::exists(file));
}

TEST(OnDemandSettings, ValuesCrossBetweenBothStoresUnchanged) {
    // Written by one store, read by the other, in both directions: the texts
    // that INI files escape or split (commas, quotes, backslashes, Cyrillic,
    // leading blanks) and a text that is not a number.
    using Value = std::variant<int32_t, std::string>;
    const std::vector<std::pair<std::string, Value>> values = {
        {"ScanEntireFile", int32_t{0}},          {"ExportMode", int32_t{-7}},
        {"ExportPath", std::string("/tmp/экспорт, с запятой")}, {"Quoted", std::string("say \"hi\"\\there")},
        {"Blank", std::string("  leading")},     {"NotANumber", std::string("12abc")}};
    for (const bool onDemandWrites : {true, false}) {
        SCOPED_TRACE(onDemandWrites ? "written on demand" : "written by QSettings directly");
        ScratchDir home;
        const fs::path file = home / "Quellmark/Torvo.conf";
        {
            COnDemandSettingsStore onDemand = OnDemand(file, home.path());
            CQtSettingsStore direct(file, home.path());
            ISettingsStore& writer = onDemandWrites ? static_cast<ISettingsStore&>(onDemand) : direct;
            for (const auto& [name, value] : values) {
                if (const auto* n = std::get_if<int32_t>(&value)) ASSERT_TRUE(writer.WriteInt(kSection, name, *n));
                else ASSERT_TRUE(writer.WriteText(kSection, name, std::get<std::string>(value)));
            }
        }
        COnDemandSettingsStore onDemand = OnDemand(file, home.path());
        CQtSettingsStore direct(file, home.path());
        ISettingsStore& reader = onDemandWrites ? static_cast<ISettingsStore&>(direct) : onDemand;
        for (const auto& [name, value] : values) {
            SCOPED_TRACE(name);
            if (const auto* n = std::get_if<int32_t>(&value)) {
                EXPECT_EQ(reader.ReadInt(kSection, name), *n);
            } else {
                EXPECT_EQ(reader.ReadText(kSection, name), std::get<std::string>(value));
                EXPECT_EQ(reader.ReadInt(kSection, name), std::nullopt);
            }
        }
        EXPECT_EQ(reader.ReadInt(kSection, "Absent"), std::nullopt);
        EXPECT_TRUE(onDemandWrites || onDemand.ModuleLoaded());
    }
}

TEST(OnDemandSettings, PlainFilesAreReadWithoutQtAndAsQtReadsThem) {
    // Each file is read by QSettings and by the on-demand store, key by key;
    // the store must give the same answers, and load its module only for
    // files that are not in the plain form.
    const std::string header = "[v2.6%20Settings]\n";
    struct Case {
        std::string text;
        bool withoutQt;
    };
    const std::vector<Case> cases = {
        {header + "ExportMode=2\nExportPath=/tmp/\xd1\x8d\xd0\xba\xd1\x81\nExportFile=\nWindowPlacement=\"10,20,800,600,1,0\"\n"
                  "LastMediaFile=\" a; b=c \"\nEmpty=\"\"\nNegative=-7\n[Other]\nExportMode=3",
         true},
        // Plain, but numbers in any other form than the canonical one are QSettings' to read.
        {header + "ExportMode=007\nNegative=+5\nNotANumber=12abc\n", false},
        {header + "ExportMode=1\nExportMode=2\n", false},
        {header + "ExportMode = 1\n", false},
        {header + ";comment\nExportMode=1\n", false},
        {header + "ExportMode=1\r\nExportPath=a\r\n", false},
        {header + "ExportPath=a,b\n", false},
        {header + "ExportPath=\"a\"b\n", false},
        {header + "ExportPath=say \\\"hi\\\"\n", false},
        {header + "ExportPath=@Invalid()\n", false},
        {header + "ExportPath=\xff\n", false},
        {"\xef\xbb\xbf" + header + "ExportMode=1\n", false},
        {"[v2.6 Settings]\nExportMode=1\n", false},
        {"[General]\nExportMode=1\n" + header + "ExportPath=a\n", false},
        {"ExportMode=1\n" + header, false},
    };
    const std::vector<std::string> names = {"ExportMode", "ExportPath", "ExportFile", "WindowPlacement", "LastMediaFile",
                                            "Empty",      "Negative",   "NotANumber", "Absent"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScratchDir home;
        const fs::path file = home.Write("Quellmark/Torvo.conf", c.text);
        CQtSettingsStore direct(file, home.path());
        COnDemandSettingsStore onDemand = OnDemand(file, home.path());
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            EXPECT_EQ(onDemand.ReadText(kSection, name), direct.ReadText(kSection, name));
            EXPECT_EQ(onDemand.ReadInt(kSection, name), direct.ReadInt(kSection, name));
            EXPECT_EQ(onDemand.ReadText("Other", name), direct.ReadText("Other", name));
        }
        EXPECT_EQ(onDemand.ModuleLoaded(), !c.withoutQt);
    }
}

TEST(OnDemandSettings, WhatQSettingsWritesIsReadWithoutQtUntilAWrite) {
    ScratchDir home;
    const fs::path file = home / "Quellmark/Torvo.conf";
    {
        CQtSettingsStore direct(file, home.path());
        ASSERT_TRUE(direct.WriteInt(kSection, "ExportMode", 3));
        ASSERT_TRUE(direct.WriteText(kSection, "ExportPath", "/tmp/экспорт, с запятой"));
        ASSERT_TRUE(direct.WriteText(kSection, "WindowPlacement", "1,2,3,4,5,6"));
    }
    COnDemandSettingsStore store = OnDemand(file, home.path());
    EXPECT_EQ(store.ReadInt(kSection, "ExportMode"), 3);
    EXPECT_EQ(store.ReadText(kSection, "ExportPath"), "/tmp/экспорт, с запятой");
    EXPECT_EQ(store.ReadText(kSection, "WindowPlacement"), "1,2,3,4,5,6");
    EXPECT_FALSE(store.ModuleLoaded());
    // After a write QSettings holds the values, the new one included.
    ASSERT_TRUE(store.WriteInt(kSection, "ExportMode", 4));
    EXPECT_EQ(store.ReadInt(kSection, "ExportMode"), 4);
    EXPECT_EQ(store.ReadText(kSection, "ExportPath"), "/tmp/экспорт, с запятой");
}

TEST(OnDemandSettings, ClearRemovesTheFileAndItsEmptyFolders) {
    ScratchDir home;
    const fs::path file = home / "Quellmark/Torvo.conf";
    COnDemandSettingsStore store = OnDemand(file, home.path());
    ASSERT_TRUE(store.WriteInt(kSection, "ExportMode", 2));
    ASSERT_TRUE(fs::exists(file));
    EXPECT_TRUE(store.Clear());
    EXPECT_FALSE(fs::exists(home / "Quellmark"));
    EXPECT_EQ(store.ReadInt(kSection, "ExportMode"), std::nullopt);
}

TEST(OnDemandSettings, AMissingModuleFailsWritesAndSaysWhy) {
    ScratchDir home;
    COnDemandSettingsStore store(home / "Quellmark/Torvo.conf", home.path(), {"/nonexistent/torvo-settings.so"});
    EXPECT_FALSE(store.WriteInt(kSection, "ExportMode", 2));
    EXPECT_FALSE(store.ModuleLoaded());
    EXPECT_NE(store.LoadError().find("/nonexistent/torvo-settings.so"), std::string::npos);
}

}  // namespace
}  // namespace torvo
