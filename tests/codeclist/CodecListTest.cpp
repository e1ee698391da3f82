// The codec list windows' tables and the expert commands against a recorded
// machine, and the filter overrides store.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ScratchDir.h"
#include "TestUtil.h"
#include "codeclist/CodecLists.h"
#include "codeclist/CodecManagement.h"
#include "inventory/Enumeration.h"
#include "inventory/FilterOverrides.h"
#include "inventory/Merit.h"
#include "platform/recorded/RecordedPlatform.h"

namespace torvo {
namespace {

// The machine of the inventory tests, with module self-registration,
// property pages and a key that cannot be written added.
std::string Machine(const nlohmann::json& extra = nlohmann::json::object()) {
    const test::Bytes bytes = test::ReadBytes(std::string(TORVO_TEST_SOURCE_DIR) + "/inventory/machine.json");
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(bytes.begin(), bytes.end());
    j["servers"] = {{"C:\\WINDOWS\\system32\\xvid.ax", {{"DllRegisterServer", 0}, {"DllUnregisterServer", -2147467259}}},
                    {"C:\\many.ax", {{"DllUnregisterServer", 0}}}};
    for (const auto& [k, v] : extra.items()) j[k] = v;
    return j.dump();
}

struct Machine_ {
    std::unique_ptr<CRecordedPlatform> platform;
    std::unique_ptr<CodecInventory> inventory = std::make_unique<CodecInventory>();
    explicit Machine_(const std::string& json) : platform(std::make_unique<CRecordedPlatform>(json)) {
        EnumerationContext c{*platform, {}, [](const std::string&, const std::string&) {}};
        EnumerateInventory(*inventory, c);
    }
    CodecEntry& Named(std::string_view name) {
        for (int i = 0; i < inventory->Count(); ++i)
            if (inventory->At(i).name.View() == name) return inventory->At(i);
        ADD_FAILURE() << "no entry " << name;
        return inventory->At(0);
    }
};

// Records what was shown and answers from a script (OK when it runs out).
struct ScriptedMessages : IMessageBox {
    std::vector<std::pair<std::string, std::string>> shown;
    std::deque<MessageAnswer> answers;
    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon, MessageButtons) override {
        shown.emplace_back(caption, text);
        if (answers.empty()) return MessageAnswer::kOk;
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string Last() const { return shown.empty() ? "" : shown.back().second; }
};

TEST(CodecList, RowsColoursAndFileColumn) {
    Machine_ m(Machine());
    const ListTable table = CodecListTable(*m.inventory);
    ASSERT_EQ(table.rows.size(), size_t(m.inventory->Count()));
    EXPECT_EQ(table.title, "Все кодеки и фильтры  ");
    EXPECT_EQ(table.legend.size(), 6u);
    EXPECT_EQ(table.legend[2].text, "Рендер  ");
    struct Case {
        std::string_view name;
        uint32_t colour;
    };
    // Status first, whatever the kind; then renderer, splitter, decoder.
    const Case cases[] = {
        {"Video Renderer", listcolour::kRenderer},     {"AVI Splitter", listcolour::kSplitter},
        {"XviD MPEG-4 Video Decoder", listcolour::kDecoder}, {"Hidden Decoder", listcolour::kDisabled},
        {"Lost VFW", listcolour::kProblem},            {"Missing File Filter", listcolour::kProblem},
        {"AVI Decompressor", listcolour::kSpecial},    {"Many Pins", listcolour::kOther},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        const CodecEntry& e = m.Named(c.name);
        EXPECT_EQ(table.rows[size_t(e.index)].colour, c.colour);
        EXPECT_EQ(table.rows[size_t(e.index)].data, uint64_t(e.index));
    }
    // A disabled ACM driver says so in the file column; a problem's status text wins.
    CodecEntry& acm = m.inventory->At(0);
    acm.acmDisabled = 1;
    EXPECT_EQ(CodecListTable(*m.inventory).rows[0].cells[5], "Внимание: кодек отключен  ");
    EXPECT_EQ(table.rows[size_t(m.Named("Lost VFW").index)].cells[5], "** Не хватает файла   драйвера VFW");
    EXPECT_EQ(CodecListTable(*m.inventory, 7).preselected, 7);
}

TEST(CodecList, DetailsRowsInOrderSkippingBlankValues) {
    Machine_ m(Machine());
    auto props = [](const ListTable& t) {
        std::vector<std::string> out;
        for (const ListRow& r : t.rows) out.push_back(r.cells[0] + "|" + r.cells[1]);
        return out;
    };
    const ListTable xvid = DetailsTable(m.Named("XviD MPEG-4 Video Decoder"));
    EXPECT_EQ(xvid.title, "Детально о фильтре XviD MPEG-4 Video Decoder");
    // The format text " XVID    " begins with a blank: no 4CC row.
    EXPECT_EQ(props(xvid), (std::vector<std::string>{"REG|Имя файла  ", "- -|Tип ", "- -|Функция ",
                                                     "FIL|Описание файла  ", "DSH|Friendly Name",
                                                     "DSH|DirectShow CLSID", "REG|Приор"}));
    EXPECT_EQ(xvid.rows[2].cells[2], "Декодер");
    EXPECT_EQ(xvid.rows[3].cells[2], "XviD Dekoder");
    EXPECT_NE(xvid.rows[5].cells[2].find("{64697678-0000-0010-8000-00AA00389B71}"), std::string::npos);

    const ListTable lost = DetailsTable(m.Named("Missing File Filter"));
    EXPECT_EQ(props(lost)[0], "- -|**  Ошибка **");
    EXPECT_EQ(lost.rows[0].colour, listcolour::kProblem);
    const ListTable hidden = DetailsTable(m.Named("Hidden Decoder"));
    EXPECT_EQ(props(hidden)[0], "- -|Внимани: ");
    EXPECT_EQ(hidden.rows[0].colour, listcolour::kDisabled);
}

TEST(CodecList, MediaTypesAndTheFiltersOfAType) {
    Machine_ m(Machine());
    const CodecEntry& xvid = m.Named("XviD MPEG-4 Video Decoder");
    const auto rows = EntryMediaTypes(xvid);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].usage, 1);
    EXPECT_EQ(rows[1].usage, 2);
    const ListTable types = MediaTypeTable(&xvid, rows, {});
    EXPECT_EQ(types.title, "Найденные типы медиа  XviD MPEG-4 Video Decoder");
    EXPECT_EQ(types.rows[0].cells[0], " XVID    ");  // the FourCC, its prefix stripped
    EXPECT_EQ(types.rows[0].cells[1], "вход ");
    EXPECT_EQ(types.rows[1].cells[1], "выход ");
    EXPECT_EQ(types.rows[1].colour, listcolour::kRenderer);
    EXPECT_EQ(types.legend.size(), 2u);
    EXPECT_EQ(MediaTypeTable(&xvid, rows, {}, rows[1].pair).preselected, 1);

    // Every distinct pair once, unmarked, no legend, a hidden usage column.
    const auto all = AllMediaTypes(*m.inventory);
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].usage, 0);
        for (size_t j = 0; j < i; ++j) EXPECT_FALSE(all[i].pair == all[j].pair);
    }
    const ListTable allTable = MediaTypeTable(nullptr, all, {});
    EXPECT_EQ(allTable.title, "Зарегистрированные типы медиа");
    EXPECT_EQ(allTable.widths[1], 0);
    EXPECT_TRUE(allTable.legend.empty());

    // Writers of YV12: the decoder exactly, the splitter through its open output type.
    const ListTable writers = FiltersForType(*m.inventory, rows[1].pair, true, {});
    EXPECT_EQ(writers.title, "Фильтры, кодирующие в  YV12           ");
    bool exact = false, wildcard = false;
    for (const ListRow& r : writers.rows) {
        if (r.cells[2] == "XviD MPEG-4 Video Decoder") exact = r.cells[1] == " XVID    " && r.colour == listcolour::kSpecial;
        if (r.cells[2] == "AVI Splitter") wildcard = r.cells[1] == "{ * }" && r.colour == listcolour::kRenderer;
        EXPECT_NE(r.cells[2], "Video Renderer");  // reads YV12, does not write it
    }
    EXPECT_TRUE(exact);
    EXPECT_TRUE(wildcard);
    const ListTable readers = FiltersForType(*m.inventory, rows[1].pair, false, {});
    EXPECT_EQ(readers.title, "Фильтры, декодирующие из  YV12      ");
    EXPECT_EQ(readers.rows.at(0).cells[2], "Video Renderer");
}

TEST(CodecList, MenuEnablingFollowsKindAndExpertMode) {
    Machine_ m(Machine());
    auto enabled = [](const std::vector<CodecMenuItem>& items) {
        std::string out;
        for (const CodecMenuItem& i : items) out += i.enabled ? '1' : '0';
        return out;
    };
    const CodecEntry& dsh = m.Named("AVI Splitter");
    const CodecEntry& vfw = m.Named("DivX VFW");
    EXPECT_EQ(enabled(CodecRowMenu(dsh, false, false)), "110100");
    EXPECT_EQ(enabled(CodecRowMenu(dsh, true, true)), "111111");
    EXPECT_EQ(enabled(CodecRowMenu(vfw, true, false)), "110001");
    EXPECT_EQ(enabled(MediaTypeRowMenu(false, false)), "1101");
    EXPECT_EQ(enabled(MediaTypeRowMenu(false, true)), "1111");
    EXPECT_EQ(MediaTypeRowMenu(true, true).size(), 2u);
}

TEST(CodecList, ParseHexAndTheMeritScale) {
    const std::pair<std::string_view, uint32_t> loose[] = {
        {"0x600000", 0x600000}, {"600000", 0x600000}, {"0X1f", 0x1f}, {"0x60g", 0xFFFFFFFF}, {"12 ", 0xFFFFFFFF}, {"", 0}};
    for (const auto& [text, value] : loose) EXPECT_EQ(ParseHex(text), value) << text;
    const std::pair<std::string_view, std::optional<uint32_t>> strict[] = {
        {" 0x00800000 ", 0x800000}, {"ff", 0xff}, {"0x", std::nullopt}, {"", std::nullopt},
        {"123456789", std::nullopt}, {"0x60g", std::nullopt}};
    for (const auto& [text, value] : strict) EXPECT_EQ(ParseHexStrict(text), value) << text;
    EXPECT_EQ(MeritScalePlace(0x800000), 0.5);
    EXPECT_EQ(MeritScalePlace(kMeritScaleTop), 1.0);
    EXPECT_FALSE(MeritScalePlace(kMeritScaleTop + 1));
}

TEST(CodecManagement, MeritChangeHoldsOnlyWhenEveryRegistrationReadsItBack) {
    {
        Machine_ m(Machine());
        ScriptedMessages messages;
        CodecEntry& mp3 = m.Named("MPEG Layer-3 Decoder");
        uint32_t offered = 0;
        EXPECT_TRUE(ChangeMerit(*m.platform, mp3, messages, [&](uint32_t current) {
            offered = current;
            return std::optional<uint32_t>(0x00800000);
        }));
        EXPECT_EQ(offered, 0x00600000u);
        EXPECT_EQ(messages.Last(), "Приоритет успешно изменен с 0x00600000 на 0x00800000    \r\n");
        EXPECT_EQ(mp3.registration.meritText.View(), "0x00800000");
        // Each registration kept its own pins.
        FilterPins block{};
        FindInstances(*m.platform, {"CLSID", "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}"}, &block);
        EXPECT_EQ(block.pinCount, 2);
    }
    {
        // One of its two registrations cannot be written.
        Machine_ m(Machine({{"readOnlyKeys",
                             {"HKCU\\Software\\Microsoft\\ActiveMovie\\devenum\\{083863F1-70DE-11D0-BD40-00A0C911CE86}"
                              "\\MPEG Layer-3 Decoder"}}}));
        ScriptedMessages messages;
        CodecEntry& mp3 = m.Named("MPEG Layer-3 Decoder");
        EXPECT_FALSE(ChangeMerit(*m.platform, mp3, messages, [](uint32_t) { return std::optional<uint32_t>(0x900000); }));
        EXPECT_EQ(messages.Last(), "Приоритет не меняется. \r\n");
        EXPECT_EQ(mp3.registration.meritText.View(), "0x00600000");
    }
    {
        Machine_ m(Machine());
        ScriptedMessages messages;
        bool asked = false;
        auto prompt = [&](uint32_t) {
            asked = true;
            return std::optional<uint32_t>();
        };
        // Nothing registered: no dialog.
        EXPECT_FALSE(ChangeMerit(*m.platform, m.Named("Many Pins"), messages, prompt));
        EXPECT_EQ(messages.Last(), "Приоритет кодека недоступен       ");
        EXPECT_FALSE(asked);
        // VFW: the warning first; Cancel ends it.
        messages.answers = {MessageAnswer::kCancel};
        EXPECT_FALSE(ChangeMerit(*m.platform, m.Named("DivX VFW"), messages, prompt));
        EXPECT_EQ(messages.shown.back().first, "Приорит\x65т");
        EXPECT_FALSE(asked);
    }
}

TEST(CodecManagement, RegisterFilterResults) {
    Machine_ m(Machine());
    struct Case {
        std::string_view entry;
        bool unregister;
        std::string_view message;
    };
    const Case cases[] = {
        {"XviD MPEG-4 Video Decoder", false, "Перерегистрация выполнена.      "},
        {"XviD MPEG-4 Video Decoder", true, "Function failed: DllUnregisterServer failed"},
        {"Many Pins", false, "Function failed: No DllRegisterServer entry point"},
        {"Many Pins", true, "Разрегистрация выполнена успешно"},
        {"AVI Splitter", false, "Function failed: Unable to load module."},
        {"Unregistered Filter", false, "Function failed: No path to driver file available."},
    };
    for (const Case& c : cases) {
        ScriptedMessages messages;
        RegisterFilter(*m.platform, m.Named(c.entry), c.unregister, messages);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].first, "Восстановление  ");
        EXPECT_EQ(messages.shown[0].second, c.message) << c.entry;
    }
    EXPECT_STREQ(RegisterFilterMessage(9, false), "Функция не сработала: ошибка!   ");
    // The class merit goes first, whatever the outcome.
    uint32_t merit = 0;
    ScriptedMessages messages;
    RegisterFilter(*m.platform, m.Named("MPEG Layer-3 Decoder"), false, messages);
    EXPECT_FALSE(ReadClassMerit(*m.platform, "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}", merit));
}

TEST(CodecManagement, RemovingATypeRemovesTheOneOfTheRow) {
    Machine_ m(Machine());
    CodecEntry& xvid = m.Named("XviD MPEG-4 Video Decoder");
    const auto rows = EntryMediaTypes(xvid);
    ScriptedMessages messages;
    messages.answers = {MessageAnswer::kCancel};
    EXPECT_FALSE(RemoveEntryMediaType(*m.platform, xvid, rows[1], {}, messages));
    EXPECT_EQ(messages.shown.back().first, "Удалить медиатип");
    EXPECT_NE(messages.Last().find("for codec XviD MPEG-4 Video Decoder"), std::string::npos);
    // XviD is registered only through the enumeration here: nothing to remove from.
    EXPECT_FALSE(RemoveEntryMediaType(*m.platform, xvid, rows[1], {}, messages));
    EXPECT_EQ(messages.Last(), "Не удалось удалить подтип     ");

    // The output type, although the decoder's second registration has no output pin.
    CodecEntry& mp3 = m.Named("MPEG Layer-3 Decoder");
    const auto mp3Rows = EntryMediaTypes(mp3);
    ASSERT_EQ(mp3Rows.size(), 2u);
    EXPECT_TRUE(RemoveEntryMediaType(*m.platform, mp3, mp3Rows[1], {}, messages));
    EXPECT_EQ(messages.Last(), "Подтип медиа удален  ");
    const auto after = EntryMediaTypes(mp3);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(after[0].pair == mp3Rows[0].pair);
}

TEST(FilterOverrides, StoreRoundTripRanksAndChildEnvironment) {
    testing::ScratchDir scratch;
    const testing::ScopedEnv config("XDG_CONFIG_HOME", scratch.path().c_str());
    EXPECT_EQ(CFilterOverrides::DefaultPath(), (scratch / "Quellmark/TorvoFilters.conf").string());

    CFilterOverrides store;
    store.Edit("avdec_h264").merit = 0x00300000;
    store.Edit("mpeg2dec").unregistered = true;
    store.Edit("mpeg2dec").merit = 0x00800000;
    store.Edit("vorbisdec").removed.push_back({true, {guids::kMediaTypeAudio, guids::kSubtypePcm}});
    store.Edit("nothing");  // an entry that changes nothing is not kept
    ASSERT_TRUE(store.Save(CFilterOverrides::DefaultPath()));
    CFilterOverrides loaded;
    ASSERT_TRUE(loaded.Load(CFilterOverrides::DefaultPath()));
    EXPECT_EQ(loaded.Text(), store.Text());
    EXPECT_EQ(loaded.Filters().size(), 3u);
    EXPECT_EQ(loaded.Rank("avdec_h264"), RankFromMerit(0x00300000));
    EXPECT_EQ(loaded.Rank("mpeg2dec"), 0u);  // unregistered beats its merit
    EXPECT_FALSE(loaded.Rank("vorbisdec"));
    EXPECT_EQ(loaded.RankEnvironment("x:1"), "x:1,avdec_h264:32,mpeg2dec:0");

    // Damaged lines are skipped, the rest holds.
    CFilterOverrides parsed;
    parsed.Parse("[bad name]\nMerit=0x1\n[ok]\nMerit=0xzz\nMerit=0x00000010\nRemoved=in {x} {y}\nnoise\n");
    EXPECT_EQ(parsed.Filters().size(), 1u);
    EXPECT_EQ(parsed.Find("ok")->merit, 0x10u);
    EXPECT_TRUE(parsed.Find("ok")->removed.empty());

    // Nothing left: the file goes.
    ASSERT_TRUE(CFilterOverrides().Save(CFilterOverrides::DefaultPath()));
    EXPECT_FALSE(std::filesystem::exists(CFilterOverrides::DefaultPath()));
    EXPECT_TRUE(loaded.Load(CFilterOverrides::DefaultPath()));
    EXPECT_TRUE(loaded.Filters().empty());
}

}  // namespace
}  // namespace torvo
