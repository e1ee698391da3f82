// The command-line front end: its JSON parses with a real parser and agrees
// with the text report; exit codes and messages follow its contract.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <unistd.h>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "CliOptions.h"
#include "CliReport.h"
#include "CliRun.h"
#include <sstream>
#include <tuple>
#include "TestUtil.h"
#include "ScratchDir.h"
#include "XvfbDisplay.h"
#include "formats/containers/FfprobeExpectations.h"
#include "analysis/Driver.h"
#include "analysis/FileReport.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/GstInventoryCache.h"
#include "platform/gstreamer/GstPlatform.h"

namespace torvo {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

// Runs torvo-cli with the given arguments; standard error joins the output when asked.
CliRun RunCli(const std::string& args, bool withStderr = false, const std::string& environment = "") {
    // Settings live in a folder of the test's own, never in the user's.
    const std::string command = "XDG_CONFIG_HOME=" + ::testing::TempDir() + "torvo-cli-config " + environment + " " +
                                std::string(TORVO_CLI_PATH) + " " + args + (withStderr ? " 2>&1" : " 2>/dev/null");
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) run.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

TEST(Cli, JsonParsesAndHoldsEveryKey) {
    const CliRun run = RunCli("--json " + test::SamplePath("wave_pcm.wav") + " " + test::SamplePath("ts_mpeg2.ts"));
    ASSERT_EQ(run.status, 0);
    std::vector<nlohmann::json> lines;
    size_t start = 0;
    for (size_t end; (end = run.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(nlohmann::json::parse(run.out.substr(start, end - start)));
    ASSERT_EQ(lines.size(), 2u);
    for (const char* key : {"file", "type_id", "fields", "notes", "tags", "lamps", "video", "audio", "render"})
        EXPECT_TRUE(lines[0].contains(key)) << key;
    EXPECT_EQ(lines[0]["type_id"], 3);
    EXPECT_EQ(lines[0]["fields"].size(), CExport::kKeyCount);
    EXPECT_EQ(lines[0]["fields"]["CONT_BASETYPE"], "WAVE(.WAV)");
    EXPECT_EQ(lines[0]["fields"]["FILE_SIZE"], "44,178");
    EXPECT_EQ(lines[0]["fields"]["VIDEO_CODEC_NAME"], "");
    EXPECT_EQ(lines[0]["notes"][0]["text"], "Тип файла: WAVE(.WAV)");
    EXPECT_EQ(lines[0]["notes"][0]["colour"], 0);
    EXPECT_EQ(lines[1]["type_id"], 86);
}

TEST(Cli, RenderRowsAndChainsFollowEachFile) {
    const CliRun run = RunCli("--json --render " + test::SamplePath("avi_mpeg4_mp3.avi") + " " +
                              test::SamplePath("document.pdf"));
    ASSERT_EQ(run.status, 0);
    std::istringstream in(run.out);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    const nlohmann::json avi = nlohmann::json::parse(first), pdf = nlohmann::json::parse(second);
    EXPECT_EQ(avi["render"][0], "Рендеринг выполнен. Использована такая цепочка фильтров: ");
    EXPECT_EQ(avi["render_chains"]["result"], "0x00000000");
    EXPECT_TRUE(avi["render_chains"]["video"].get<std::string>().starts_with("(S) --> avidemux --> "));
    EXPECT_TRUE(avi["render_chains"]["audio"].get<std::string>().starts_with("(S) --> avidemux --> "));
    EXPECT_EQ(pdf["render"][0], "Рендеринг не удался. Вот сообщение GStreamer об ошибке:        ");
    // Without --render no test runs.
    EXPECT_FALSE(nlohmann::json::parse(RunCli("--json " + test::SamplePath("avi_mpeg4.avi")).out).contains("render_chains"));
    EXPECT_EQ(RunCli("--render-timeout x " + test::SamplePath("avi_mpeg4.avi")).status, 2);
}

TEST(Cli, SuggestedChainsAndTheirBuilds) {
    // Without a display server nothing is the default video renderer and no
    // whole-screen sink stands in: the chains end in an installed X sink.
    {
        const char* display = std::getenv("DISPLAY");
        const std::string before = display ? display : "";
        unsetenv("DISPLAY");
        const nlohmann::json blind =
            nlohmann::json::parse(RunCli("--json --chains video " + test::SamplePath("avi_mpeg4.avi")).out);
        ASSERT_GE(blind["chains"]["found"].get<int>(), 1);
        const std::string line = blind["chains"]["chains"][0]["line"].get<std::string>();
        EXPECT_EQ(line.find("KMS"), std::string::npos) << line;
        EXPECT_NE(line.find("[Video sink"), std::string::npos) << line;
        if (display) setenv("DISPLAY", before.c_str(), 1);
    }
    // The renderers are the sinks that work here (a private X server, a null
    // sound card); when built, stand-ins that draw nowhere take their place.
    test::XvfbDisplay xvfb;
    test::NullSoundCard sound;
    if (xvfb.Name().empty()) GTEST_SKIP() << "Xvfb is not installed";
    setenv("TORVO_PLAY_VIDEO_SINK", "fakesink", 1);
    setenv("TORVO_PLAY_AUDIO_SINK", "fakesink", 1);
    const std::string avi = test::SamplePath("avi_mpeg4_mp3.avi");
    const nlohmann::json video = nlohmann::json::parse(RunCli("--json --chains video " + avi).out);
    ASSERT_TRUE(video.contains("chains"));
    EXPECT_EQ(video["chains"]["kind"], "video");
    ASSERT_GE(video["chains"]["found"].get<int>(), 1);
    const nlohmann::json& first = video["chains"]["chains"][0];
    EXPECT_TRUE(first["line"].get<std::string>().starts_with("(ист)-->>--(A)-->[Avi demuxer ]"));
    EXPECT_NE(first["line"].get<std::string>().find("[Video sink"), std::string::npos) << first["line"];
    EXPECT_EQ(first["line"].get<std::string>().find("KMS"), std::string::npos);
    EXPECT_EQ(first["elements"][0]["type"], "header");
    EXPECT_EQ(first["elements"][0]["detail"], avi);
    EXPECT_FALSE(first.contains("build"));
    EXPECT_EQ(video["render"][0], first["line"]);
    EXPECT_EQ(video["render"][1], "Статус: еще не отрендерил. Используйте [2] ");

    const nlohmann::json built = nlohmann::json::parse(RunCli("--json --chains audio --build " + avi).out);
    EXPECT_EQ(built["chains"]["kind"], "audio");
    EXPECT_EQ(built["chains"]["chains"][0]["build"]["ok"], true);
    EXPECT_EQ(built["render"][1], "Рендер звука OK. Проиграть - [3].");
    // AAC has twin decoders of one name: no chain is suggested twice, and a
    // chain that built keeps no "not built yet" line behind its result.
    const nlohmann::json aac =
        nlohmann::json::parse(RunCli("--json --chains audio --build " + test::SamplePath("containers/mp4_h264_aac.mp4")).out);
    ASSERT_GE(aac["chains"]["found"].get<int>(), 3);
    std::set<std::string> lines;
    for (const auto& chain : aac["chains"]["chains"])
        EXPECT_TRUE(lines.insert(chain["line"].get<std::string>()).second) << chain["line"];
    for (const auto& row : aac["render"]) EXPECT_FALSE(row.get<std::string>().starts_with("Статус: еще не отрендерил")) << row;
    // The text report lists the same rows.
    const CliRun text = RunCli("--chains video --build " + test::SamplePath("avi_mpeg4.avi"));
    EXPECT_NE(text.out.find("Рендер видео OK. Проиграть - [3]."), std::string::npos);
    // A file without video: the search has nothing to start from.
    const nlohmann::json none = nlohmann::json::parse(RunCli("--json --chains video " + test::SamplePath("mp3_id3v2.mp3")).out);
    EXPECT_EQ(none["chains"]["found"], 0);
    EXPECT_EQ(none["render"][0], "Torvo пока не умеет рендерить этот тип видео");

    for (const char* bad : {"--chains both x.avi", "--chains", "--build x.avi"}) {
        const CliRun r = RunCli(bad, true);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.out.find("Try 'torvo-cli --help'."), std::string::npos) << bad;
    }
    EXPECT_NE(RunCli("--help").out.find("--chains video|audio"), std::string::npos);
    unsetenv("TORVO_PLAY_VIDEO_SINK");
    unsetenv("TORVO_PLAY_AUDIO_SINK");
}

TEST(Cli, TextAndJsonAgree) {
    const std::string path = test::SamplePath("vcd_raw2352.bin");
    Display display;
    CAnalysisDriver driver(display);
    // The program answers the codec status from this machine's inventory.
    CInventoryService inventory(GstInventoryGatherer({}, WithoutCache()));
    DriverOptions options;
    options.waitForInventory = [&inventory](bool& on) {
        inventory.Wait(on);
        return inventory.Published();
    };
    driver.SetOptions(options);
    ASSERT_TRUE(driver.AnalyseFile(path));
    const auto json = nlohmann::json::parse(cli::JsonLine(path, driver.Container().typeId, display));
    const std::string text = ReportText(BuildFileReport(path, driver, display));
    for (const auto& note : json["notes"]) EXPECT_NE(text.find(note["text"].get<std::string>()), std::string::npos);
    EXPECT_NE(text.find("Размер: 133 KБ (136,416 байт )"), std::string::npos);
    EXPECT_EQ(RunCli("--no-scan " + path).out, text + "\n");  // the in-process driver does not scan
}

TEST(Cli, AudioLampsStayWithTheAudioPanel) {
    const std::string text = RunCli(test::SamplePath("mp3_id3v2.mp3")).out;
    EXPECT_EQ(text.find("Видео\n"), std::string::npos);  // an audio file shows no video panel
    const size_t audio = text.find("Звук 1\n");
    ASSERT_NE(audio, std::string::npos);
    EXPECT_NE(text.find("  Индикаторы: CBR\n", audio), std::string::npos);
}

TEST(Cli, InvalidUtf8InNamesStillGivesValidJson) {
    // The readable name escapes each stray byte; the exact bytes go beside it.
    struct Case {
        std::string name, file, bytes;
    };
    const Case cases[] = {
        {"bad\xFFname.avi", "bad\\xFFname.avi", "YmFk/25hbWUuYXZp"},
        {"cut \xD0", "cut \\xD0", "Y3V0INA="},
        {"é\xE9\xC3\xA9\xF0\x9F", "é\\xE9é\\xF0\\x9F", "w6npw6nwnw=="},
        {"plain é.avi", "plain é.avi", ""},
    };
    Display display;
    for (const Case& c : cases) {
        nlohmann::json parsed;
        EXPECT_NO_THROW(parsed = nlohmann::json::parse(cli::JsonLine(c.name, 0, display)));
        EXPECT_EQ(parsed["file"], c.file);
        EXPECT_EQ(parsed.value("file_bytes", ""), c.bytes) << c.file;
        const auto error = nlohmann::json::parse(ErrorJsonLine(c.name, "not_found", "gone"));
        EXPECT_EQ(error.value("file_bytes", ""), c.bytes) << c.file;
    }
}

// The report line is written without a JSON document: what it writes must be
// exactly what the JSON library writes for the same values, whatever the texts.
TEST(Cli, JsonLineIsWhatTheJsonLibraryWrites) {
    Display display;
    const std::vector<std::string> texts = {"plain", "Кодек \"кавычки\" и \\", "tab\there\nline\x01\x7F",
                                            "cut \xD0", "overlong \xC0\xAF", "surrogate \xED\xA0\x80", ""};
    for (const std::string& text : texts) {
        display.Container().Add(text);
        display.VideoPanel().Set(text.empty() ? "zz" : text, text);
        display.UserData().Add(text);
    }
    display.VideoPanel().Set("Кадр", "first");
    display.VideoPanel().Set("Кадр", "second");
    nlohmann::ordered_json extra = {{"chains", {{"found", 2}}}, {"type_id", "replaced"}};
    const std::string line = cli::JsonLine("name.avi", 7, display, nullptr, &extra);
    const auto parsed = nlohmann::ordered_json::parse(line);
    EXPECT_EQ(parsed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), line);
    EXPECT_EQ(parsed["type_id"], "replaced");  // a further key replaces a member where it stands
    EXPECT_EQ(std::next(parsed.begin())->get<std::string>(), "replaced");
    EXPECT_EQ(parsed["video"]["Кадр"], "second");
    std::vector<std::string> captions;
    for (const auto& [caption, text] : parsed["video"].items()) captions.push_back(caption);
    EXPECT_TRUE(std::is_sorted(captions.begin(), captions.end()));
    EXPECT_EQ(parsed["notes"][1]["text"], texts[1]);
}

// A run that only reports answers its status questions from the answers of
// earlier runs over the same inventory: what it reports must not change.
TEST(Cli, StatusesAnsweredFromEarlierRunsAreTheTablesOwn) {
    const std::filesystem::path cache = ::testing::TempDir() + "torvo-cli-cache-" + std::to_string(::getpid());
    std::filesystem::remove_all(cache);
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(test::SamplePath("")))
        if (e.is_regular_file() && e.path().extension() != ".sh") all += " " + e.path().string();
    const std::string environment = "XDG_CACHE_HOME=" + cache.string();
    const CliRun fromTable = RunCli("--json --no-scan" + all, false, environment);
    ASSERT_NE(fromTable.out.find("Кодек(и) установлен(ы)"), std::string::npos);
    size_t books = 0;
    for (const auto& e : std::filesystem::directory_iterator(cache / "torvo"))
        books += e.path().filename().string().starts_with("answers-");
    EXPECT_EQ(books, 1u);
    EXPECT_EQ(RunCli("--json --no-scan" + all, false, environment).out, fromTable.out);
    std::filesystem::remove_all(cache);
}

// When GStreamer cannot be asked (no module where it was pointed, or a
// registry with no element in it), no stream reads "not installed": every
// status is undetermined, the reason is said once, and the exit status says so.
TEST(Cli, WithoutGStreamerEveryStatusIsUndeterminedAndSaidOnce) {
    const testing::ScratchDir home;
    const std::filesystem::path noPlugins = home / "no-plugins";
    std::filesystem::create_directories(noPlugins);
    const std::string files = test::SamplePath("containers/mp4_h264_aac.mp4") + " " + test::SamplePath("ac3_stereo.ac3") +
                              " " + test::SamplePath("avi_mpeg4_mp3.avi");
    struct Case {
        const char* name;
        std::string environment;
        const char* reason;
    };
    const Case cases[] = {
        {"moved-module", "TORVO_GST_MODULE=" + (home / "moved/torvo-gst.so").string(), "torvo-gst.so"},
        {"empty-registry",
         "GST_PLUGIN_PATH= GST_PLUGIN_SYSTEM_PATH_1_0=" + noPlugins.string() + " GST_REGISTRY_1_0=" + (home / "r.bin").string(),
         "registry holds no plugin"},
    };
    for (const Case& c : cases) {
        const std::string environment = "XDG_CACHE_HOME=" + (home / c.name).string() + " " + c.environment;
        const CliRun run = RunCli("--json --no-scan " + files, true, environment);
        EXPECT_EQ(run.status, 5) << c.name;
        std::istringstream lines(run.out);
        int streams = 0;
        std::string said;
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("{")) {
                said += line + "\n";
                continue;
            }
            const nlohmann::json report = nlohmann::json::parse(line);
            for (const auto& s : report["streams"]) {
                if (!s.contains("decoder")) continue;
                EXPECT_EQ(s["decoder"], "undetermined") << c.name << " " << line;
                ++streams;
            }
        }
        EXPECT_GE(streams, 5) << c.name;
        const size_t first = said.find("Статус кодеков неопределен");
        ASSERT_NE(first, std::string::npos) << c.name << ": " << said;
        EXPECT_EQ(said.find("Статус кодеков неопределен", first + 1), std::string::npos) << said;
        EXPECT_EQ(run.out.find("НЕ установлен"), std::string::npos) << run.out;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
    }
}

// A run over many files analyses (and scans) them side by side; what it
// prints must be each file's own report, in the order named, the same as one
// file at a time. Read speeds are the only figures that may differ.
TEST(Cli, ManyFilesReportAsEachAlone) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(test::SamplePath("")))
        if (e.is_regular_file() && e.path().extension() != ".sh" && e.path().extension() != ".txt")
            names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    names.insert(names.begin() + static_cast<long>(names.size() / 2), "/nonexistent/middle.avi");
    const auto withoutSpeeds = [](std::string text) {
        static const std::regex speed("\"read_kib_per_s\":[0-9]+");
        return std::regex_replace(text, speed, "\"read_kib_per_s\":0");
    };
    for (const std::string mode : {"--json --no-scan", "--json --scan"}) {
        SCOPED_TRACE(mode);
        std::string all, alone;
        for (const std::string& name : names) {
            all += " " + name;
            alone += RunCli(mode + " " + name).out;
        }
        const CliRun run = RunCli(mode + all);
        EXPECT_EQ(run.status, 1);  // the missing file counts (as its error line), every other one is reported
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), static_cast<long>(names.size()));
        EXPECT_EQ(withoutSpeeds(run.out), withoutSpeeds(alone));
    }
}

TEST(Cli, FieldsAreNameTabValueLines) {
    const CliRun run = RunCli("--fields " + test::SamplePath("image.png"));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("FILE_NAME\timage.png\n", 0), 0u);
    EXPECT_NE(run.out.find("\nCONT_BASETYPE\tPNG image (.PNG)\n"), std::string::npos);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 81);  // 80 fields and a blank line
}

TEST(Cli, UnopenableFileIsReportedAndTheRunGoesOn) {
    const CliRun run = RunCli("/nonexistent/a.avi " + test::SamplePath("image.gif"), true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Не открыть файл!!: НеМогу открыть файл /nonexistent/a.avi:"), std::string::npos);
    EXPECT_NE(run.out.find("Тип файла: GIF image (.GIF)"), std::string::npos);
}

TEST(Cli, DevicesAreRefusedAndTheRunGoesOn) {
    const CliRun run = RunCli("/dev/zero " + test::SamplePath("image.gif"), true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("НеМогу открыть файл /dev/zero:\n\nNot a regular file or block device"), std::string::npos);
    EXPECT_NE(run.out.find("Тип файла: GIF image (.GIF)"), std::string::npos);
}

TEST(Cli, UsageErrorsHelpAndVersion) {
    EXPECT_EQ(RunCli("").status, 2);
    // Wrong usage says what is wrong in one line and where the help is.
    const CliRun bogus = RunCli("--bogus x", true);
    EXPECT_EQ(bogus.status, 2);
    EXPECT_EQ(bogus.out, "torvo-cli: unknown option '--bogus'\nTry 'torvo-cli --help'.\n");
    const CliRun help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: torvo-cli"), std::string::npos);
    const CliRun version = RunCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("torvo-cli ") + TORVO_VERSION + "\n");
    // Names after "--" are files even when they look like options.
    EXPECT_EQ(RunCli("-- --json").status, 1);
}

TEST(Cli, ListFilesAddTheirNamesAfterTheArguments) {
    const std::string list = ::testing::TempDir() + "/torvo-list.txt";
    {
        std::ofstream out(list, std::ios::binary);
        out << test::SamplePath("image.png") << "\r\n" << test::SamplePath("image.gif") << "\n"
            << test::SamplePath("image.jpg");  // no line feed: still a name
    }
    const CliRun run = RunCli("--fields -x " + test::SamplePath("archive.gz") + " -f " + list);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4 * 81);
    const size_t gz = run.out.find("archive.gz"), png = run.out.find("image.png"), gif = run.out.find("image.gif");
    EXPECT_LT(gz, png);
    EXPECT_LT(png, gif);
    EXPECT_LT(gif, run.out.find("image.jpg"));
    EXPECT_EQ(RunCli("-f /nonexistent/list.txt").status, 1);
}

TEST(Cli, NamesFromStandardInput) {
    cli::Options options;
    std::string error;
    const char* argv[] = {"torvo-cli", "--json", "-f", "-"};
    ASSERT_TRUE(cli::ParseOptions(4, argv, options, error));
    std::istringstream in("/nonexistent/x.avi\n" + test::SamplePath("wave_pcm.wav") + "\n");
    std::ostringstream out, err;
    cli::RunContext context{in, out, err, false, {}, nullptr, {}, nullptr, {}, {}, 1, {}};
    EXPECT_EQ(cli::RunQueue(options, context), 1);  // the missing file counts, the queue goes on
    EXPECT_NE(out.str().find("\"type_id\":3"), std::string::npos);
    EXPECT_NE(err.str().find("/nonexistent/x.avi"), std::string::npos);
}

TEST(Cli, ExportOptionsApplyToTheRun) {
    const std::string dir = ::testing::TempDir() + "torvo-cli-export-" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string all = dir + "/all.txt";
    const CliRun run = RunCli("--json --export-format table --export-mode append:" + all + " " +
                              test::SamplePath("image.png") + " " + test::SamplePath("archive.gz"));
    EXPECT_EQ(run.status, 0);
    std::ifstream in(all, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.rfind("FILE_NAME\tFILE_NAME_WITH_PATH\t", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);  // the names, then one record per file

    // A per-file export that would replace a file fails, says so and is switched off.
    const std::string media = dir + "/clip.avi";
    std::filesystem::copy_file(test::SamplePath("avi_mpeg4.avi"), media);
    std::ofstream(dir + "/clip.txt") << "keep";
    std::filesystem::remove_all(::testing::TempDir() + "torvo-cli-config");
    const CliRun refused = RunCli("--export-mode per-file " + media + " " + media, true);
    EXPECT_EQ(refused.status, cli::kExportFailedStatus);
    // One line a script can read, naming the file, with the system's reason.
    const std::string line = "torvo-cli: export failed: Нет экспорта: Ошибка при экспорте в файл " + dir +
                             "/clip.txt: File exists; FYI: Режим экспорта сейчас снова отключен.\n";
    EXPECT_NE(refused.out.find(line), std::string::npos) << refused.out;
    // Only the first of the two files tried: export was off for the second.
    size_t messages = 0;
    for (size_t at = 0; (at = refused.out.find("export failed", at)) != std::string::npos; ++at) ++messages;
    EXPECT_EQ(messages, 1u);
    // The stored settings are left alone.
    EXPECT_FALSE(std::filesystem::exists(::testing::TempDir() + "torvo-cli-config/Quellmark/Torvo.conf"));
    std::filesystem::remove_all(dir);
}

TEST(Cli, OptionParsing) {
    cli::Options o;
    std::string error;
    const char* argv[] = {"torvo-cli", "--json", "-x", "a.avi", "-", "--", "-b.avi"};
    ASSERT_TRUE(cli::ParseOptions(7, argv, o, error));
    EXPECT_EQ(o.format, cli::OutputFormat::kJson);
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.avi", "-", "-b.avi"}));

    cli::Options e;
    const char* exportArgv[] = {"torvo-cli", "--export-format", "nfo", "--export-mode", "append:/tmp/all.txt",
                                "--overwrite", "--until-error", "x"};
    ASSERT_TRUE(cli::ParseOptions(8, exportArgv, e, error));
    EXPECT_TRUE(e.exportOverrides.enable);
    EXPECT_EQ(e.exportOverrides.formatSrc, 1);
    EXPECT_EQ(e.exportOverrides.mode, 3);
    EXPECT_EQ(e.exportOverrides.modeTarget, "/tmp/all.txt");
    EXPECT_TRUE(e.exportOverrides.overwrite);
    EXPECT_TRUE(e.untilError);
    for (std::vector<const char*> bad : {std::vector<const char*>{"torvo-cli", "--export-mode", "folder:", "x"},
                                         {"torvo-cli", "--export-format", "", "x"},
                                         {"torvo-cli", "x", "-f"},
                                         {"torvo-cli", "--vgs", "p.png", "a.mpg", "b.mpg"},
                                         {"torvo-cli", "x", "--vgs"}}) {
        cli::Options b;
        EXPECT_FALSE(cli::ParseOptions(static_cast<int>(bad.size()), bad.data(), b, error)) << bad[1];
    }
    // Merit changes stand on their own, need no file and are kept in order.
    cli::Options m;
    const char* meritArgv[] = {"torvo-cli", "--set-merit", "avdec_h264=0x00300000", "--reset-merit", "mpeg2dec"};
    ASSERT_TRUE(cli::ParseOptions(5, meritArgv, m, error));
    ASSERT_EQ(m.meritChanges.size(), 2u);
    EXPECT_EQ(m.meritChanges[0], (std::pair<std::string, std::optional<uint32_t>>{"avdec_h264", 0x00300000}));
    EXPECT_FALSE(m.meritChanges[1].second);
    for (const char* bad : {"avdec_h264", "avdec_h264=", "=0x10", "avdec_h264=0x1g", "a b=0x1"}) {
        const char* badArgv[] = {"torvo-cli", "--set-merit", bad};
        cli::Options b;
        EXPECT_FALSE(cli::ParseOptions(3, badArgv, b, error)) << bad;
        EXPECT_EQ(error, "--set-merit takes FACTORY=0xHEX");
    }
}

// A merit change made with one run holds for the next: the codec list shows
// it and the render test plugs the decoder that now ranks first.
TEST(Cli, MeritChangeSurvivesTheRunAndChangesWhatRenders) {
    const std::string config = ::testing::TempDir() + "torvo-cli-merit";
    std::filesystem::remove_all(config);
    auto run = [&](const std::string& args) {
        CliRun r;
        FILE* pipe = popen(("XDG_CONFIG_HOME=" + config + " " + TORVO_CLI_PATH + " " + args + " 2>&1").c_str(), "r");
        std::array<char, 4096> buffer;
        while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) r.out.append(buffer.data(), n);
        const int raw = pclose(pipe);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return r;
    };
    auto merit = [&](const std::string& factory) {
        const CliRun r = run("--codecs --json");
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            const auto j = nlohmann::json::parse(line, nullptr, false);
            // The list names each element, the name --set-merit takes.
            if (j.is_object() && j.value("element", "") == factory) {
                EXPECT_EQ(j.value("clsid", ""), FactoryClsidText(factory));
                return j.value("merit", "");
            }
        }
        return std::string();
    };
    if (merit("openh264dec").empty() || merit("avdec_h264").empty()) GTEST_SKIP() << "needs openh264dec and avdec_h264";
    EXPECT_NE(run("--codecs").out.find("\tlibgstlibav.so\tavdec_h264\n"), std::string::npos);
    const std::string sample = test::SamplePath("containers/mp4_h264_aac.mp4");
    EXPECT_NE(run("--render " + sample).out.find("[libav H.264"), std::string::npos);

    const CliRun set = run("--set-merit avdec_h264=0x00300000");
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out, "avdec_h264: merit 0x00300000 (rank 32)\n");
    EXPECT_EQ(merit("avdec_h264"), "0x00300000");
    const std::string rendered = run("--render " + sample).out;
    EXPECT_NE(rendered.find("[OpenH264 video decoder ]"), std::string::npos) << rendered;
    EXPECT_EQ(rendered.find("[libav H.264"), std::string::npos);

    EXPECT_EQ(run("--reset-merit avdec_h264").status, 0);
    EXPECT_EQ(merit("avdec_h264"), "0x00800000");
    EXPECT_NE(run("--render " + sample).out.find("[libav H.264"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(config + "/Quellmark/TorvoFilters.conf"));

    const CliRun unknown = run("--set-merit no_such_factory=0x1");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "torvo-cli: no element factory named 'no_such_factory'\n");
}

// GStreamer is loaded only for a cache miss of the inventory: a warm run
// loads neither it nor the module, and answers the same statuses.
TEST(Cli, AWarmRunLoadsNoGStreamer) {
    const std::string home = ::testing::TempDir() + "torvo-cli-warm";
    std::filesystem::remove_all(home);
    const std::string log = home + "/libs.log";
    auto run = [&](const std::string& env) {
        CliRun r;
        const std::string command = "XDG_CONFIG_HOME=" + home + "/config XDG_CACHE_HOME=" + home + "/cache " + env + " " +
                                    TORVO_CLI_PATH + " --json --no-scan " +
                                    test::SamplePath("containers/mp4_h264_aac.mp4") + " 2>" + log;
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 4096> buffer;
        while (size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) r.out.append(buffer.data(), n);
        const int raw = pclose(pipe);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return r;
    };
    std::filesystem::create_directories(home);
    const CliRun cold = run("");
    ASSERT_EQ(cold.status, 0);
    // The first run builds GStreamer's registry in the new cache folder, which
    // changes the key: the second run misses once more, the third is warm.
    ASSERT_EQ(run("").out, cold.out);
    ASSERT_NE(cold.out.find("\"VIDEO_CODEC_STATUS\":\"Кодек(и) установлен(ы)\""), std::string::npos) << cold.out;
    const CliRun warm = run("LD_DEBUG=libs");
    EXPECT_EQ(warm.out, cold.out);
    std::ifstream in(log);
    const std::string libs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(libs.find("libc.so"), std::string::npos) << "no loader log";
    EXPECT_EQ(libs.find("libgstreamer"), std::string::npos);
    EXPECT_EQ(libs.find("torvo-gst.so"), std::string::npos);
}

TEST(Cli, ScanObjectAndVgsPicture) {
    const std::string png = ::testing::TempDir() + "torvo-vgs.png";
    std::remove(png.c_str());
    const CliRun run = RunCli("--json --vgs " + png + " " + test::SamplePath("scan/mpeg2_ps_gop12.mpg"));
    ASSERT_EQ(run.status, 0);
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(run.out);
    ASSERT_TRUE(j.contains("scan"));
    const nlohmann::ordered_json& scan = j["scan"];
    std::vector<std::string> keys;
    for (const auto& [key, value] : scan.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"pictures", "i", "p", "b", "other", "gop_length", "b_spacing",
                                               "gop_regularity", "longest_b_run", "longest_i_distance",
                                               "largest_frame", "frame_types", "video_bytes", "audio_bytes",
                                               "read_kib_per_s", "failed"}));
    EXPECT_EQ(scan["pictures"], 75);
    EXPECT_EQ(scan["gop_length"], 12);
    EXPECT_EQ(scan["b_spacing"], 3);
    EXPECT_EQ(scan["frame_types"].get<std::string>().substr(0, 13), "IPBBPBBPBBIBB");
    EXPECT_EQ(scan["failed"], false);
    EXPECT_EQ(j["fields"]["VIDEO_DURATION"], "0:03.000");
    // A real PNG of 100-cell bands holding whole GOPs: 96 cells, one band.
    const test::Bytes image = test::ReadBytes(png);
    ASSERT_GT(image.size(), 33u);
    EXPECT_EQ(test::Bytes(image.begin(), image.begin() + 8), (test::Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(image[16] << 24 | image[17] << 16 | image[18] << 8 | image[19], 2 + 96 * 10);
    EXPECT_EQ(image[20] << 24 | image[21] << 16 | image[22] << 8 | image[23], 2 + 17);

    // --no-scan leaves the scan out, and the duration comes from the headers.
    const CliRun plain = RunCli("--json --no-scan " + test::SamplePath("scan/mpeg2_ps_gop12.mpg"));
    ASSERT_EQ(plain.status, 0);
    EXPECT_FALSE(nlohmann::json::parse(plain.out).contains("scan"));
}

TEST(Cli, TextReportShowsTheFinalScanStatistics) {
    const CliRun run = RunCli("--scan " + test::SamplePath("scan/avi_mpeg4_plain.avi"));
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("  Кадров: 50\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  AVI Overhead: "), std::string::npos);
    EXPECT_EQ(run.out.find("AVI Overhead: ~ "), std::string::npos);
    EXPECT_EQ(run.out.find("просмотр @"), std::string::npos);
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

TEST(Cli, EveryNameGivesOneReport) {
    const testing::ScratchDir dir;
    const std::string gif = test::SamplePath("image.gif");
    // 12,000 names in a list without a final line feed: the window's limit is not the command line's.
    std::string list;
    for (int i = 0; i < 12000; ++i) list += (i ? "\n" : "") + gif;
    const std::string listFile = dir.Write("many.txt", list);
    const CliRun many = RunCli("'--inform=%FILE_NAME%\\n' -f " + listFile);
    EXPECT_EQ(many.status, 0);
    EXPECT_EQ(std::count(many.out.begin(), many.out.end(), '\n'), 12000);

    // NUL-separated names that hold blanks, tabs and line feeds.
    const std::vector<std::string> odd = {"a b.gif", "tab\there.gif", "new\nline.gif"};
    std::string nulList;
    for (const std::string& name : odd) {
        std::filesystem::copy_file(gif, dir / name);
        nulList += (dir / name).string() + '\0';
    }
    const CliRun nul = RunCli("--json -0 -f " + dir.Write("names.lst", nulList));
    EXPECT_EQ(nul.status, 0);
    const auto lines = JsonLines(nul.out);
    ASSERT_EQ(lines.size(), odd.size());
    for (size_t i = 0; i < odd.size(); ++i) EXPECT_EQ(lines[i]["file"], (dir / odd[i]).string());

    // A folder stands for its media files, all levels, sorted: a picture named .avi is not one.
    dir.Write("tree/z.txt", "not media");
    std::filesystem::create_directories(dir / "tree/sub");
    std::filesystem::copy_file(gif, dir / "tree/sub/b.avi");
    std::filesystem::copy_file(test::SamplePath("wave_pcm.wav"), dir / "tree/sub/a");
    const CliRun folder = RunCli("'--inform=%FILE_NAME_WITH_PATH%\\n' " + (dir / "tree").string());
    EXPECT_EQ(folder.status, 0);
    EXPECT_EQ(folder.out, (dir / "tree/sub/a").string() + "\n");
}

std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(Cli, FoldersQueueTheFilesTheirContentMakesMedia) {
    // Every sample, and a copy of each without its extension.
    namespace fs = std::filesystem;
    const testing::ScratchDir dir;
    const fs::path all = dir / "all";
    const std::set<std::string> notMedia = {"alsa-null.conf", "archive.gz", "archive.zip", "document.pdf", "empty.bin",
                                            "image.gif", "image.jpg", "image.png", "README"};
    std::set<std::string> media;
    size_t others = 0;
    for (const auto& entry : fs::recursive_directory_iterator(TORVO_TEST_DATA_DIR)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), TORVO_TEST_DATA_DIR);
        const std::string name = relative.filename().string();
        fs::create_directories(all / relative.parent_path());
        fs::copy_file(entry.path(), all / relative);
        if (notMedia.count(name) || name.ends_with(".sh") || name.ends_with(".txt")) {
            ++others;
            continue;
        }
        std::string plain = name;
        std::replace(plain.begin(), plain.end(), '.', '_');
        const fs::path bare = all / "bare" / relative.parent_path() / plain;
        fs::create_directories(bare.parent_path());
        fs::copy_file(entry.path(), bare);
        media.insert((all / relative).string());
        media.insert(bare.string());
    }
    ASSERT_GT(media.size(), 200u);

    auto files = [](const std::string& out, size_t* skippedLines) {
        std::set<std::string> names;
        for (const std::string& line : Lines(out)) {
            if (line.starts_with("{")) names.insert(nlohmann::json::parse(line)["file"].get<std::string>());
            else if (skippedLines && line.ends_with(" файл(ов) пропущено: не медиафайлы")) *skippedLines = std::stoul(line);
        }
        return names;
    };
    size_t skipped = 0;
    const CliRun folder = RunCli("--json --no-scan " + all.string(), true);
    EXPECT_EQ(folder.status, 0);
    EXPECT_EQ(files(folder.out, &skipped), media);
    EXPECT_EQ(skipped, others);

    // The same files listed by find: those the analysis gives a format are the folder's.
    const std::string list = (dir / "names.lst").string();
    ASSERT_EQ(std::system(("find " + all.string() + " -type f -print0 > " + list).c_str()), 0);
    const CliRun listed = RunCli("--json --no-scan -0 -f - < " + list);
    std::set<std::string> analysedAsMedia;
    size_t without = 0;
    for (const std::string& line : Lines(listed.out)) {
        const nlohmann::json j = nlohmann::json::parse(line);
        if (j["container"]["format"].is_null()) ++without;
        else analysedAsMedia.insert(j["file"].get<std::string>());
    }
    EXPECT_EQ(analysedAsMedia, media);
    EXPECT_EQ(without, others);

    // A folder without media files is an error object and a failure.
    const fs::path texts = dir / "texts";
    dir.Write("texts/a.txt", "text");
    const CliRun none = RunCli("--json " + texts.string());
    EXPECT_EQ(none.status, 1);
    const nlohmann::json error = nlohmann::json::parse(none.out);
    EXPECT_EQ(error["file"], texts.string());
    EXPECT_EQ(error["error"]["code"], "no_media_files");
}

TEST(Cli, FailuresAreObjectsInTheStreamAndInTheStatus) {
    const CliRun run = RunCli("--json /nonexistent/a.avi " + test::SamplePath("image.gif"));
    EXPECT_EQ(run.status, 1);
    const auto lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["file"], "/nonexistent/a.avi");
    EXPECT_EQ(lines[0]["error"]["code"], "not_found");
    EXPECT_NE(lines[0]["error"]["message"].get<std::string>().find("No such file or directory"), std::string::npos);
    EXPECT_EQ(lines[1]["fields"]["CONT_BASETYPE"], "GIF image (.GIF)");
    // Side by side (many files, no scan) the failure keeps its place.
    const CliRun side = RunCli("--json --no-scan " + test::SamplePath("image.gif") + " /nonexistent/b.avi " +
                               test::SamplePath("image.png") + " " + test::SamplePath("image.jpg"));
    EXPECT_EQ(side.status, 1);
    const auto sideLines = JsonLines(side.out);
    ASSERT_EQ(sideLines.size(), 4u);
    EXPECT_EQ(sideLines[1]["error"]["code"], "not_found");

    // A template key that names no field is wrong usage, told before any record.
    const CliRun keys = RunCli("--inform '%FILE_NAME% %NOPE% %ALSO%' " + test::SamplePath("image.gif") + " " +
                                   test::SamplePath("image.png"),
                               true);
    EXPECT_EQ(keys.status, 2);
    EXPECT_EQ(keys.out, "torvo-cli: the template names no report field %NOPE% %ALSO%\n");
    // A missing export folder is an export failure with its status.
    const CliRun folder = RunCli("--export-mode folder:/nonexistent/reports " + test::SamplePath("image.gif"), true);
    EXPECT_EQ(folder.status, cli::kExportFailedStatus);
    EXPECT_NE(folder.out.find("torvo-cli: export failed: "), std::string::npos);
}

TEST(Cli, APlainRunWritesNoSettings) {
    const std::string config = ::testing::TempDir() + "torvo-cli-config";
    std::filesystem::remove_all(config);
    EXPECT_EQ(RunCli("--json " + test::SamplePath("avi_mpeg4_mp3.avi")).status, 0);
    EXPECT_FALSE(std::filesystem::exists(config + "/Quellmark/Torvo.conf"));
}

TEST(Cli, TypedStreamsOfRealFiles) {
    struct Case {
        const char* sample;
        std::vector<std::pair<std::string, std::string>> streams;  // type, codec
    };
    const Case cases[] = {
        {"avi_mpeg4_mp3.avi", {{"video", "mpeg4"}, {"audio", "mp3"}}},
        {"mpeg2_ps.mpg", {{"video", "mpeg2video"}, {"audio", "mp2"}}},
        {"mp4_mpeg4_aac.mp4", {{"video", "mpeg4"}, {"audio", "aac"}}},
        {"wave_pcm.wav", {{"audio", "pcm_s16le"}}},
        {"ac3_stereo.ac3", {{"audio", "ac3"}}},
        {"asf_wmv2_wma.wmv", {{"video", "wmv2"}, {"audio", "wmav2"}}},
        {"image.png", {}},
        // The sample layout the container states (ffprobe's ids).
        {"named/aiff_pcm16.aif", {{"audio", "pcm_s16be"}}},
        {"named/aifc_float.aifc", {{"audio", "pcm_f32be"}}},
        {"named/real_pluck-pcm24.au", {{"audio", "pcm_s24be"}}},
        {"quicktime.mov", {{"video", "mpeg4"}, {"audio", "pcm_s16le"}}},
        {"containers/mov_qtrle.mov", {{"video", "qtrle"}, {"audio", "pcm_s16be"}}},
        {"containers/flv_adpcm.flv", {{"video", "flv1"}, {"audio", "adpcm_swf"}}},
        {"named/rm_rv20_ra144.rm", {{"video", "rv20"}, {"audio", "ra_144"}}},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli("--json --no-scan " + test::SamplePath(c.sample));
        ASSERT_EQ(run.status, 0) << c.sample;
        const auto j = nlohmann::json::parse(run.out);
        EXPECT_EQ(j["schema"], 1);
        EXPECT_EQ(j["container"]["type_id"], j["type_id"]) << c.sample;
        ASSERT_EQ(j["streams"].size(), c.streams.size()) << c.sample;
        for (size_t i = 0; i < c.streams.size(); ++i) {
            const auto& s = j["streams"][i];
            EXPECT_EQ(s["index"], i);
            EXPECT_EQ(s["type"], c.streams[i].first) << c.sample;
            EXPECT_EQ(s["codec"], c.streams[i].second) << c.sample;
            EXPECT_TRUE(s["decoder"].is_string());
        }
    }
    // The picture as shown, H.264 frame cropping applied (ffprobe: 640x360, 200x150, 1920x1080).
    for (const auto& [file, width, height] : {std::tuple{"mpeg/h264_640x360.264", 640, 360},
                                              {"mpeg/h264_444_200x150.264", 200, 150},
                                              {"mpeg/h264_1080.264", 1920, 1080}}) {
        const auto h = nlohmann::json::parse(RunCli("--json --no-scan " + test::SamplePath(file)).out);
        EXPECT_EQ(h["streams"][0]["width"], width) << file;
        EXPECT_EQ(h["streams"][0]["height"], height) << file;
    }
    // HEVC elementary streams: the conformance window and the VUI timing applied, the pictures
    // of a file read whole counted (ffprobe -count_frames: 5 and 3; no rate without VUI timing).
    for (const auto& [file, rate, duration] : {std::tuple{"mpeg/hevc_320x180.hevc", 25.0, 0.2},
                                               {"mpeg/hevc_422_10bit_lists.hevc", 23.976, 0.125},
                                               {"mpeg/hevc_no_timing.hevc", 0.0, 0.0}}) {
        const auto h = nlohmann::json::parse(RunCli("--json --no-scan " + test::SamplePath(file)).out);
        EXPECT_EQ(h["container"]["format"], "hevc") << file;
        EXPECT_EQ(h["container"]["mime"], "video/h265") << file;
        const auto& stream = h["streams"][0];
        EXPECT_EQ(stream["codec"], "hevc") << file;
        EXPECT_EQ(stream["width"], 320) << file;
        EXPECT_EQ(stream["height"], 180) << file;
        EXPECT_EQ(stream["frame_rate"], rate > 0 ? nlohmann::json(rate) : nlohmann::json()) << file;
        EXPECT_EQ(stream["duration"], duration > 0 ? nlohmann::json(duration) : nlohmann::json()) << file;
    }
    // Numbers are numbers, agreeing with the display's texts.
    const auto j = nlohmann::json::parse(RunCli("--json --no-scan " + test::SamplePath("avi_mpeg4_mp3.avi")).out);
    const auto& video = j["streams"][0];
    EXPECT_EQ(std::to_string(video["width"].get<int>()), j["fields"]["VIDEO_SIZE_X"]);
    EXPECT_EQ(std::to_string(video["height"].get<int>()), j["fields"]["VIDEO_SIZE_Y"]);
    EXPECT_EQ(std::to_string(j["streams"][1]["sample_rate"].get<int>()), j["fields"]["AUDIO_SAMPLE_RATE"]);
    EXPECT_EQ(j["container"]["size"], std::filesystem::file_size(test::SamplePath("avi_mpeg4_mp3.avi")));
    EXPECT_EQ(j["container"]["mime"], "video/x-msvideo");

    // A program stream whose writer stated a mux rate of 440 Mbit/s: the overall
    // rate is its size over its playing time (ffprobe: 369.6 kbit/s), and without
    // a playing time a variable-rate stream's ceiling is no rate at all.
    const auto ps = nlohmann::json::parse(RunCli("--json " + test::SamplePath("mpeg2_ps.mpg")).out);
    ASSERT_TRUE(ps["container"]["bit_rate"].is_number());
    EXPECT_GT(ps["container"]["bit_rate"].get<double>(), 300000);
    EXPECT_LT(ps["container"]["bit_rate"].get<double>(), 400000);
    EXPECT_EQ(ps["fields"]["CONT_DURATION"], "0:01.000");
}

// Every sound stream the records hold is listed, also beyond the window's
// four audio buttons, each as ffprobe saw it and with a decoder code.
TEST(Cli, TypedStreamsListEverySoundStream) {
    const auto probed = test::ReadProbeExpectations();
    for (const std::string file : {"mkv_h264_six_audio.mkv", "ts_mpeg2_six_audio.ts"}) {
        SCOPED_TRACE(file);
        const CliRun run = RunCli("--json --no-scan " + test::SamplePath("tsmkv/" + file));
        ASSERT_EQ(run.status, 0);
        const auto j = nlohmann::json::parse(run.out);
        EXPECT_EQ(j["audio"].size(), 4u);  // the panel's four
        const test::ProbedFile& expected = probed.at(file);
        std::map<std::string, nlohmann::json> decoders;  // codec -> the first such stream's decoder
        ASSERT_EQ(j["streams"].size(), expected.streams.size());
        for (size_t n = 0; const test::ProbeEntries* a = expected.Stream("audio", n); ++n) {
            const auto& s = j["streams"][n + 1];
            EXPECT_EQ(s["type"], "audio");
            EXPECT_EQ(s["codec"], a->at("codec_name")) << "sound stream " << n;
            EXPECT_EQ(std::to_string(s["sample_rate"].get<int>()), a->at("sample_rate"));
            EXPECT_EQ(std::to_string(s["channels"].get<int>()), a->at("channels"));
            // A stream beyond the four gets its status as the four do.
            const auto [same, fresh] = decoders.emplace(s["codec"].get<std::string>(), s["decoder"]);
            EXPECT_EQ(s["decoder"], same->second) << "sound stream " << n;
            // Each timed by its own tag or time stamps, within a frame or two of the file's time.
            ASSERT_TRUE(s["duration"].is_number()) << "sound stream " << n;
            EXPECT_NEAR(s["duration"].get<double>(), std::stod(expected.format.at("duration")), 0.06);
        }
    }
    // The language a container tags a stream with, and the sample size of PCM only.
    for (const std::string file : {"tsmkv/mkv_mpeg4_mp3x2.mkv", "tsmkv/ts_h264_aac.ts", "wave_pcm.wav"}) {
        SCOPED_TRACE(file);
        const auto j = nlohmann::json::parse(RunCli("--json --no-scan " + test::SamplePath(file)).out);
        const std::string name = file.substr(file.find('/') + 1);
        size_t n = 0;
        for (const auto& s : j["streams"]) {
            if (s["type"] != "audio") continue;
            const test::ProbeEntries* a = probed.count(name) ? probed.at(name).Stream("audio", n++) : nullptr;
            const bool tagged = a && a->count("tag:language");
            EXPECT_EQ(s["language"], tagged ? nlohmann::json(a->at("tag:language")) : nlohmann::json()) << s;
            EXPECT_EQ(s["bits_per_sample"], s["codec"] == "pcm_s16le" ? nlohmann::json(16) : nlohmann::json()) << s;
        }
    }
}

// Each stream's own facts as ffprobe states them: covers as image streams
// with their size, tracks timed by an edit list or by their last blocks, AAC
// in FLV by its AudioSpecificConfig; a stream ffprobe leaves untimed ends
// with the file.
TEST(Cli, TypedStreamsAgreeWithFfprobe) {
    const auto near = [](double a, double b) { return std::abs(a - b) <= std::max(0.05, 0.01 * std::max(a, b)); };
    for (const auto& [file, expected] : test::ReadProbeExpectations("facts")) {
        SCOPED_TRACE(file);
        const CliRun run = RunCli("--json --no-scan " + test::SamplePath("facts/" + file));
        ASSERT_EQ(run.status, 0);
        const auto j = nlohmann::json::parse(run.out);
        ASSERT_EQ(j["streams"].size(), expected.streams.size());
        const double fileSeconds = std::stod(expected.format.at("duration"));
        EXPECT_TRUE(near(j["container"]["duration"].get<double>(), fileSeconds)) << j["container"];
        std::map<std::string, size_t> seen;
        for (const test::ProbeEntries& peer : expected.streams) {
            const bool image = peer.at("disposition:attached_pic") == "1";
            const std::string type = image ? "image" : peer.at("codec_type");
            const size_t n = seen[type]++;
            auto ours = j["streams"].begin();
            for (size_t k = 0; ours != j["streams"].end(); ++ours)
                if ((*ours)["type"] == type && k++ == n) break;
            ASSERT_NE(ours, j["streams"].end()) << type << " #" << n;
            const auto& s = *ours;
            EXPECT_EQ(s["codec"], peer.at("codec_name")) << s;
            for (const char* key : {"width", "height", "sample_rate", "channels"}) {
                if (peer.count(key)) {
                    EXPECT_EQ(std::to_string(s[key].get<int>()), peer.at(key)) << key << " " << s;
                }
            }
            if (image) {
                EXPECT_TRUE(s["duration"].is_null()) << s;
                continue;
            }
            // The stream's own frame rate, a dropped frame's gap left out.
            if (const auto rate = peer.find("r_frame_rate"); rate != peer.end() && s["type"] == "video") {
                const size_t slash = rate->second.find('/');
                const double wanted = std::stod(rate->second.substr(0, slash)) / std::stod(rate->second.substr(slash + 1));
                ASSERT_TRUE(s["frame_rate"].is_number()) << s;
                EXPECT_NEAR(s["frame_rate"].get<double>(), wanted, 0.05) << s;
            }
            ASSERT_TRUE(s["duration"].is_number()) << s;
            const double seconds = peer.at("duration") == "N/A" ? fileSeconds : std::stod(peer.at("duration"));
            EXPECT_TRUE(near(s["duration"].get<double>(), seconds)) << s;
        }
    }
}

TEST(Cli, AssignedValuesAndShortOptions) {
    cli::Options o;
    std::string error;
    const char* argv[] = {"torvo-cli", "--db=/x/Torvo27.dat", "-0", "-V", "--export-mode=folder:/r", "a=b.avi"};
    ASSERT_TRUE(cli::ParseOptions(6, argv, o, error)) << error;
    EXPECT_EQ(o.databasePath, "/x/Torvo27.dat");
    EXPECT_TRUE(o.nullSeparated);
    EXPECT_TRUE(o.showVersion);
    EXPECT_EQ(o.exportOverrides.modeTarget, "/r");
    EXPECT_EQ(o.files, std::vector<std::string>{"a=b.avi"});
    const char* flag[] = {"torvo-cli", "--json=yes", "a.avi"};
    EXPECT_FALSE(cli::ParseOptions(3, flag, o, error));
    EXPECT_EQ(error, "option '--json' takes no value");
}

}  // namespace
}  // namespace torvo
