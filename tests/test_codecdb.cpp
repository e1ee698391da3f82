// The codec database loader and its lookups, on small files built here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "ScratchDir.h"
#include "codecdb/ReadDatabase.h"
#include "codecdb/TextEncoding.h"

namespace torvo {
namespace {

using testing::ScratchDir;

constexpr const char* kCrLf = "\r\n";

// A database with every section; bodies replace the given sections' record lines.
std::string MakeDatabase(const std::map<std::string, std::string>& bodies = {}) {
    std::string text = "# test database\r\n";
    for (const DbSectionInfo& section : kDbSections) {
        text += std::string(section.header) + kCrLf;
        const auto it = bodies.find(section.header);
        if (it != bodies.end()) text += it->second;
    }
    return text + kCrLf;
}

std::string Record(const std::string& f1, const std::string& f2, const std::string& f3, const std::string& f4 = "") {
    return f1 + "\t" + f2 + "\t" + f3 + "\t" + f4 + kCrLf;
}

class DatabaseFile : public ::testing::Test {
protected:
    // Loads text as the only candidate file; returns whether it loaded.
    bool LoadText(const std::string& text) {
        path_ = dir_.Write("Torvo27.dat", text);
        return db_.Load(path_, {});
    }
    std::string Message() const { return db_.LastMessage().caption + ": " + db_.LastMessage().text; }

    ScratchDir dir_;
    std::string path_;
    CReadDatabase db_;
};

TEST_F(DatabaseFile, SectionHeadersAreFoundAtLineStartIgnoringCase) {
    std::string text = MakeDatabase({{"[video codecs]", Record("XVID", "XviD", "XviD team")}});
    text.replace(text.find("[video codecs]"), 14, "[VIDEO Codecs] trailing words");
    ASSERT_TRUE(LoadText(text)) << Message();
    EXPECT_EQ(db_.Table(DbSection::kVideoCodecs)[1].Field(2), "XviD");

    text = MakeDatabase();
    text.replace(text.find("[ftyps]"), 7, " [ftyps]");
    EXPECT_FALSE(LoadText(text));
    EXPECT_EQ(Message(), "Данные!!!: Файл torvo.dat неверен.\r\nНе могу найти раздел   [ftyps]");
}

TEST_F(DatabaseFile, EntryZeroIsUnknownAndRecordsFollowInFileOrder) {
    ASSERT_TRUE(LoadText(MakeDatabase({{"[ftyps]", Record("isom", "ISO", "") + Record("mp42", "MP4 v2", "")}})));
    const auto table = db_.Table(DbSection::kFtyps);
    ASSERT_EQ(table.size(), 100u);
    for (int field = 1; field <= 4; ++field) EXPECT_EQ(table[0].Field(field), "<не знаю>");
    EXPECT_EQ(table[1].Field(1), "isom");
    EXPECT_EQ(table[2].Field(2), "MP4 v2");
    EXPECT_FALSE(table[3].Filled());
    EXPECT_EQ(db_.Table(DbSection::kVideoCodecs).size(), 850u);
    EXPECT_EQ(db_.Table(DbSection::kUserDataMapping).size(), 200u);
}

TEST_F(DatabaseFile, FieldCountsAndMalformedRecords) {
    // Three fields each followed by a tab: an empty fourth field.
    ASSERT_TRUE(LoadText(MakeDatabase({{"[guids]", "a\tb\tc\t\r\n"}})));
    EXPECT_EQ(db_.Table(DbSection::kGuids)[1].Field(3), "c");
    EXPECT_EQ(db_.Table(DbSection::kGuids)[1].Field(4), "");
    // Without its last tab the line fails after two fields; line numbers are 1-based.
    EXPECT_FALSE(LoadText(MakeDatabase({{"[guids]", "a\tb\tc\r\n"}})));
    EXPECT_EQ(db_.ErrorText(), "Ошибка чтения раздела [guids] базы: строка 6, поле 2 ");
    // A fifth field.
    EXPECT_FALSE(LoadText(MakeDatabase({{"[ftyps]", Record("isom", "x", "y", "z\textra")}})));
    EXPECT_EQ(db_.ErrorText(), "Ошибка чтения раздела [ftyps] базы: строка 7, поле 3 ");
    // Empty fields in the middle are fine.
    ASSERT_TRUE(LoadText(MakeDatabase({{"[ftyps]", "isom\t\t\t\r\n"}})));
    EXPECT_EQ(db_.Table(DbSection::kFtyps)[1].Field(2), "");
}

TEST_F(DatabaseFile, BareLineFeedsFailOnTheFirstRecord) {
    std::string text = MakeDatabase({{"[video codecs]", Record("XVID", "XviD", "XviD team") + Record("DIVX", "DivX", "DivX")}});
    std::string lf;
    for (const char c : text) {
        if (c != '\r') lf += c;
    }
    EXPECT_FALSE(LoadText(lf));
    EXPECT_EQ(db_.LastMessage().text,
              "Файл torvo.dat неверен.\r\nОшибка чтения раздела [video codecs] базы: строка 3, поле 3 ");
}

TEST_F(DatabaseFile, CommentsBlankLinesAndSectionEnds) {
    const std::string body = Record("AAAA", "first", "") + "# a comment between\r\n@ another\r\n\r\n \tindented\r\n" +
                             Record("BBBB", "second", "");
    ASSERT_TRUE(LoadText(MakeDatabase({{"[video codecs]", body}})));
    const auto table = db_.Table(DbSection::kVideoCodecs);
    EXPECT_EQ(table[1].Field(2), "first");
    EXPECT_EQ(table[2].Field(2), "second");
    EXPECT_FALSE(table[3].Filled());

    // Sections in another order; text after the last one is never read.
    std::string reordered;
    for (auto it = kDbSections.rbegin(); it != kDbSections.rend(); ++it) reordered += std::string(it->header) + kCrLf;
    reordered += "[other section]\r\nnot\ta\trecord\r\n";
    EXPECT_TRUE(LoadText(reordered)) << Message();
}

TEST_F(DatabaseFile, TheFilesLastCharacterNeverBelongsToARecord) {
    // Data ending without a line break loses its last character, a whole UTF-8 one.
    std::string text = MakeDatabase();
    text.resize(text.size() - 2);  // the final CR LF
    text += Record("XVID", "XviD", "XviD team", "Кодек");
    text.resize(text.size() - 2);
    ASSERT_TRUE(LoadText(text)) << Message();
    const auto mapping = db_.Table(DbSection::kUserDataMapping);
    EXPECT_EQ(mapping[1].Field(4), "Коде");
    // A zero byte ends the data like the end of the file.
    text = MakeDatabase({{"[userdata mapping]", Record("a", "b", "c") + std::string("\0x\ty\r\n", 6)}});
    ASSERT_TRUE(LoadText(text)) << Message();
    EXPECT_FALSE(db_.Table(DbSection::kUserDataMapping)[2].Filled());
}

TEST_F(DatabaseFile, CapacityLimitsRecordsPerSection) {
    std::string full;
    for (int i = 1; i <= 99; ++i) full += Record("b" + std::to_string(i), "brand", "");
    ASSERT_TRUE(LoadText(MakeDatabase({{"[ftyps]", full}}))) << Message();
    EXPECT_EQ(db_.Table(DbSection::kFtyps)[99].Field(1), "b99");
    // Comments after a full section are no further records.
    ASSERT_TRUE(LoadText(MakeDatabase({{"[ftyps]", full + "# done\r\n"}}))) << Message();

    EXPECT_FALSE(LoadText(MakeDatabase({{"[ftyps]", full + Record("b100", "one too many", "")}})));
    // Header on line 6 (1-based), records on lines 7 to 105: the extra one is line 106.
    EXPECT_EQ(db_.ErrorText(), "Ошибка чтения раздела [ftyps] базы: строка 106, поле 3 ");
}

TEST_F(DatabaseFile, Windows1251AndUtf8FilesLoadAlike) {
    const std::string utf8 = MakeDatabase({{"[video codecs]", Record("MJPG", "Motion JPEG", "*без кодека")}});
    // The same file in Windows-1251: б=E1 е=E5 з=E7 к=EA о=EE д=E4 а=E0.
    const std::string cp1251 = MakeDatabase({{"[video codecs]", Record("MJPG", "Motion JPEG", "*\xE1\xE5\xE7 \xEA\xEE\xE4\xE5\xEA\xE0")}});
    ASSERT_TRUE(LoadText(cp1251)) << Message();
    EXPECT_EQ(db_.Table(DbSection::kVideoCodecs)[1].Field(3), "*без кодека");
    CReadDatabase fromUtf8;
    ASSERT_TRUE(fromUtf8.Load(dir_.Write("utf8.dat", utf8), {}));
    EXPECT_EQ(fromUtf8.Table(DbSection::kVideoCodecs)[1].Field(3), "*без кодека");
    // A leading byte-order mark does not hide the first line.
    const std::string headerFirst = utf8.substr(utf8.find("[video codecs]"));
    ASSERT_TRUE(fromUtf8.Load(dir_.Write("bom.dat", "\xEF\xBB\xBF" + headerFirst), {}));
    EXPECT_EQ(fromUtf8.FindVideoCodec("mjpg"), 1u);
}

TEST_F(DatabaseFile, AFailedReloadLeavesNoRecordsOfTheOldBuffer) {
    ASSERT_TRUE(LoadText(MakeDatabase({{"[ftyps]", Record("isom", "ISO", "")}})));
    std::string text = MakeDatabase({{"[ftyps]", Record("isom", "ISO", "")}});
    text.replace(text.find("[guids]"), 7, "[gu1ds]");
    EXPECT_FALSE(LoadText(text));
    EXPECT_FALSE(db_.Table(DbSection::kFtyps)[1].Filled());
    EXPECT_EQ(db_.FindFtyp("isom"), 0u);
}

TEST(TextEncoding, Windows1251BytesBecomeTheirCharacters) {
    EXPECT_EQ(Cp1251ToUtf8("\xC0\xFF\xA8\xB8\xB9\x88\x96 abc"), "АяЁё№€– abc");
    EXPECT_EQ(Cp1251ToUtf8("\x80\x8F\xA5\xB4"), "ЂЏҐґ");
    EXPECT_EQ(DecodeExternalText("уже UTF-8"), "уже UTF-8");
    EXPECT_EQ(DecodeExternalText("\xCA\xEE\xE4"), "Код");
}

class DatabaseSearchTest : public ::testing::Test {
protected:
    std::string Valid() const { return MakeDatabase({{"[ftyps]", Record("isom", "found", "")}}); }
    ScratchDir dir_;
    CReadDatabase db_;
};

TEST_F(DatabaseSearchTest, ProgramFolderThenItsParentThenDataFolders) {
    DatabaseSearch search;
    search.programDir = (dir_ / "dir/sub/").string();
    search.dataDirs = {(dir_ / "share/torvo").string()};
    std::filesystem::create_directories(dir_ / "dir/sub");

    dir_.Write("share/torvo/db.dat", Valid());
    ASSERT_TRUE(db_.Load("db.dat", search)) << db_.LastMessage().text;
    EXPECT_EQ(db_.Path(), (dir_ / "share/torvo/db.dat").string());

    dir_.Write("dir/db.dat", Valid());
    ASSERT_TRUE(db_.Load("db.dat", search));
    EXPECT_EQ(db_.Path(), (dir_ / "dir/db.dat").string());

    dir_.Write("dir/sub/db.dat", Valid());
    ASSERT_TRUE(db_.Load("db.dat", search));
    EXPECT_EQ(db_.Path(), (dir_ / "dir/sub/db.dat").string());
}

TEST(DatabaseSearchDefault, ProgramFolderThenInstalledAndXdgDataFolders) {
    const testing::ScopedEnv dirs("XDG_DATA_DIRS", "/a:/b/::relative");
    const DatabaseSearch search = DatabaseSearch::Default();
    EXPECT_TRUE(search.programDir.ends_with("/"));
    ASSERT_EQ(search.dataDirs.size(), 3u);
    EXPECT_TRUE(search.dataDirs[0].ends_with("/share/torvo")) << search.dataDirs[0];
    EXPECT_EQ(search.dataDirs[1], "/a/torvo");
    EXPECT_EQ(search.dataDirs[2], "/b/torvo");
    const testing::ScopedEnv unset("XDG_DATA_DIRS", nullptr);
    EXPECT_EQ(DatabaseSearch::Default().dataDirs.back(), "/usr/share/torvo");
}

TEST_F(DatabaseSearchTest, FoldersAreNotDatabases) {
    DatabaseSearch search;
    search.programDir = (dir_ / "prog/").string();
    std::filesystem::create_directories(dir_ / "prog/db.dat");
    dir_.Write("db.dat", Valid());  // the parent of the program folder
    ASSERT_TRUE(db_.Load("db.dat", search)) << db_.LastMessage().text;
    EXPECT_EQ(db_.Path(), (dir_ / "db.dat").string());
    // A FIFO must not hang the start-up waiting for a writer.
    ASSERT_EQ(::mkfifo((dir_ / "fifo.dat").c_str(), 0600), 0);
    EXPECT_FALSE(db_.Load((dir_ / "fifo.dat").string(), {}));
    EXPECT_TRUE(db_.LastMessage().text.starts_with("Не открыта база данных  ")) << db_.LastMessage().text;
}

TEST(DatabaseBytes, LoadFromMemoryFollowsTheSameRules) {
    CReadDatabase db;
    EXPECT_FALSE(db.LoadBytes("", "mem.dat"));
    EXPECT_EQ(db.LastMessage().text, "Файл данных НеТот: mem.dat");
    EXPECT_TRUE(db.LoadBytes(MakeDatabase({{"[ftyps]", Record("isom", "ISO", "")}}), "mem.dat"));
    EXPECT_EQ(db.FindFtyp("isom"), 1u);
}

TEST_F(DatabaseSearchTest, OpenFailuresNameTheProgramFolderPath) {
    DatabaseSearch search;
    search.programDir = (dir_ / "a/b/").string();
    EXPECT_FALSE(db_.Load("missing.dat", search));
    const std::string expected = "Не открыта база данных  " + (dir_ / "a/b/missing.dat").string() +
                                 ":\nЭтот файл должен лежать в текущем каталоге или в папке программы Torvo \n"
                                 "Убедитесь, что запускаете Torvo НЕ из архивного файла (ZIP, RAR).        \n"
                                 "Вот сообщение системы об ошибке:  \n\nNo such file or directory";
    EXPECT_EQ(db_.LastMessage().caption, "Данные!!!");
    EXPECT_EQ(db_.LastMessage().text, expected);

    // A program folder at the root has no parent to try.
    search.programDir = "/";
    EXPECT_FALSE(db_.Load("torvo-missing-database.dat", search));
    EXPECT_EQ(db_.LastMessage().text, "Файл данных НеТот: /torvo-missing-database.dat");
}

TEST_F(DatabaseSearchTest, SizeLimits) {
    EXPECT_FALSE(db_.Load(dir_.Write("empty.dat", ""), {}));
    EXPECT_EQ(db_.LastMessage().text, "Файл данных НеТот: " + (dir_ / "empty.dat").string());

    std::string text = Valid();
    const std::string filler = "# " + std::string(kDbMaxFileSize - text.size() - 4, 'x') + kCrLf;
    text = filler + text;
    ASSERT_EQ(text.size(), kDbMaxFileSize);
    EXPECT_TRUE(db_.Load(dir_.Write("largest.dat", text), {})) << db_.LastMessage().text;
    EXPECT_FALSE(db_.Load(dir_.Write("too-large.dat", "#" + text), {}));
    EXPECT_EQ(db_.LastMessage().text, "Файл данных НеТот: " + (dir_ / "too-large.dat").string());
}

class Lookups : public DatabaseFile {
protected:
    void SetUp() override {
        const std::string video = Record("XVID", "XviD MPEG-4", "XviD") + Record("DX5", "short", "") +
                                  Record("DIVX", "DivX 4", "DivX") + Record("divx", "never reached", "");
        const std::string audio = Record("0x0055", "WAVE_FORMAT_MPEGLAYER3", "MPEG Layer 3") +
                                  Record("0X0161", "WAVE_FORMAT_WMAUDIO2", "Windows Media Audio") +
                                  Record("0x2000", "DOLBY_AC3 (no prefix)", "AC-3");
        const std::string guids = Record("{73646976-0000-0010-8000-00AA00389B71}", "Основной тип", "MEDIATYPE_Video", "видео") +
                                  Record("0x80040200", "Неверный тип носителя", "VFW_E_INVALIDMEDIATYPE");
        const std::string ftyps = Record("isom", "ISO Base Media", "") + Record("qt  ", "QuickTime", "");
        const std::string mapping = Record("divx5", "DivX5", "DivX 5") + Record("empty", "", "claims all") +
                                    Record("divx", "DivX", "DivX") + Record("xvid", "XviD", "XviD");
        ASSERT_TRUE(LoadText(MakeDatabase({{"[video codecs]", video},
                                           {"[audio codecs]", audio},
                                           {"[guids]", guids},
                                           {"[ftyps]", ftyps},
                                           {"[userdata mapping]", mapping}})))
            << Message();
    }
};

TEST_F(Lookups, VideoCodecsCompareFourCharactersIgnoringCase) {
    EXPECT_EQ(db_.FindVideoCodec("xvid"), 1u);
    EXPECT_EQ(db_.FindVideoCodec("divx"), 3u);  // the first match wins
    EXPECT_EQ(db_.FindVideoCodec("XVIDextra"), 1u);
    EXPECT_EQ(db_.FindVideoCodec("DX5"), 2u);    // a short FourCC matches its own length only
    EXPECT_EQ(db_.FindVideoCodec("DX50"), 0u);
    EXPECT_EQ(db_.FindVideoCodec("XVI"), 0u);
    EXPECT_EQ(db_.FindVideoCodec(std::string("DX5\0", 4)), 2u);
    EXPECT_EQ(db_.FindVideoCodec(""), 0u);
    const size_t unknown = db_.FindVideoCodec("ZZZZ");
    EXPECT_EQ(unknown, 0u);
    EXPECT_EQ(db_.Table(DbSection::kVideoCodecs)[unknown].Field(2), "<не знаю>");
    EXPECT_EQ(db_.FindFtyp("QT  "), 2u);
    EXPECT_EQ(db_.FindFtyp("mp41"), 0u);
}

TEST_F(Lookups, AudioFormatsNameTheConstant) {
    std::string out;
    EXPECT_EQ(db_.FindAudioFormat("0x0055", out), 1u);
    EXPECT_EQ(out, "0x0055 (mpeglayer3)");
    EXPECT_EQ(db_.FindAudioFormat("0x0161", out), 2u);
    EXPECT_EQ(out, "0x0161 (wmaudio2)");
    EXPECT_EQ(db_.FindAudioFormat("0x2000", out), 3u);
    EXPECT_EQ(out, "0x2000 (DOLBY_AC3 (no prefix))");
    EXPECT_EQ(db_.FindAudioFormat("0x0162", out), 0u);
    EXPECT_EQ(out, "0x0162(не знаю)");
    EXPECT_EQ(db_.FindAudioFormat("0x005", out), 0u);  // the whole key must match
}

TEST_F(Lookups, GuidNamesGoToTheAskedBuffers) {
    std::string name, second, third = "untouched";
    EXPECT_TRUE(db_.FindGuidName("{73646976-0000-0010-8000-00aa00389b71}", {&name, 260}, {&second, 260}));
    EXPECT_EQ(name, "MEDIATYPE_Video");
    EXPECT_EQ(second, "Основной тип");
    EXPECT_EQ(third, "untouched");
    EXPECT_TRUE(db_.FindGuidName("{73646976-0000-0010-8000-00AA00389B71}", {&name, 3}, {&second, 0}, {&third, 4}));
    EXPECT_EQ(name, "ME");
    EXPECT_EQ(second, "Основной тип");  // size 0: left alone
    EXPECT_EQ(third, "вид");            // cut by characters, never inside one
    name = "kept";
    EXPECT_FALSE(db_.FindGuidName("{00000000-0000-0000-0000-000000000000}", {&name, 260}));
    EXPECT_EQ(name, "kept");
}

TEST_F(Lookups, HresultTexts) {
    EXPECT_EQ(db_.DescribeHresult(256, 0x80040200), "0x80040200: Неверный тип носителя");
    EXPECT_EQ(db_.DescribeHresult(256, 0x8004FFFF), "0x8004ffff: [не знаю]");
    EXPECT_EQ(db_.DescribeHresult(12, 0x80040200), "0x8004020: ");
    EXPECT_EQ(db_.DescribeHresult(16, 0x8004FFFF), "0x8004ffff: [не");
    for (size_t size = 0; size < 4; ++size) EXPECT_LE(db_.DescribeHresult(size, 1).size(), size);
}

TEST_F(Lookups, UserDataMappingTakesTheFirstEntryFoundInAnyString) {
    const std::vector<std::string> divx5 = {"nothing here", "DivX503b1393p"};
    EXPECT_EQ(db_.MapUserDataName(divx5).value_or(""), "DivX 5");
    const std::vector<std::string> both = {"XviD0046", "DivX999"};
    EXPECT_EQ(db_.MapUserDataName(both).value_or(""), "DivX");
    const std::vector<std::string> lower = {"xvid0046"};  // case matters
    EXPECT_FALSE(db_.MapUserDataName(lower).has_value());
    EXPECT_FALSE(db_.MapUserDataName({}).has_value());
}

TEST_F(Lookups, ListingsStopAtTheFirstEmptyKey) {
    ASSERT_TRUE(LoadText(MakeDatabase({{"[video codecs]", Record("XVID", "XviD", "") + Record("DIVX", "DivX", "")},
                                       {"[audio codecs]", Record("0x0055", "MP3", "MPEG Layer 3")}})));
    const DatabaseListing video = ListVideoCodecs(db_);
    ASSERT_EQ(video.rows.size(), 2u);
    EXPECT_EQ(video.rows[1][1], "DivX");
    EXPECT_EQ(ListAudioFormats(db_).rows.at(0)[2], "MPEG Layer 3");
}

}  // namespace
}  // namespace torvo
