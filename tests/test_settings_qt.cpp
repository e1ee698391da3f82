// The QSettings store: what one process saves the next one reads, and
// clearing removes the file for good in that run.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>

#include <QSettings>

#include "QtSettingsStore.h"
#include "ScratchDir.h"
#include "settings/DesktopIntegration.h"
#include "settings/Prefs.h"

namespace torvo {
namespace {

using testing::ScratchDir;
namespace fs = std::filesystem;

class QtSettings : public ::testing::Test {
protected:
    // Runs the helper with this test's home; returns its exit status and output.
    int RunHelper(const std::string& command, std::string* output = nullptr) const {
        const std::string line = "HOME='" + home_.path().string() + "' XDG_CONFIG_HOME='" + configHome().string() +
                                 "' " + TORVO_SETTINGS_HELPER + " " + command;
        FILE* pipe = ::popen(line.c_str(), "r");
        if (!pipe) return -1;
        std::array<char, 1024> chunk{};
        size_t n = 0;
        while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
            if (output) output->append(chunk.data(), n);
        }
        const int raw = ::pclose(pipe);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    fs::path configHome() const { return home_ / "config"; }
    fs::path settingsFile() const { return configHome() / "Quellmark/Torvo.conf"; }

    ScratchDir home_;
};

TEST_F(QtSettings, WithNoFileTheDefaultsAreRead) {
    std::string out;
    ASSERT_EQ(RunHelper("load", &out), 0);
    EXPECT_EQ(out, "1 1 0 1 0 0\n\n\n/opt/torvo/ExportFormat.txt\n-1\n");
    EXPECT_FALSE(fs::exists(settingsFile()));  // reading writes nothing
}

TEST_F(QtSettings, WhatOneProcessSavesTheNextReads) {
    ASSERT_EQ(RunHelper("save"), 0);
    ASSERT_TRUE(fs::exists(settingsFile()));
    std::string out;
    ASSERT_EQ(RunHelper("load", &out), 0);
    EXPECT_EQ(out,
              "0 3 1 1 159760 537330210\n/tmp/экспорт, с запятой\n/media/фильм.avi\n/opt/torvo/ExportFormat.txt\n810\n");
    EXPECT_NE(testing::ReadWholeFile(settingsFile()).find("ScanEntireFile=0"), std::string::npos);
}

TEST_F(QtSettings, AfterClearingNothingIsWrittenAgainInThatRun) {
    ASSERT_EQ(RunHelper("save"), 0);
    ASSERT_EQ(RunHelper("clear-then-save"), 0);
    EXPECT_FALSE(fs::exists(settingsFile()));
    EXPECT_FALSE(fs::exists(configHome() / "Quellmark"));
    EXPECT_TRUE(fs::exists(configHome()));
    // The next run starts from the defaults and may store again.
    std::string out;
    ASSERT_EQ(RunHelper("load", &out), 0);
    EXPECT_TRUE(out.starts_with("1 1 0 1 0 0\n")) << out;
}

TEST_F(QtSettings, TheFileIsWhereQtKeepsTheUserSettingsOfQuellmarkTorvo) {
    // Qt fixes its per-user folder at first use, so the variable is set before any QSettings exists.
    // On Linux the native format is the INI file named ".conf".
    const testing::ScopedEnv config("XDG_CONFIG_HOME", configHome().c_str());
    const QSettings qt(QSettings::NativeFormat, QSettings::UserScope, "Quellmark", "Torvo");
    EXPECT_EQ(qt.fileName().toStdString(), UserDirs::FromEnvironment().SettingsFile().string());
    EXPECT_EQ(OpenUserSettingsStore()->ReadInt(kPrefsSection, "ExportMode"), std::nullopt);
}

TEST_F(QtSettings, ReadsAfterClearingInTheSameProcessSeeNothing) {
    CQtSettingsStore store(settingsFile(), configHome());
    ASSERT_TRUE(store.WriteInt(kPrefsSection, "ExportMode", 2));
    ASSERT_TRUE(store.WriteText(kPrefsSection, "WindowPlacement", "1,2,3,4,5,6"));
    EXPECT_EQ(store.ReadText(kPrefsSection, "WindowPlacement"), "1,2,3,4,5,6");
    EXPECT_EQ(store.ReadInt(kPrefsSection, "ExportMode"), 2);
    ASSERT_TRUE(store.Clear());
    EXPECT_FALSE(store.ReadInt(kPrefsSection, "ExportMode").has_value());
    EXPECT_FALSE(fs::exists(settingsFile()));
}

}  // namespace
}  // namespace torvo
