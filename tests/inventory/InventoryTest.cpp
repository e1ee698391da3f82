// The inventory rules against a recorded machine: the enumeration passes,
// post-processing, registration data, version texts, the worker thread and
// the crash guard.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TestUtil.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "base/Text.h"
#include "inventory/Enumeration.h"
#include "inventory/InventoryService.h"
#include "platform/recorded/RecordedPlatform.h"

namespace torvo {
namespace {

std::string Fixture(const std::string& name) {
    const test::Bytes bytes = test::ReadBytes(std::string(TORVO_TEST_SOURCE_DIR) + "/inventory/" + name);
    return std::string(bytes.begin(), bytes.end());
}

const CReadDatabase& Database() {
    static CReadDatabase db;
    static const bool loaded = db.Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {});
    EXPECT_TRUE(loaded);
    return db;
}

struct Gathered {
    std::unique_ptr<CRecordedPlatform> platform;
    std::unique_ptr<CodecInventory> inventory = std::make_unique<CodecInventory>();
    std::vector<std::pair<std::string, std::string>> messages;
    CrashRecord crash;

    explicit Gathered(const std::string& json) : platform(std::make_unique<CRecordedPlatform>(json)) {
        inventory->crashRecord = &crash;
        EnumerationContext c{*platform, DatabaseGuidNames(Database()),
                             [this](const std::string& a, const std::string& b) { messages.emplace_back(a, b); }};
        EnumerateInventory(*inventory, c);
    }
    const CodecEntry* Named(std::string_view name) const {
        for (int i = 0; i < inventory->Count(); ++i)
            if (inventory->At(i).name.View() == name) return &inventory->At(i);
        return nullptr;
    }
};

TEST(InventoryEnumeration, RecordedMachineGivesEveryEntryInPassOrder) {
    Gathered g(Fixture("machine.json"));
    const CodecInventory& inv = *g.inventory;
    ASSERT_TRUE(inv.finished);
    EXPECT_TRUE(inv.enumerated);
    EXPECT_EQ(inv.acmWrapperPath.View(), "C:\\WINDOWS\\system32\\quartz.dll");

    struct Row {
        std::string_view kind, format, name, identifier, merit, fileColumn;
        int status;
    };
    // ACM tags, driver cache (merged, orphans), renderers, filters; the
    // duplicates of the renderers, the capture proxy and the unbindable one are gone.
    const Row expected[] = {
        {"ACM", "DVI_ADPCM", "Microsoft IMA ADPCM CODEC", "msacm.imaadpcm", "", "quartz.dll --> imaadp32.acm", 0},
        {"ACM", "MP3", "Fraunhofer (english)", "msacm.l3acm", "0x00200000", "quartz.dll --> l3codeca.acm", 0},
        {"ACM", "FmtTag: 0x0000    ", "", "msacm.orphan", "", "** Пропал  файл: C:\\WINDOWS\\system32\\orphan.acm", 2},
        {"ACM", "FmtTag: 0x0000    ", "", "msacm.noversion", "", "** Пропал  файл: nover.acm", 2},
        {"REND", "YV12", "Video Renderer", "{6BC1CFFA-8FC1-4261-AC22-CFB4CC38DB50}", "0x00800001", "quartz.dll", 0},
        {"REND", "PCM", "Default DirectSound Device", "{79376820-07D0-11CF-A24D-0020AFD79767}", "0x00800000", "quartz.dll", 0},
        {"REND", "", "KS Renderer", "{17CCA71B-ECD7-11D0-B908-00A0C9223196}", "0x00200000", "ksproxy.ax", 0},
        {"DSH", "Avi", "AVI Splitter", "{1B544C20-FD0B-11CE-8C63-00AA0044B51E}", "0x00600000", "quartz.dll", 0},
        {"DSH", " XVID    ", "XviD MPEG-4 Video Decoder", "{64697678-0000-0010-8000-00AA00389B71}", "0x00600000", "xvid.ax", 0},
        {"DSH", "MP3", "MPEG Layer-3 Decoder", "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}", "0x00600000", "l3codecx.ax", 0},
        {"DSH", "MP42", "Hidden Decoder", "{11111111-2222-3333-4444-555555555555}", "0x00600000", "Отключен by MMCompView", 1},
        {"VFW", "DX50", "DivX VFW", "vidc.dx50", "", "quartz.dll --> divx.dll", 0},
        {"VFW", "ABCD", "Lost VFW", "vidc.abcd", "", "** Не хватает файла   драйвера VFW", 2},
        {" ¤ ", "", "AVI Decompressor", "{CF49D4E0-1115-11CE-B03A-0020AF0BA770}", "0x00600000", "quartz.dll", 0},
        {"DSH", " 0000    ", "Many Pins", "{22222222-2222-3333-4444-555555555555}", "0x00200000", "many.ax", 0},
        {"DSH", "", "Unregistered Filter", "{33333333-2222-3333-4444-555555555555}", "", "** Файл пропал:  ", 2},
        {"DSH", " ZZZZ    ", "Missing File Filter", "{44444444-2222-3333-4444-555555555555}", "0x00200000",
         "** Файл пропал:  C:\\gone\\missing.ax", 2},
    };
    ASSERT_EQ(inv.Count(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < inv.Count(); ++i) {
        const CodecEntry& e = inv.At(i);
        const Row& r = expected[i];
        SCOPED_TRACE(std::string(r.name) + " #" + std::to_string(i));
        EXPECT_EQ(e.index, i);
        EXPECT_EQ(e.indexText.View(), Format("%03d", i));
        EXPECT_EQ(KindLabel(e.kind), r.kind);
        EXPECT_EQ(e.formatText.View(), r.format);
        EXPECT_EQ(e.name.View(), r.name);
        EXPECT_EQ(e.identifier.View(), r.identifier);
        EXPECT_EQ(e.registration.meritText.View(), r.merit);
        EXPECT_EQ(e.status, r.status);
        EXPECT_EQ(e.status ? e.statusText.View() : e.displayPath.View(), r.fileColumn);
    }
}

TEST(InventoryEnumeration, EntryDetailsFollowTheirRules) {
    Gathered g(Fixture("machine.json"));
    // ACM entries: priority list, driver cache, and the two-pin registration.
    const CodecEntry& l3 = g.inventory->At(1);
    EXPECT_EQ(l3.acmPriority, 3);
    EXPECT_EQ(l3.acmDisabled, 1);
    EXPECT_EQ(g.inventory->At(0).acmPriority, 1);
    EXPECT_EQ(g.inventory->At(0).acmDisabled, 0);
    EXPECT_EQ(g.inventory->At(0).version.texts[kCompanyName].View(), "Microsoft Corporation");
    EXPECT_EQ(g.inventory->At(2).acmDriver.longName.View(), "[Orphaned Driver32 Entry]");
    ASSERT_EQ(l3.registration.pinCount, 2);
    EXPECT_EQ(l3.registration.pins[0].types[0].subtype, FormatTagGuid(0x55));
    EXPECT_TRUE(l3.registration.pins[1].output);
    EXPECT_TRUE(l3.registration.pins[1].types[0].subtype.IsNull());
    for (int i = 0; i < g.inventory->Count(); ++i) EXPECT_NE(g.inventory->At(i).acmFormatTag.formatTag, 1u);

    // The colon-disabled filter keeps its CLSID without the colon.
    const CodecEntry* hidden = g.Named("Hidden Decoder");
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->clsid, G("{11111111-2222-3333-4444-555555555555}"));

    // A VFW codec under the AVI compressor's CLSID: the decompressor's CLSID
    // text, the driver's ICINFO and one FourCC pin each way.
    const CodecEntry* divx = g.Named("DivX VFW");
    ASSERT_TRUE(divx);
    EXPECT_EQ(divx->clsidText.View(), "{CF49D4E0-1115-11CE-B03A-0020AF0BA770}");
    EXPECT_EQ(divx->vfwDescription.View(), "DivX 5 codec");
    EXPECT_EQ(divx->registration.pins[0].types[0].subtype, FourccGuid("DX50"));
    EXPECT_EQ(g.Named("AVI Decompressor")->version.texts[kCompanyName].View(), "[VFW wrapper]");

    // Nine pins keep six, 200 types keep 128, a type without subtype is null.
    const CodecEntry* many = g.Named("Many Pins");
    ASSERT_TRUE(many);
    EXPECT_EQ(many->registration.pinCount, 6);
    EXPECT_EQ(many->registration.pins[0].typeCount, 128);
    EXPECT_EQ(many->registration.pins[1].typeCount, 1);
    EXPECT_TRUE(many->registration.pins[1].types[0].major.IsNull());

    // Only one translation (German) is read as it is; the file of the
    // decoder found on the search path has no version.
    EXPECT_EQ(g.Named("XviD MPEG-4 Video Decoder")->version.texts[kFileDescription].View(), "XviD Dekoder");
    EXPECT_TRUE(g.messages.empty());
    EXPECT_EQ(g.crash.state.load(), kCrashNone);
}

TEST(InventoryEnumeration, FailuresStopEarlyOrLeaveNoEntries) {
    // No filter mapper: the two message boxes, nothing enumerated.
    Gathered noMapper(R"({"mapperFailure": 2147746132})");
    EXPECT_TRUE(noMapper.inventory->finished);
    EXPECT_FALSE(noMapper.inventory->enumerated);
    ASSERT_EQ(noMapper.messages.size(), 2u);
    EXPECT_EQ(noMapper.messages[0].first, "Ошибка нумерации кодека");
    EXPECT_TRUE(noMapper.messages[1].second.starts_with("Ошибка = класс не зарегистр.."));
    Gathered otherFailure(R"({"mapperFailure": 5})");
    EXPECT_TRUE(otherFailure.messages[1].second.starts_with("quartz.dll повреждена"));

    // No COM: finished, empty, silent.
    Gathered noCom(R"({"com": false, "acm": [{"longName": "x", "formatTags": [{"tag": 2}]}]})");
    EXPECT_TRUE(noCom.inventory->finished);
    EXPECT_EQ(noCom.inventory->Count(), 0);
    EXPECT_TRUE(noCom.messages.empty());

    // DMOs: a missing library gives none; present ones get two pins, their
    // merit and the wrapper in the display path.
    Gathered dmo(R"({"dmo": {"video": [{"clsid": "{AAAAAAAA-2222-3333-4444-555555555555}", "name": "WMV DMO",
        "inputs": [["{73646976-0000-0010-8000-00AA00389B71}", "{33564D57-0000-0010-8000-00AA00389B71}"]],
        "outputs": [["{73646976-0000-0010-8000-00AA00389B71}", "{32315659-0000-0010-8000-00AA00389B71}"]]}],
        "audio": [{"clsid": "{BBBBBBBB-2222-3333-4444-555555555555}", "name": "Lost DMO"}]},
      "registry": {
        "HKLM\\Software\\Classes\\CLSID\\{94297043-BD82-4DFD-B0DE-8177739C6D20}\\InProcServer32": {"": "qdvd.dll"},
        "HKLM\\Software\\Classes\\CLSID\\{AAAAAAAA-2222-3333-4444-555555555555}\\InProcServer32": {"": "wmvdecod.dll"},
        "HKCR\\CLSID\\{AAAAAAAA-2222-3333-4444-555555555555}": {"Merit": 6291457}},
      "files": ["qdvd.dll", "wmvdecod.dll"]})");
    ASSERT_EQ(dmo.inventory->Count(), 2);
    const CodecEntry& wmv = dmo.inventory->At(0);
    EXPECT_EQ(wmv.kind, kKindDmo);
    EXPECT_EQ(wmv.displayPath.View(), "qdvd.dll --> wmvdecod.dll");
    EXPECT_EQ(wmv.registration.meritText.View(), "0x00600001");
    EXPECT_EQ(wmv.formatText.View(), "WMV3");
    EXPECT_EQ(wmv.status, 0);
    EXPECT_EQ(dmo.inventory->At(1).statusText.View(), "** Кодек не зарегистрир");
    EXPECT_EQ(Gathered(Fixture("machine.json")).inventory->Count(), 17);
}

constexpr const char* kCrashingFilter = R"({"filters": [
        {"renderer": true, "FriendlyName": "Good Renderer", "CLSID": "{79376820-07D0-11CF-A24D-0020AFD79767}"},
        {"FriendlyName": "Bad Filter", "CLSID": "{66666666-2222-3333-4444-555555555555}", "crash": "FilterData"},
        {"FriendlyName": "Never Reached", "CLSID": "{77777777-2222-3333-4444-555555555555}"}],
      "dmo": {"video": [{"clsid": "{AAAAAAAA-2222-3333-4444-555555555555}", "name": "After Crash"}]}})";

TEST(InventoryEnumeration, CrashInAFilterIsRecordedAndEndsOnlyThatPass) {
    Gathered g(kCrashingFilter);
    EXPECT_EQ(g.crash.state.load(), kCrashInInventory);
    EXPECT_EQ(g.crash.culpritName.View(), "Bad Filter");
    ASSERT_EQ(g.inventory->Count(), 2);  // the renderer, then the DMO pass went on
    EXPECT_EQ(g.inventory->At(1).name.View(), "After Crash");

    const std::string report = TakeCrashReport(g.crash, "/usr/bin/torvo");
    EXPECT_TRUE(report.starts_with("Внимание: При попытке Torvo получить информацию о кодеке GStreamer рухнул."));
    EXPECT_NE(report.find("Предположительно, это кодек:\n\nBad Filter"), std::string::npos);
    EXPECT_EQ(g.crash.state.load(), kCrashReported);
    EXPECT_TRUE(TakeCrashReport(g.crash, "/usr/bin/torvo").empty());
    EXPECT_NE(CrashReportText(kCrashInRender, "", "", "").find("не удалась"), std::string::npos);
}

TEST(Registration, InstancesMeritsAndMediaTypes) {
    CRecordedPlatform p(Fixture("machine.json"));
    const InstanceQuery mp3{"CLSID", "{38be3000-dbf4-11d0-860e-00a024cfef6d}"};
    // Registered in the DirectShow category and in the device enumerator's cache.
    FilterPins block{};
    EXPECT_EQ(FindInstances(p, mp3, &block), 2);
    EXPECT_EQ(block.pinCount, 2);  // a later match with fewer pins leaves the block

    // A merit change rewrites both instances.
    std::optional<RegFilter2> filter;
    size_t size = 0;
    ASSERT_EQ(FindInstances(p, mp3, nullptr, &filter, &size), 2);
    ASSERT_TRUE(filter);
    EXPECT_GT(size, 0u);
    filter->merit = 0x00800000;
    EXPECT_EQ(FindInstances(p, mp3, nullptr, &filter, nullptr, true), 2);
    EXPECT_FALSE(filter);
    FilterPins after{};
    FindInstances(p, mp3, &after);
    EXPECT_EQ(after.meritText.View(), "0x00800000");

    // Removing type 0 of a pin with one type leaves it with none; beyond the last type nothing happens.
    EXPECT_TRUE(RemoveMediaType(p, mp3, 0));
    FilterPins removed{};
    FindInstances(p, mp3, &removed);
    // The last match's registration (one pin) is written back to every match.
    EXPECT_EQ(removed.pinCount, 1);
    EXPECT_EQ(removed.pins[0].typeCount, 0);
    EXPECT_FALSE(RemoveMediaType(p, mp3, 5));

    uint32_t merit = 0;
    EXPECT_TRUE(ReadClassMerit(p, "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}", merit));
    EXPECT_EQ(merit, 0x00600000u);
    EXPECT_TRUE(WriteClassMerit(p, "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}", 7));
    EXPECT_TRUE(ReadClassMerit(p, "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}", merit));
    EXPECT_EQ(merit, 7u);
    EXPECT_TRUE(DeleteClassMerit(p, "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}"));
    EXPECT_FALSE(ReadClassMerit(p, "{38BE3000-DBF4-11D0-860E-00A024CFEF6D}", merit));

    // The ACM wrapper's own instances are not searched in the audio compressors' cache.
    EXPECT_EQ(FindInstances(p, {"AcmId", "", 85}, &block), 1);
}

TEST(Registration, VersionTranslationChoice) {
    CRecordedPlatform p(R"({"language": 1049, "versions": {
        "ru": {"translations": [[1033, 1200], [1049, 1251]], "strings": {"\\StringFileInfo\\041904E3\\ProductName": "по-русски",
               "\\StringFileInfo\\040904B0\\ProductName": "english"}},
        "neutral": {"translations": [[1031, 1252], [0, 1200]], "strings": {"\\StringFileInfo\\000004B0\\ProductName": "neutral"}},
        "broken": {"readFails": true}}})");
    std::vector<std::string> shown;
    CFileVersionInfo info(p, [&](const std::string& caption, const std::string&) { shown.push_back(caption); });
    ASSERT_TRUE(info.Read("ru"));
    EXPECT_EQ(info.strings[kProductName], "по-русски");
    ASSERT_TRUE(info.Read("neutral"));
    EXPECT_EQ(info.strings[kProductName], "neutral");
    EXPECT_FALSE(info.Read("missing"));
    EXPECT_FALSE(info.Read(""));
    EXPECT_FALSE(info.Read("broken"));
    EXPECT_EQ(shown, std::vector<std::string>{"Warning"});
}

TEST(InventoryService, GathersOnItsThreadPublishesOnTickAndTimesOut) {
    CInventoryService service(EnumerationGatherer(
        [] { return std::make_unique<CRecordedPlatform>(Fixture("machine.json")); }, DatabaseGuidNames(Database())));
    bool codecInfo = false;
    service.Start(codecInfo);
    EXPECT_FALSE(service.Running());  // codec interaction off: nothing starts
    codecInfo = true;
    EXPECT_EQ(service.Wait(codecInfo), CInventoryService::WaitResult::kPublished);
    ASSERT_TRUE(service.Published());
    EXPECT_EQ(service.StatusText(), "Готово (есть 17 кодеков)");
    EXPECT_EQ(service.Progress(), 17);

    // Each service keeps the record of the crashes its own enumeration caught.
    CInventoryService crashing(
        EnumerationGatherer([] { return std::make_unique<CRecordedPlatform>(kCrashingFilter); }, {}));
    EXPECT_EQ(crashing.Wait(codecInfo), CInventoryService::WaitResult::kPublished);
    EXPECT_EQ(crashing.Crash().state.load(), kCrashInInventory);
    EXPECT_EQ(crashing.Crash().culpritName.View(), "Bad Filter");
    EXPECT_EQ(service.Crash().state.load(), kCrashNone);

    std::atomic<bool> release{false};
    CInventoryService slow([&release](CodecInventory& inventory, std::vector<InventoryMessage>&) {
        inventory.SetCount(1);
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    int ticks = 0;
    EXPECT_EQ(slow.Wait(codecInfo, false, [&] { ++ticks; }, 1, 5), CInventoryService::WaitResult::kTimedOut);
    EXPECT_FALSE(codecInfo);
    EXPECT_EQ(ticks, 5);
    EXPECT_TRUE(slow.StatusText().empty());
    const auto messages = slow.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Не грузится кодек ");
    EXPECT_EQ(messages[0].text, "Ожидание сведений о кодеках.   ");
    release = true;

    // Preloading starts after 2000 ms of 51 ms steps when asked for.
    CInventoryService preload([](CodecInventory&, std::vector<InventoryMessage>&) {});
    for (int i = 0; i < 39; ++i) preload.PreloadTick(true, true);
    EXPECT_EQ(preload.Published(), nullptr);
    EXPECT_FALSE(preload.Running() || preload.Progress());
    preload.PreloadTick(true, true);
    bool on = true;
    EXPECT_EQ(preload.Wait(on), CInventoryService::WaitResult::kPublished);
}

}  // namespace
}  // namespace torvo
