// Export of real analysed samples through each mode, and every failure that
// switches export off.
#include "export/ExportWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "TestUtil.h"
#include "codecdb/TextEncoding.h"

namespace torvo {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

class Export : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(testing::TempDir()) / ("torvo-export-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        settings.enabled = true;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Analyses a sample and exports its fields.
    ExportOutcome Run(const std::string& sample, const std::string& mediaPath = "") {
        const std::string path = mediaPath.empty() ? test::SamplePath(sample) : mediaPath;
        Display display;
        CAnalysisDriver driver(display);
        EXPECT_TRUE(driver.AnalyseFile(path));
        CExportWriter writer(settings, [this] { ++saves; });
        return writer.ExportFile(display.Fields(), path);
    }

    fs::path dir;
    ExportSettings settings;
    int saves = 0;
};

TEST_F(Export, AppendedTableStartsWithItsColumnNames) {
    settings.mode = 3;
    settings.formatSrc = 0;
    settings.file = (dir / "all.txt").string();
    ASSERT_TRUE(Run("wave_pcm.wav").ok);
    ASSERT_TRUE(Run("image.png").ok);
    const std::string text = ReadText(settings.file);
    CExport fields;
    ASSERT_EQ(text.rfind(fields.NameHeader(), 0), 0u);
    const std::string records = text.substr(fields.NameHeader().size());
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 2);
    EXPECT_EQ(records.rfind("wave_pcm.wav\t" + test::SamplePath("wave_pcm.wav") + "\t44,178\t1\tWAVE(.WAV)\t", 0), 0u);
    EXPECT_NE(records.find(".\r\nimage.png\t"), std::string::npos);
    EXPECT_EQ(saves, 0);
}

TEST_F(Export, UserTemplateGivesExactlyItsLine) {
    const fs::path tpl = dir / "format.txt";
    WriteText(tpl, "# one line per file\n%FILE_NAME%\\t%VIDEO_CODEC_NAME%\\r\\n\n");
    settings.formatSrc = 2;
    settings.templateName = tpl.string();
    settings.mode = 2;
    settings.path = dir.string();
    ASSERT_TRUE(Run("image.gif").ok);
    EXPECT_EQ(ReadText(dir / "image.txt"), "image.gif\t\r\n");

    WriteText(tpl, "%FILE_NAME% %NO_SUCH_FIELD% end\n");
    settings.templateLoaded = false;  // a changed template file is read again
    settings.overwriteOk = true;
    ASSERT_TRUE(Run("image.gif").ok);
    EXPECT_EQ(ReadText(dir / "image.txt"), "image.gif ***ОШИБКА** end");
}

TEST_F(Export, PerFileExportNeverReplacesWithoutPermission) {
    const fs::path media = dir / "clip.avi";
    fs::copy_file(test::SamplePath("avi_mpeg4.avi"), media);
    WriteText(dir / "clip.txt", "keep me");
    settings.mode = 1;
    settings.formatSrc = 1;
    const ExportOutcome outcome = Run("avi_mpeg4.avi", media.string());
    ASSERT_FALSE(outcome.ok);
    ASSERT_EQ(outcome.messages.size(), 2u);
    EXPECT_EQ(outcome.messages[0].caption, "Нет экспорта");
    EXPECT_EQ(outcome.messages[0].text.rfind("Ошибка при экспорте в файл   " + (dir / "clip.txt").string() + ":\n\n", 0), 0u);
    EXPECT_EQ(outcome.messages[1].caption, "FYI");
    EXPECT_FALSE(settings.enabled);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(ReadText(dir / "clip.txt"), "keep me");

    // With permission the NFO listing replaces it.
    settings.enabled = settings.overwriteOk = true;
    ASSERT_TRUE(Run("avi_mpeg4.avi", media.string()).ok);
    EXPECT_EQ(ReadText(dir / "clip.txt").rfind("FILE_NAME                      clip.avi\r\n", 0), 0u);
}

TEST_F(Export, TheMediaFileItselfIsNeverATarget) {
    const fs::path media = dir / "notes.txt";  // a text file analysed as media
    WriteText(media, "%PDF-1.4 pretend");
    settings.mode = 1;
    settings.overwriteOk = true;
    CExportWriter writer(settings, [this] { ++saves; });
    CExport fields;
    EXPECT_FALSE(writer.ExportFile(fields, media.string()).ok);
    EXPECT_EQ(ReadText(media), "%PDF-1.4 pretend");
}

TEST_F(Export, TemplateFilesThatCannotServe) {
    settings.formatSrc = 2;
    CExportWriter writer(settings, [this] { ++saves; });
    CExport fields;
    const struct {
        std::string content;  // empty: no file at all
        const char* caption;
        const char* start;
    } cases[] = {
        {"", "Загрузчик файла формата  ", "Не удалось открыть файл формата   "},
        {"\x01", "Загрузчик файла формата  ", "Файл формата пустой      "},  // written as empty below
        {std::string(102401, 'x'), "Нет экспорта", "Файл экспорта "},
        {"#only a comment\n", "Нет экспорта", "Ошибка чтения файла формата  "},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path tpl = dir / ("t" + std::to_string(n++) + ".txt");
        if (!c.content.empty()) WriteText(tpl, c.content == "\x01" ? "" : c.content);
        settings.templateName = tpl.string();
        settings.enabled = true;
        const ExportOutcome outcome = writer.ExportFile(fields, (dir / "m.avi").string());
        ASSERT_FALSE(outcome.ok) << c.start;
        EXPECT_EQ(outcome.messages[0].caption, c.caption);
        EXPECT_EQ(outcome.messages[0].text.rfind(c.start, 0), 0u) << outcome.messages[0].text;
        EXPECT_NE(outcome.messages[0].text.find("Экспорт пришлось отключить          \n\n"), std::string::npos);
        EXPECT_FALSE(settings.enabled);
    }
    EXPECT_EQ(saves, 4);
    settings.templateName = (dir / "t2.txt").string();
    settings.enabled = true;
    EXPECT_NE(writer.LoadTemplate().messages[0].text.find("слишком велик  (> 100KБ)"), std::string::npos);
}

TEST_F(Export, Windows1251OutputForOldConsumers) {
    settings.mode = 3;
    settings.formatSrc = 0;
    settings.windows1251 = true;
    settings.file = (dir / "cp1251.txt").string();
    ASSERT_TRUE(Run("archive.zip").ok);
    const std::string bytes = ReadText(settings.file);
    EXPECT_NE(bytes.find("\xC0\xF0\xF5\xE8\xE2 ZIP(.ZIP)"), std::string::npos);  // "Архив ZIP(.ZIP)"
    EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251("Архив ёЁ №")), "Архив ёЁ №");
    EXPECT_EQ(Utf8ToCp1251("日本"), "??");
}

TEST_F(Export, SwitchedOffExportDoesNothing) {
    settings.enabled = false;
    settings.mode = 3;
    settings.file = (dir / "none.txt").string();
    EXPECT_TRUE(Run("image.jpg").ok);
    EXPECT_FALSE(fs::exists(settings.file));
}

}  // namespace
}  // namespace torvo
