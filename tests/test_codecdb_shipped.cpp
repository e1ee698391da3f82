// The shipped codec database: it loads, holds what the analysis asks for, and
// loads alike from a Windows-1251 copy. Also the CLI's handling of it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

#include "ScratchDir.h"
#include "codecdb/ReadDatabase.h"
#include "codecdb/ShippedDatabase.h"

namespace torvo {
namespace {

using testing::ScratchDir;

const std::string kShipped = TORVO_SOURCE_DATA_DIR "/Torvo27.dat";

// UTF-8 to Windows-1251 for the characters the database uses; anything else
// fails the test so that the comparison below stays meaningful.
std::string ToCp1251(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += utf8[i++];
            continue;
        }
        EXPECT_LT(i + 1, utf8.size());
        uint32_t cp = 0;
        if ((lead & 0xE0) == 0xC0) {
            cp = (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            i += 2;
        } else {
            cp = (lead & 0x0Fu) << 12 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
            i += 3;
        }
        if (cp >= 0x410 && cp <= 0x44F) out += static_cast<char>(0xC0 + (cp - 0x410));
        else if (cp == 0x401) out += '\xA8';  // Ё
        else if (cp == 0x451) out += '\xB8';  // ё
        else if (cp == 0x2116) out += '\xB9';  // №
        else ADD_FAILURE() << "no Windows-1251 byte for U+" << std::hex << cp;
    }
    return out;
}

// Every entry of every section alike: unfilled in both, or the same four texts.
void ExpectSameTables(const CReadDatabase& expected, const CReadDatabase& actual) {
    for (size_t s = 0; s < kDbSections.size(); ++s) {
        const auto want = expected.Table(static_cast<DbSection>(s));
        const auto got = actual.Table(static_cast<DbSection>(s));
        ASSERT_EQ(want.size(), got.size());
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(want[i].Filled(), got[i].Filled()) << kDbSections[s].header << " " << i;
            for (int f = 1; f <= 4; ++f) ASSERT_EQ(want[i].Field(f), got[i].Field(f)) << kDbSections[s].header << " " << i;
        }
    }
}

class ShippedDatabase : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        db_ = new CReadDatabase;
        ASSERT_TRUE(db_->Load(kShipped, {})) << db_->LastMessage().text;
    }
    static void TearDownTestSuite() { delete db_; }
    static size_t Count(DbSection section) {
        size_t n = 0;
        for (const DatabaseRecord& r : db_->Table(section)) n += r.Filled() ? 1 : 0;
        return n - 1;  // entry 0
    }
    static CReadDatabase* db_;
};
CReadDatabase* ShippedDatabase::db_ = nullptr;

TEST_F(ShippedDatabase, FileIsWithinLimitsWithCrLfLineEnds) {
    const std::string bytes = testing::ReadWholeFile(kShipped);
    EXPECT_LE(bytes.size(), kDbMaxFileSize);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at byte " << i;
        }
    }
}

TEST_F(ShippedDatabase, SectionsHoldEnoughRecords) {
    EXPECT_GE(Count(DbSection::kVideoCodecs), 600u);
    EXPECT_GE(Count(DbSection::kAudioCodecs), 250u);
    EXPECT_GE(Count(DbSection::kVfwMessages), 1u);
    EXPECT_GE(Count(DbSection::kFtyps), 80u);
    EXPECT_GE(Count(DbSection::kUserDataMapping), 30u);
    size_t errorCodes = 0;
    for (const DatabaseRecord& r : db_->Table(DbSection::kGuids)) errorCodes += r.Field(1).starts_with("0x") ? 1 : 0;
    EXPECT_GE(errorCodes, 200u);
}

TEST_F(ShippedDatabase, KeysAreNotShadowed) {
    // A key listed twice would never be found the second time.
    const std::array<DbSection, 4> keyed = {DbSection::kVideoCodecs, DbSection::kAudioCodecs, DbSection::kGuids,
                                            DbSection::kFtyps};
    for (const DbSection section : keyed) {
        std::set<std::string> seen;
        const auto table = db_->Table(section);
        for (size_t i = 1; i < table.size() && table[i].Filled(); ++i) {
            std::string key(table[i].Field(1));
            for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_TRUE(seen.insert(key).second) << "duplicate key " << key;
        }
    }
    for (const DatabaseRecord& r : db_->Table(DbSection::kVideoCodecs).subspan(1)) {
        if (r.Filled()) {
            EXPECT_LE(r.Field(1).size(), 4u) << r.Field(1);
        }
    }
}

TEST_F(ShippedDatabase, SampleLookups) {
    std::string audio;
    EXPECT_NE(db_->FindAudioFormat("0x0055", audio), 0u);
    EXPECT_EQ(audio, "0x0055 (mpeglayer3)");
    db_->FindAudioFormat("0x0161", audio);
    EXPECT_EQ(audio, "0x0161 (wmaudio2)");
    db_->FindAudioFormat("0x2000", audio);
    EXPECT_EQ(audio, "0x2000 (dvm)");
    EXPECT_EQ(db_->FindAudioFormat("0x0fff", audio), 0u);
    EXPECT_EQ(audio, "0x0fff(не знаю)");

    const auto video = db_->Table(DbSection::kVideoCodecs);
    EXPECT_EQ(video[db_->FindVideoCodec("xvid")].Field(1), "XVID");
    EXPECT_EQ(video[db_->FindVideoCodec("DX50")].Field(2), "DivX 5 MPEG-4");
    EXPECT_EQ(video[db_->FindVideoCodec("h264")].Field(1), "H264");
    EXPECT_EQ(db_->FindVideoCodec("QQQQ"), 0u);
    // Formats that need no codec are marked in field 3.
    for (const char* raw : {"YUY2", "UYVY", "YV12", "I420", "RGB ", "NV12"}) {
        EXPECT_TRUE(video[db_->FindVideoCodec(raw)].Field(3).starts_with("*")) << raw;
    }
    EXPECT_FALSE(video[db_->FindVideoCodec("XVID")].Field(3).starts_with("*"));

    const auto ftyps = db_->Table(DbSection::kFtyps);
    EXPECT_NE(db_->FindFtyp("isom"), 0u);
    EXPECT_EQ(ftyps[db_->FindFtyp("qt  ")].Field(1), "qt  ");
    EXPECT_NE(db_->FindFtyp("3gp4"), 0u);

    EXPECT_EQ(db_->DescribeHresult(256, 0x80040218).substr(0, 12), "0x80040218: ");
    EXPECT_GT(db_->DescribeHresult(256, 0x80040218).size(), 12u);
    EXPECT_EQ(db_->DescribeHresult(256, 0x80041234), "0x80041234: [не знаю]");
    EXPECT_TRUE(db_->DescribeHresult(256, 0x00040242).find("[не знаю]") == std::string::npos);

    const std::vector<std::string> divx = {"DivX503b1393p"}, xvid = {"XviD0046"}, lavc = {"Lavc51.40.4"};
    EXPECT_EQ(db_->MapUserDataName(divx).value_or(""), "DivX 5");
    EXPECT_EQ(db_->MapUserDataName(xvid).value_or(""), "XviD");
    EXPECT_EQ(db_->MapUserDataName(lavc).value_or(""), "libavcodec");
}

TEST_F(ShippedDatabase, NamesEveryIdentifierTheAnalysisUses) {
    const std::vector<std::pair<const char*, const char*>> named = {
        {"{73646976-0000-0010-8000-00AA00389B71}", "MEDIATYPE_Video"},
        {"{73647561-0000-0010-8000-00AA00389B71}", "MEDIATYPE_Audio"},
        {"{E436EB83-524F-11CE-9F53-0020AF0BA770}", "MEDIATYPE_Stream"},
        {"{E06D8020-DB46-11CF-B4D1-00805F6CBBEA}", "MEDIATYPE_MPEG2_PES"},
        {"{E436EB88-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_Avi"},
        {"{E436EB8B-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_WAVE"},
        {"{E436EB84-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_MPEG1System"},
        {"{E436EB86-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_MPEG1Video"},
        {"{E436EB87-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_MPEG1Audio"},
        {"{E436EB81-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_MPEG1Payload"},
        {"{E436EB7A-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_RGB8"},
        {"{E436EB7F-524F-11CE-9F53-0020AF0BA770}", "MEDIASUBTYPE_Overlay"},
        {"{E06D8022-DB46-11CF-B4D1-00805F6CBBEA}", "MEDIASUBTYPE_MPEG2_PROGRAM"},
        {"{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}", "MEDIASUBTYPE_MPEG2_VIDEO"},
        {"{E06D802C-DB46-11CF-B4D1-00805F6CBBEA}", "MEDIASUBTYPE_DOLBY_AC3"},
        {"{E06D8032-DB46-11CF-B4D1-00805F6CBBEA}", "MEDIASUBTYPE_DVD_LPCM_AUDIO"},
        {"{E06D8033-DB46-11CF-B4D1-00805F6CBBEA}", "MEDIASUBTYPE_DTS"},
        {"{00000001-0000-0010-8000-00AA00389B71}", "MEDIASUBTYPE_PCM"},
        {"{00000055-0000-0010-8000-00AA00389B71}", "MEDIASUBTYPE_MP3"},
        {"{00000161-0000-0010-8000-00AA00389B71}", "MEDIASUBTYPE_WMAUDIO2"},
        {"{32595559-0000-0010-8000-00AA00389B71}", "MEDIASUBTYPE_YUY2"},
        {"{44495658-0000-0010-8000-00AA00389B71}", "MEDIASUBTYPE_XVID"},
        {"{1B81BE91-A0C7-11D3-B984-00C04F2E73C5}", "MEDIASUBTYPE_IA44_Overlay"},
        {"{CF49D4E0-1115-11CE-B03A-0020AF0BA770}", "CLSID_AVIDec"},
        {"{D76E2820-1563-11CF-AC98-00AA004C0FA9}", "CLSID_AVICo"},
        {"{6A08CF80-0E18-11CF-A24D-0020AFD79767}", "CLSID_ACMWrapper"},
        {"{94297043-BD82-4DFD-B0DE-8177739C6D20}", "CLSID_DMOWrapperFilter"},
        {"{17CCA71B-ECD7-11D0-B908-00A0C9223196}", "CLSID_Proxy"},
        {"{6BC1CFFA-8FC1-4261-AC22-CFB4CC38DB50}", "CLSID_VideoRendererDefault"},
        {"{70E102B0-5556-11CE-97C0-00AA0055595A}", "CLSID_VideoRenderer"},
        {"{79376820-07D0-11CF-A24D-0020AFD79767}", "CLSID_DSoundRender"},
        {"{CDA42200-BD88-11D0-BD4E-00A0C911CE86}", "CLSID_FilterMapper2"},
        {"{E436EBB3-524F-11CE-9F53-0020AF0BA770}", "CLSID_FilterGraph"},
        {"{4A69B442-28BE-4991-969C-B500ADF5D8A8}", "DMOCATEGORY_VIDEO_DECODER"},
        {"{57F2DB8B-E6BB-4513-9D43-DCD2A6593125}", "DMOCATEGORY_AUDIO_DECODER"},
        {"{D990EE14-776C-4723-BE46-3DA2F56F10B9}", "DMOCATEGORY_VIDEO_EFFECT"},
    };
    for (const auto& [key, expected] : named) {
        std::string name;
        EXPECT_TRUE(db_->FindGuidName(key, {&name, 260})) << expected;
        EXPECT_EQ(name, expected);
    }
    // GStreamer types Windows has no identifier for carry our own GUIDs.
    size_t own = 0;
    for (const DatabaseRecord& r : db_->Table(DbSection::kGuids)) own += r.Field(4).find("свой GUID Torvo") != std::string_view::npos;
    EXPECT_GE(own, 10u);
}

TEST_F(ShippedDatabase, Windows1251CopyGivesTheSameTables) {
    ScratchDir dir;
    CReadDatabase copy;
    ASSERT_TRUE(copy.Load(dir.Write("Torvo27.dat", ToCp1251(testing::ReadWholeFile(kShipped))), {}))
        << copy.LastMessage().text;
    ExpectSameTables(*db_, copy);
    std::string fromCopy, fromUtf8;
    copy.FindAudioFormat("0x0000", fromCopy);
    db_->FindAudioFormat("0x0000", fromUtf8);
    EXPECT_EQ(fromCopy, fromUtf8);
    EXPECT_EQ(copy.DescribeHresult(256, 0x80040218), db_->DescribeHresult(256, 0x80040218));
}

// The form the build made of the shipped file stands in for the parse of
// exactly those bytes, read in the CLI's two steps; the same reader then
// parses any other bytes, and takes the built form again for the shipped ones.
TEST_F(ShippedDatabase, BuiltFormStandsInOnlyForTheShippedBytes) {
    CReadDatabase reader(&ShippedCompactDatabase());
    ASSERT_TRUE(reader.OpenFile(kShipped, {}) && reader.ReadAllSections()) << reader.LastMessage().text;
    EXPECT_TRUE(reader.FromBuiltForm());
    EXPECT_FALSE(db_->FromBuiltForm());
    EXPECT_EQ(reader.Path(), kShipped);
    ExpectSameTables(*db_, reader);
    EXPECT_EQ(reader.DescribeHresult(256, 0x80040218), db_->DescribeHresult(256, 0x80040218));

    const std::string shipped = testing::ReadWholeFile(kShipped);
    std::string renamed = shipped;
    const size_t at = renamed.find("\tXviD MPEG-4\t");
    ASSERT_NE(at, std::string::npos);
    renamed.insert(at + 12, " (changed)");
    const std::string dropped = shipped.substr(0, shipped.rfind("\r\n", shipped.size() - 3) + 2);
    const struct {
        const char* what;
        std::string bytes;
    } variants[] = {
        {"a record changed", renamed},
        {"a comment added", shipped + "# one more line\r\n"},
        {"the last record dropped", dropped},
        {"with a byte order mark", "\xEF\xBB\xBF" + shipped},
    };
    ScratchDir dir;
    for (const auto& variant : variants) {
        SCOPED_TRACE(variant.what);
        const std::string file = dir.Write("variant.dat", variant.bytes);
        CReadDatabase parsed;
        ASSERT_TRUE(parsed.Load(file, {})) << parsed.LastMessage().text;
        ASSERT_TRUE(reader.Load(file, {})) << reader.LastMessage().text;
        EXPECT_FALSE(reader.FromBuiltForm());
        ExpectSameTables(parsed, reader);
        ASSERT_TRUE(reader.Load(kShipped, {}));
        EXPECT_TRUE(reader.FromBuiltForm());
        ExpectSameTables(*db_, reader);
    }
    ASSERT_TRUE(reader.LoadBytes(renamed, "renamed.dat"));
    EXPECT_EQ(reader.Table(DbSection::kVideoCodecs)[reader.FindVideoCodec("XVID")].Field(2), "XviD MPEG-4 (changed)");
    // A damaged file fails as it always did, whatever was loaded before.
    EXPECT_FALSE(reader.LoadBytes(shipped.substr(0, shipped.find("\n[audio codecs]") + 1), "cut.dat"));
    EXPECT_NE(reader.ErrorText().find("[audio codecs]"), std::string::npos) << reader.ErrorText();
}

// Runs the CLI with the arguments, collecting standard output or error and the exit status.
struct CliRun {
    int status = -1;
    std::string output;
};

CliRun RunCli(const std::string& arguments, bool captureErrors) {
    const std::string command = std::string(TORVO_CLI_PATH) + " " + arguments + (captureErrors ? " 2>&1 >/dev/null" : " 2>/dev/null");
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) run.output.append(chunk.data(), n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(CliDatabase, ABadDatabaseEndsTheProgramWithStatus3) {
    ScratchDir dir;
    const std::string lf = dir.Write("lf.dat", "[video codecs]\nXVID\tXviD\tXviD\t\nDIVX\tDivX\tDivX\t\n");
    const CliRun bad = RunCli("--db " + lf + " " + kShipped, true);
    EXPECT_EQ(bad.status, 3);
    EXPECT_EQ(bad.output,
              "Данные!!!: Файл torvo.dat неверен.\r\nОшибка чтения раздела [video codecs] базы: строка 2, поле 3 \n");
    const CliRun missing = RunCli("--db " + (dir / "none.dat").string() + " " + kShipped, true);
    EXPECT_EQ(missing.status, 3);
    EXPECT_TRUE(missing.output.starts_with("Данные!!!: Не открыта база данных  ")) << missing.output;
    // Help and version need no database.
    EXPECT_EQ(RunCli("--db " + (dir / "none.dat").string() + " --help", false).status, 0);
    EXPECT_EQ(RunCli("--db " + (dir / "none.dat").string() + " --version", false).status, 0);
}

TEST(CliDatabase, ListsTheDatabaseTables) {
    const CliRun video = RunCli("--db " + kShipped + " --video-codecs", false);
    EXPECT_EQ(video.status, 0);
    EXPECT_TRUE(video.output.starts_with("ВИДЕО: Известные форматы сжатия \nFourCC\tКодек\tАвтор \nXVID\tXviD MPEG-4\t"))
        << video.output.substr(0, 200);
    const CliRun audio = RunCli("--db " + kShipped + " --audio-formats", false);
    EXPECT_TRUE(audio.output.starts_with("ЗВУК: Известные форматы сжатия  \nЧисло\twFormatTag\tОписание   \n0x0000\t"));
    EXPECT_NE(audio.output.find("\n0x0055\tWAVE_FORMAT_MPEGLAYER3\t"), std::string::npos);
    // Found beside the program when no --db is given.
    const CliRun beside = RunCli("--video-codecs", false);
    EXPECT_EQ(beside.status, 0);
    EXPECT_EQ(beside.output, video.output);
    // A changed copy is read as it is.
    ScratchDir dir;
    std::string changed = testing::ReadWholeFile(kShipped);
    changed.replace(changed.find("\tXviD MPEG-4\t"), 13, "\tXviD, changed\t");
    const CliRun copy = RunCli("--db " + dir.Write("Torvo27.dat", changed) + " --video-codecs", false);
    EXPECT_TRUE(copy.output.find("\nXVID\tXviD, changed\t") != std::string::npos) << copy.output.substr(0, 200);
}

}  // namespace
}  // namespace torvo
