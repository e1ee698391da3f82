// The report texts the driver takes from the container records, and the
// name tables behind them.
#include "analysis/ContainerReport.h"

#include <gtest/gtest.h>

#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/FourCCNames.h"

namespace torvo {
namespace {

using namespace test;

uint32_t Code(std::string_view four) { return FourCCFromBytes(ByteView(reinterpret_cast<const uint8_t*>(four.data()), four.size()), 0); }

std::vector<std::string> Texts(const NotesList& list) {
    std::vector<std::string> out;
    for (const NoteLine& line : list.Lines()) out.push_back(line.text);
    return out;
}

TEST(ContainerNames, QuickTimeVideoCodecs) {
    EXPECT_EQ(QuickTimeVideoCodecName(Code("avc1")), "H.264");
    EXPECT_EQ(QuickTimeVideoCodecName(Code("rle ")), "QT Animation (RLE)");
    EXPECT_EQ(QuickTimeVideoCodecName(Code("rpza")), "Apple vid(\"Roadpizza\")");
    EXPECT_EQ(QuickTimeVideoCodecName(Code("zoom")), "Zoom ");
    EXPECT_EQ(QuickTimeVideoCodecName(Code("hev1")), "");
    // Every code is four bytes and appears once, so no row hides behind an earlier one.
    for (size_t i = 0; i < kQuickTimeVideoNames.size(); ++i) {
        EXPECT_EQ(kQuickTimeVideoNames[i].code.size(), 4u);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(kQuickTimeVideoNames[i].code, kQuickTimeVideoNames[j].code);
    }
}

TEST(ContainerNames, SoundEntries) {
    EXPECT_EQ(SoundEntryName(Code(std::string_view("ms\0\x55", 4))), "MP3, CBR");
    EXPECT_EQ(SoundEntryName(Code(std::string_view("ms\0\x02", 4))), "MS ADPCM-ACM");
    EXPECT_EQ(SoundEntryName(Code(std::string_view("ms\0\x11", 4))), "DVI/Intel IMA ADPCM-ACM");
    EXPECT_EQ(SoundEntryName(Code(std::string_view("ms\0\x12", 4))), "");
    EXPECT_EQ(SoundEntryName(Code("Sowt")), "16-бит signed little-endian");
    EXPECT_EQ(SoundEntryName(Code("sawb")), "");
}

TEST(ContainerReport, FlvCodecTableAndCompatibility) {
    struct Row {
        int id;
        const char *type, *name, *line;
    };
    const Row rows[] = {
        {2, "FLV1", "Flash/Sorenson", "- нужен флэш-плеер версии 6 и нове"},
        {3, "FSV1", "Флэш/экран.  видео", "- нужен флэш-плеер версии 7 и нове"},
        {4, "FLV4/VP62", "Flash/On2 VP6", "- нужен флэш-плеер версии 8 и нове"},
        {5, "FLV4/VP62", "Флэш/VP6 с прозр.", "- нужен флэш-плеер версии 8 и нове"},
        {6, "FSV2", "Флэш/экран. видео  тип  2", "- нужен флэш-плеер версии 8 и нове"},
        {7, "H264", "H.264/AVC", "- нужен флэш-плеер версии 9 и нове"},
        {1, "????", "Не знаю тип флэш-видео  ", "Не знаю формат флэш FLV "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(FlvVideoCodecType(row.id), row.type);
        EXPECT_EQ(FlvVideoCodecName(row.id), row.name);
        Display display;
        AnalysisRecords records;
        records.video.flvCodecId = row.id;
        AddFlvCompatibilityLines(display, records);
        EXPECT_EQ(Texts(display.Container()), (std::vector<std::string>{"Вопрос  совместимости:", row.line}));
    }
}

TEST(ContainerReport, BrandLines) {
    AnalysisRecords records;
    records.container.majorBrand = Code("isom");
    records.container.compatibleBrands = {Code("isom"), Code("iso2"), Code("avc1"), 0, Code("mp41")};
    Display display;
    AddBrandLines(display, records, [](uint32_t brand) {
        return brand == Code("isom") ? std::string("MP4 Base Media v1") : std::string("<не знаю>");
    });
    EXPECT_EQ(Texts(display.Container()),
              (std::vector<std::string>{"isom: MP4 Base Media v1", "- iso2: <не знаю>", "- avc1: <не знаю>"}));
    Display none;
    AddBrandLines(none, AnalysisRecords{}, [](uint32_t) { return std::string("x"); });
    EXPECT_TRUE(none.Container().Lines().empty());
}

TEST(ContainerReport, MetadataLines) {
    AnalysisRecords records;
    records.container.metadata = {{"©nam", "Title", {}}, {"вид1 IsVBR", "", {}}};
    Display display;
    AddMetadataLines(display, records);
    EXPECT_EQ(Texts(display.UserData()), (std::vector<std::string>{"©nam:Title", "вид1 IsVBR:"}));
}

TEST(ContainerText, Utf16AndLatin1) {
    const Bytes text = Le16('W') + Le16(0x0416) + Le16(0xD83D) + Le16(0xDE00) + Le16(0xDC00) + Le16(0) + Le16('x');
    EXPECT_EQ(Utf16LeToUtf8(ByteView(text.data(), text.size()), 64), "WЖ😀\xEF\xBF\xBD");
    EXPECT_EQ(Utf16LeToUtf8(ByteView(text.data(), text.size()), 2), "WЖ");
    EXPECT_EQ(Latin1ToUtf8("\xA9nam"), "©nam");
}

}  // namespace
}  // namespace torvo
