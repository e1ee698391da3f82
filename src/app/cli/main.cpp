// torvo-cli: analyses the named media files and prints their reports.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <chrono>
#include <iostream>
#include <memory>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "CliCodecs.h"
#include "CliInform.h"
#include "CliOptions.h"
#include "CliRun.h"
#include "VgsPng.h"
#include "CliChains.h"
#include "CliRender.h"
#include "OnDemandSettingsStore.h"
#include "base/GuidText.h"
#include "platform/gstreamer/render/ChildChainPlatform.h"
#include "platform/gstreamer/render/ChildRenderPlatform.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "codecdb/ShippedDatabase.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/GstOnDemand.h"
#include "settings/Prefs.h"
#include "settings/ProgramLocation.h"
#include "run/RunSession.h"
#include "base/Translate.h"

namespace {

std::atomic<bool> interrupted{false};

// Ctrl+C stops a running scan and ends the run; a second one ends the program at once.
extern "C" void OnInterrupt(int) {
    if (interrupted.exchange(true)) std::_Exit(torvo::cli::kInterruptedStatus);
}

// A database table as the menu lists it: title, column headers, then one line per entry.
void PrintListing(const torvo::DatabaseListing& listing) {
    using torvo::Localise;
    std::cout << Localise(listing.title) << "\n"
              << Localise(listing.columns[0]) << "\t" << Localise(listing.columns[1]) << "\t"
              << Localise(listing.columns[2]) << "\n";
    for (const auto& row : listing.rows)
        std::cout << Localise(row[0]) << "\t" << Localise(row[1]) << "\t" << Localise(row[2]) << "\n";
}

// The stored export settings with the command line's overrides for this run.
torvo::ExportSettings ExportSettingsFor(const torvo::CPrefs& prefs, const torvo::cli::ExportOverrides& o) {
    torvo::ExportSettings s;
    s.enabled = prefs.exportEnabled != 0 || o.enable;
    s.mode = o.mode.value_or(prefs.exportMode);
    s.formatSrc = o.formatSrc.value_or(prefs.exportFormatSrc);
    s.overwriteOk = prefs.exportOverwriteOk != 0 || o.overwrite;
    s.path = o.mode == 2 ? o.modeTarget : prefs.exportPath;
    s.file = o.mode == 3 ? o.modeTarget : prefs.exportFile;
    s.templateName = o.formatSrc == 2 ? o.templateFile : prefs.exportNameOfFileForFormat;
    s.windows1251 = prefs.exportEncoding == torvo::kExportEncodingCp1251;
    return s;
}

// The reports are whole, but GStreamer could not be asked about any codec.
constexpr int kExitCodecsUndetermined = 5;

}  // namespace

int main(int argc, char** argv) {
    using namespace torvo;
    cli::Options options;
    std::string error;
    const bool parsed = cli::ParseOptions(argc, argv, options, error);
    UseLanguage(options.language);
    if (!parsed) {
        // One line says what is wrong; the whole help is one option away.
        std::cerr << "torvo-cli: " << error << "\nTry 'torvo-cli --help'.\n";
        return 2;
    }
    if (options.showHelp) {
        std::cout << cli::UsageText();
        return 0;
    }
    if (options.listFormats) {
        cli::PrintFormatList(std::cout, options.format == cli::OutputFormat::kJson);
        return 0;
    }
    if (options.showVersion) {
        std::cout << "torvo-cli " << TORVO_VERSION << "\n";
        return 0;
    }

    // A template that cannot serve is wrong usage, told before any output.
    std::optional<std::string> informText;
    if (options.format == cli::OutputFormat::kInform) {
        informText = cli::InformTemplate(options.informTemplate, error);
        if (!informText) {
            std::cerr << "torvo-cli: " << Localise(error) << "\n";
            return 2;
        }
    }

    // Merit changes come first, so that a --codecs of the same run shows them.
    for (const auto& [factory, merit] : options.meritChanges) {
        std::string message;
        if (!WriteFactoryMeritOnDemand(factory, merit, message)) {
            std::cerr << "torvo-cli: " << Localise(message) << "\n";
            return 2;
        }
        std::cout << Localise(message) << "\n";
    }
    if (options.files.empty() && options.listFiles.empty() && !options.listCodecs && !options.listVideoCodecs &&
        !options.listAudioFormats)
        return 0;

    // The program cannot run without its codec database. It is found first
    // and parsed while the inventory (keyed on its file) starts.
    CReadDatabase database(&ShippedCompactDatabase());
    const bool found = options.databasePath.empty() ? database.OpenFile(kDbFileName, DatabaseSearch::Default())
                                                    : database.OpenFile(options.databasePath, {});
    auto failed = [&database] {
        const UserMessage& m = database.LastMessage();
        std::cerr << Localise(m.caption) << ": " << Localise(m.text) << "\n";
        return 3;
    };
    if (!found) return failed();

    const bool fileRun = !options.files.empty() || !options.listFiles.empty();
    const bool errorsToTerminal = ::isatty(STDERR_FILENO) == 1;
    auto store = OpenUserSettingsStoreOnDemand();
    CPrefs prefs(*store, ProgramDir());
    if (fileRun) {
        prefs.Load();
        if (!store->LoadError().empty())
            std::cerr << "torvo-cli: the settings cannot be read: " << store->LoadError() << "\n";
    }

    // The codec inventory is gathered only when a list or a status asks for it.
    GstGatherOptions gathering;
    gathering.useCache = !options.noCache;
    // The stamp of the file as it was opened and read.
    gathering.extraKey = FileStamp(database.Path(), database.FileInfo());
    gathering.versionTexts = options.listCodecs || options.render || !options.chains.empty();
    // A run that only asks for statuses answers from earlier runs where it can.
    if (!gathering.versionTexts) gathering.answersStamp = FileStamp("/proc/self/exe");
    if (errorsToTerminal)
        gathering.beforeEnumeration = [] {
            std::cerr << "\r\033[K"
                      << Tr("torvo-cli: собираю сведения об установленных кодеках (при первом запуске это займёт несколько секунд)…")
                      << "\n" << std::flush;
        };
    // An enumeration names GUIDs through the database: it waits for the parse.
    std::promise<void> parsing;
    GuidNameLookup guidNames = [lookup = DatabaseGuidNames(database), parsed = parsing.get_future().share()](
                                   std::string_view key, std::string& name) {
        parsed.wait();
        return lookup(key, name);
    };
    CInventoryService inventory(GstInventoryGathererOnDemand(guidNames, gathering));
    // Sent however main ends, before the inventory's worker is joined.
    struct ParsedSignal {
        std::promise<void>& promise;
        bool sent = false;
        void Send() {
            if (!sent) promise.set_value();
            sent = true;
        }
        ~ParsedSignal() { Send(); }
    } parsedSignal{parsing};
    // As the desktop program does with the preload preference: the inventory
    // is gathered on its thread while the database is parsed and the first
    // files are analysed.
    if (fileRun && prefs.preloadCodecInfo != 0) inventory.Start(prefs.useCodecInfo != 0);
    const bool loaded = database.ReadAllSections();
    parsedSignal.Send();
    if (!loaded) return failed();

    if (options.listVideoCodecs) PrintListing(ListVideoCodecs(database));
    if (options.listAudioFormats) {
        if (options.listVideoCodecs) std::cout << "\n";
        PrintListing(ListAudioFormats(database));
    }
    auto printMessages = [&inventory] {
        for (const InventoryMessage& m : inventory.TakeMessages())
            std::cerr << Localise(m.caption) << ": " << Localise(m.text) << "\n";
    };
    if (options.listCodecs) {
        if (options.listVideoCodecs || options.listAudioFormats) std::cout << "\n";
        bool on = true;
        inventory.Wait(on, true);
        printMessages();
        if (CodecInventory* published = inventory.Published()) {
            cli::PrintCodecList(std::cout, *published, options.format == cli::OutputFormat::kJson,
                                DatabaseGuidNames(database));
            if (!fileRun && !published->unavailable.empty()) return kExitCodecsUndetermined;
        }
    }
    if (!fileRun) return 0;

    ExportSettings exportSettings = ExportSettingsFor(prefs, options.exportOverrides);

    cli::RunContext context;
    context.progress = errorsToTerminal;
    context.driverOptions.useCodecInfo = prefs.useCodecInfo != 0;
    context.driverOptions.scanEntireFile = options.scan.value_or(prefs.scanEntireFile != 0);
    context.interrupted = &interrupted;
    std::signal(SIGINT, OnInterrupt);
    if (!options.vgsPath.empty()) {
        context.driverOptions.scanEntireFile = true;  // the picture comes from the scan
        context.writeVgs = [&options](const CAnalysisDriver& driver) { return cli::WriteVgsPicture(driver, options.vgsPath); };
    }
    UseDatabaseNames(context.driverOptions, database);
    // Reports that need nothing but their file are analysed on every core.
    context.analysisThreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    CStreamMessageBox errorMessages(std::cerr);
    // A time-out, or codec use found broken by the render test, switches codec
    // use off for the rest of the run; a command-line run leaves the stored
    // settings alone.
    const StoredSwitches switches{&prefs, false, true, false};
    context.driverOptions.waitForInventory =
        InventoryWaitFor(inventory, switches, [&errorMessages]() -> IMessageBox& { return errorMessages; });
    context.exportSettings = &exportSettings;
    // A failed export switches export off for the rest of the run; the exit
    // status says so, and the stored settings are left alone.
    if (informText) context.informText = *informText;

    // The render test runs in a child process per file, so that a plugin
    // that crashes or hangs ends only that child.
    const std::chrono::milliseconds timeLimit(options.renderTimeLimitMs);
    RenderTestContext renderContext{
        [timeLimit] { return std::make_unique<CChildRenderPlatform>(timeLimit); }, DatabaseGuidNames(database),
        [&database](uint32_t code) { return database.DescribeHresult(256, code); }, &inventory.Crash()};
    CRenderTest renderTest(renderContext);
    cli::RenderRun renderRun{renderTest, nullptr, [switches] { SwitchCodecInfoOff(switches); }, std::cerr};
    cli::ChainsRun chainsRun;
    chainsRun.kind = options.chains == "audio" ? ChainKind::kAudio : ChainKind::kVideo;
    chainsRun.build = options.buildChains;
    chainsRun.guidNames = DatabaseGuidNames(database);
    chainsRun.describeHresult = [&database](uint32_t code) { return database.DescribeHresult(256, code); };
    chainsRun.makeBuilder = [timeLimit] { return std::make_unique<CChildChainPlatform>(timeLimit); };
    if (options.render || !options.chains.empty())
        context.renderTest = [&](const std::string& path, const CAnalysisDriver& driver, Display& display,
                                 nlohmann::ordered_json& extra) {
            if (prefs.useCodecInfo == 0) return;  // codec interaction is off: the analysis said so already
            renderRun.inventory = inventory.Published();
            if (options.render) cli::RunRenderTest(renderRun, path, driver.Records(), display, extra);
            chainsRun.inventory = inventory.Published();
            if (!options.chains.empty()) cli::RunChains(chainsRun, path, driver.Records(), display, extra);
        };
    int status = cli::RunQueue(options, context);
    if (CodecInventory* published = inventory.Published()) {
        const std::lock_guard searching(published->searchMutex);
        for (const auto& [caption, text] : published->lateMessages)
            std::cerr << Localise(caption) << ": " << Localise(text) << "\n";
        if (published->keepAnswers) published->keepAnswers(*published);
        // Every status read undetermined (said once, when the inventory was
        // published): a script must not take the reports for "no decoder".
        if (status == 0 && !published->unavailable.empty()) status = kExitCodecsUndetermined;
    }
    return status;
}
