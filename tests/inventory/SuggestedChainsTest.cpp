// The suggested chains over a recorded machine: the alternatives each search
// finds once the previous chain is excluded, their lines and result lines,
// the texts of a failed build and what each command tears down.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "inventory/Enumeration.h"
#include "platform/recorded/RecordedPlatform.h"
#include "render/SuggestedChains.h"

namespace torvo {
namespace {

using namespace guids;

const CReadDatabase& Database() {
    static CReadDatabase db;
    static const bool loaded = db.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {});
    EXPECT_TRUE(loaded);
    return db;
}

struct Machine {
    std::unique_ptr<CRecordedPlatform> platform;
    std::unique_ptr<CodecInventory> inventory = std::make_unique<CodecInventory>();
    Machine() {
        const test::Bytes bytes = test::ReadBytes(std::string(TORVO_TEST_SOURCE_DIR) + "/inventory/chains.json");
        platform = std::make_unique<CRecordedPlatform>(std::string(bytes.begin(), bytes.end()));
        EnumerationContext c{*platform, DatabaseGuidNames(Database()), [](const std::string&, const std::string&) {}};
        EnumerateInventory(*inventory, c);
    }
};

// The entry names of a chain line, in order.
std::vector<std::string> Entries(const ChainRow& row) {
    std::vector<std::string> names;
    for (const ChainElement& e : row.line->elements)
        if (e.type == ChainElementType::kEntry || e.type == ChainElementType::kRenderer) names.push_back(e.text);
    return names;
}

std::vector<const ChainRow*> ChainLines(const CSuggestedChains& chains) {
    std::vector<const ChainRow*> lines;
    for (const ChainRow& r : chains.Rows())
        if (r.line) lines.push_back(&r);
    return lines;
}

TEST(SuggestedChains, EachSearchAvoidsTheDecoderAfterTheSplitterItFollowed) {
    Machine m;
    CSuggestedChains chains(DatabaseGuidNames(Database()));
    const StreamTypePairs xvid{{kMediaTypeStream, kSubtypeAvi}, {kMediaTypeVideo, FourccGuid("XVID")}};
    ASSERT_EQ(chains.Suggest(ChainKind::kVideo, m.inventory.get(), xvid, "/media/clip.avi"), 4);
    const auto lines = ChainLines(chains);
    ASSERT_EQ(lines.size(), 4u);
    using V = std::vector<std::string>;
    const V renderer = {"[Video Renderer ]"};
    // The same splitter with another decoder, then the same decoders behind the parser; never a repeat.
    EXPECT_EQ(Entries(*lines[0]), (V{"[AVI Splitter ]", "[XviD MPEG-4 Video Decoder ]", "[Video Renderer ]"}));
    EXPECT_EQ(Entries(*lines[1]), (V{"[AVI Splitter ]", "[Second MPEG-4 Decoder ]", "[Video Renderer ]"}));
    EXPECT_EQ(Entries(*lines[2]),
              (V{"[AVI Splitter ]", "[MPEG-4 Video Parser ]", "[XviD MPEG-4 Video Decoder ]", "[Video Renderer ]"}));
    EXPECT_EQ(Entries(*lines[3]),
              (V{"[AVI Splitter ]", "[MPEG-4 Video Parser ]", "[Second MPEG-4 Decoder ]", "[Video Renderer ]"}));

    // The line: header, the AVI stream type, splitter, coded type, decoder, output type, renderer.
    const ChainLine& first = *lines[0]->line;
    ASSERT_EQ(first.elements.size(), 7u);
    EXPECT_EQ(first.elements[0].text, "(ист)-->");
    EXPECT_EQ(first.elements[0].detail, "/media/clip.avi");
    EXPECT_EQ(first.elements[1].text, ">--(A)-->");
    EXPECT_EQ(first.elements[3].text, ">--(B)-->");
    EXPECT_EQ(first.elements[3].type, ChainElementType::kMediaType);
    EXPECT_EQ(first.elements[4].detail, "xvid.ax");
    EXPECT_EQ(first.elements[5].text, ">--(C)-->");
    EXPECT_EQ(first.elements[6].type, ChainElementType::kRenderer);
    for (const ChainElement& e : first.elements) EXPECT_EQ(e.streamKind, 1);
    EXPECT_EQ(lines[3]->line->elements.back().chainIndex, 3);
    // Each line is followed by its status line.
    EXPECT_EQ(chains.Rows()[1].text, "Статус: еще не отрендерил. Используйте [2] ");
    EXPECT_EQ(chains.Rows().size(), 8u);
}

TEST(SuggestedChains, AudioAndTheLinesWhenNothingIsFound) {
    Machine m;
    CSuggestedChains chains(DatabaseGuidNames(Database()));
    const StreamTypePairs mp3{{kMediaTypeStream, kSubtypeAvi}, {kMediaTypeAudio, FormatTagGuid(0x55)}};
    // One decoder, no splitter alternative: the second search finds nothing and the list stops.
    EXPECT_EQ(chains.Suggest(ChainKind::kAudio, m.inventory.get(), mp3, "a.avi"), 1);
    EXPECT_EQ(Entries(*ChainLines(chains)[0]),
              (std::vector<std::string>{"[AVI Splitter ]", "[MPEG Layer-3 Decoder ]", "[Default DirectSound Device ]"}));
    EXPECT_EQ(ChainLines(chains)[0]->line->elements[0].streamKind, 2);

    // A chain without a decoder: the filter after the splitter may not follow it again.
    const StreamTypePairs ac3{{kMediaTypeStream, kSubtypeAvi}, {kMediaTypeAudio, kSubtypeDolbyAc3}};
    EXPECT_EQ(chains.Suggest(ChainKind::kAudio, m.inventory.get(), ac3, "a.avi"), 2);
    EXPECT_EQ(Entries(*ChainLines(chains)[0]),
              (std::vector<std::string>{"[AVI Splitter ]", "[AC3 SPDIF Filter ]", "[Default DirectSound Device ]"}));
    EXPECT_EQ(Entries(*ChainLines(chains)[1]),
              (std::vector<std::string>{"[AVI Splitter ]", "[Second SPDIF Filter ]", "[Default DirectSound Device ]"}));

    const StreamTypePairs dts{{kMediaTypeStream, kSubtypeAvi}, {kMediaTypeAudio, G("{E06D8033-DB46-11CF-B4D1-00805F6CBBEA}")}};
    EXPECT_EQ(chains.Suggest(ChainKind::kAudio, m.inventory.get(), dts, "a.avi"), 0);
    ASSERT_EQ(chains.Rows().size(), 1u);
    EXPECT_EQ(chains.Rows()[0].text, "Рендеринг звука невозможен");
    EXPECT_EQ(chains.Suggest(ChainKind::kVideo, m.inventory.get(), std::nullopt, "a.avi"), 0);
    ASSERT_EQ(chains.Rows().size(), 2u);
    EXPECT_EQ(chains.Rows()[0].text, "Torvo пока не умеет рендерить этот тип видео");
    EXPECT_EQ(chains.Rows()[1].text, "Попробуйте    \"В+З\" кнопку \"1\".");
}

TEST(SuggestedChains, BuildResultsFollowTheirChainAndOnlyOneSlotIsHeld) {
    Machine m;
    CSuggestedChains chains(DatabaseGuidNames(Database()));
    const StreamTypePairs xvid{{kMediaTypeStream, kSubtypeAvi}, {kMediaTypeVideo, FourccGuid("XVID")}};
    ASSERT_EQ(chains.Suggest(ChainKind::kVideo, m.inventory.get(), xvid, "/media/clip.avi"), 4);
    const ChainBuildRequest r0 = chains.Request(ChainKind::kVideo, 0, "/media/clip.avi");
    ASSERT_EQ(r0.nodes.size(), 3u);
    EXPECT_TRUE(r0.nodes[2].renderer);
    EXPECT_EQ(r0.nodes[1].graphName, " XviD MPEG-4 Video Decod... / xvid.ax");
    EXPECT_EQ(r0.pinFilter, (std::vector<std::string>{"ideo", "tream 00"}));

    ChainBuildReport ok;
    ok.paused = true;
    ok.completedNodes = 3;
    chains.ApplyBuild(ChainKind::kVideo, 0, r0, ok, {});
    EXPECT_EQ(chains.Rows()[1].text, "Рендер видео OK. Проиграть - [3].");
    EXPECT_EQ(chains.Rows()[1].colour, kColourGood);
    EXPECT_EQ(chains.SlotState(ChainKind::kVideo, 0), kSlotHeld);

    ChainBuildReport bad;
    bad.failedStep = ChainBuildReport::Step::kAdd;
    bad.node = 1;
    bad.message = "refused";
    const ChainBuildRequest r1 = chains.Request(ChainKind::kVideo, 1, "/media/clip.avi");
    chains.ApplyBuild(ChainKind::kVideo, 1, r1, bad, {});
    EXPECT_EQ(chains.SlotState(ChainKind::kVideo, 1), kSlotBuildFailed);
    // Each result took its chain's status line: no stale "not built yet" is left behind it.
    EXPECT_TRUE(chains.Rows()[2].line);
    EXPECT_EQ(chains.Rows()[3].text,
              "Failed to add element Second MPEG-4 Decoder to the pipeline. Неудача gst_bin_add(),ошибка:refused");

    chains.ApplyBuild(ChainKind::kVideo, 2, chains.Request(ChainKind::kVideo, 2, "f"), ok, {});
    EXPECT_EQ(chains.SlotState(ChainKind::kVideo, 0), kSlotReplaced);
    EXPECT_EQ(chains.SlotState(ChainKind::kVideo, 2), kSlotHeld);
    EXPECT_EQ(chains.PlayableSlot(ChainKind::kVideo), 0);
    // Rebuilding a slot replaces its result line instead of adding one.
    const size_t rows = chains.Rows().size();
    chains.ApplyBuild(ChainKind::kVideo, 1, r1, ok, {});
    EXPECT_EQ(chains.Rows().size(), rows);
    EXPECT_EQ(rows, 8u);
    EXPECT_EQ(chains.Rows()[3].text, "Рендер видео OK. Проиграть - [3].");
    chains.DestroySlots();
    EXPECT_EQ(chains.PlayableSlot(ChainKind::kVideo), -1);
}

TEST(SuggestedChains, FailedBuildTexts) {
    ChainBuildRequest request;
    request.file = "/media/clip.avi";
    ChainBuildNode splitter, wrapped;
    splitter.name = "AVI Splitter";
    splitter.clsidText = "{1B544C20-FD0B-11CE-8C63-00AA0044B51E}";
    wrapped.name = "DivX";
    wrapped.clsidText = "not-a-clsid";
    request.nodes = {splitter, wrapped};
    using Step = ChainBuildReport::Step;
    const auto describe = [](uint32_t code) { return code == 0x80070002 ? std::string("0x80070002: нет файла") : std::string(); };
    struct Case {
        Step step;
        int node;
        FilterCreation creation;
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {Step::kSource, -1, FilterCreation::kByClass, 0x80070002,
         "Не удалось создать элемент-источник filesrc для входного файла /media/clip.avi.Неудача gst_element_factory_make(),ошибка:0x80070002: нет файла"},
        {Step::kCreate, 1, FilterCreation::kDmoWrapper, 0, "Failed to create instance of DMO filter DivX. Ошибка:E"},
        {Step::kCreate, 1, FilterCreation::kVfwWrapper, 0,
         "Failed to create instance of VFW wrapper. Неудача CoCreateInstance(),ошибка:E"},
        {Step::kCreate, 1, FilterCreation::kAcmWrapper, 0,
         "Failed to create instance of ACM wrapper. Неудача CoCreateInstance(), ошибка:E"},
        {Step::kCreate, 1, FilterCreation::kByClass, 0, "Failed to create element DivX. Неудача gst_element_factory_create(),ошибка:E"},
        {Step::kClassId, 1, FilterCreation::kByClass, 0,
         "Failed to create element DivX - Unable to find its factory from the identifier not-a-clsid. Неудача "
         "gst_element_factory_find(),ошибка:E"},
        {Step::kPinInfo, 1, FilterCreation::kByClass, 0, "Couldn't get pad information, неудача gst_pad_get_parent_element(),ошибка:E"},
    };
    for (const Case& c : cases) {
        request.nodes[1].creation = c.creation;
        ChainBuildReport r;
        r.failedStep = c.step;
        r.node = c.node;
        r.code = c.code;
        r.message = c.code ? "" : "E";
        EXPECT_EQ(BuildErrorText(request, r, describe), c.text);
    }
    // A connection names the previous filter: the file for the first node, else the previous entry.
    ChainBuildReport r;
    r.failedStep = Step::kConnect;
    r.node = 1;
    r.outputPin = 0x1234;
    r.outputPinName = "video_00";
    r.inputPin = 0xabcdef;
    r.inputPinName = "sink";
    r.message = "E";
    const std::string text = BuildErrorText(request, r, describe);
    EXPECT_EQ(text, "Failed to link source pad \"video_00\" of AVI Splitter to sink pad \"sink\" of element \"DivX\".Неудача "
                    "gst_pad_link(),ошибка:E");
    r.node = 0;
    EXPECT_NE(BuildErrorText(request, r, describe).find("of clip.avi to sink pad"), std::string::npos);

    // Graph names: 24 characters are cut to 23 without dots, 25 get them.
    EXPECT_EQ(GraphFilterName("{ VFW }", "abcdefghijklmnopqrstuvwx", "C:\\x\\divx.dll"), "{ VFW } abcdefghijklmnopqrstuvw / divx.dll");
    EXPECT_EQ(GraphFilterName("", "abcdefghijklmnopqrstuvwxy", "/usr/lib/libgstavi.so"),
              " abcdefghijklmnopqrstuvw... / libgstavi.so");
    EXPECT_EQ(GraphFilterName("", "short", ""), " short / ");
}

TEST(SuggestedChains, TeardownByModeAndLevel) {
    struct Case {
        int mode, level;
        bool test, playback, slots;
    };
    const Case cases[] = {
        {kModeVideoChains, 1, true, true, true},  {kModeAudioChains, 2, true, true, false},
        {kModeVideoChains, 3, true, false, false}, {kModeRenderTest, 1, true, true, true},
        {kModeRenderTest, 2, false, true, true},   {kModeRenderTest, 3, false, true, true},
        {kModeNone, 0, true, true, true},
    };
    for (const Case& c : cases) {
        const TeardownPlan p = TeardownFor(c.mode, c.level);
        EXPECT_EQ(p.renderTest, c.test) << c.mode << "/" << c.level;
        EXPECT_EQ(p.playback, c.playback) << c.mode << "/" << c.level;
        EXPECT_EQ(p.chainSlots, c.slots) << c.mode << "/" << c.level;
    }
}

}  // namespace
}  // namespace torvo
