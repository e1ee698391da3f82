#include "CliOptions.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "codeclist/CodecLists.h"
#include "inventory/FilterOverrides.h"

namespace torvo::cli {

const char* UsageText() {
    return "Usage: torvo-cli [options] FILE...\n"
           "Identifies each media file and prints what it holds.\n"
           "\n"
           "Output:\n"
           "  --json                 one JSON object per file, one per line\n"
           "  --fields               the report fields as NAME<TAB>value lines\n"
           "  --inform TEMPLATE      each file's report fields through an export template: the\n"
           "                         template's text, or file://PATH (or a file) holding it\n"
           "Files:\n"
           "  -f LIST                analyse the names in LIST too, one per line (- reads standard input)\n"
           "  -0, --null             names in list files end with a NUL byte (find -print0)\n"
           "  FOLDER                 a folder stands for the media files below it, sorted by name\n"
           "  -x                     unattended processing (the command line always is)\n"
           "  --until-error          stop after the first broken file\n"
           "Full scan (AVI and MPEG files; Ctrl+C stops it):\n"
           "  --scan, --no-scan      scan whole files or not (default: the ScanEntireFile setting)\n"
           "  --vgs FILE.png         write the GOP picture of the one file analysed\n"
           "Export (overrides the stored export settings for this run):\n"
           "  --export               export every file with the stored settings\n"
           "  --export-format F      table, nfo, or a template FILE\n"
           "  --export-mode M        per-file, folder:DIR or append:FILE\n"
           "  --overwrite            per-file exports may replace existing files\n"
           "Codecs:\n"
           "  --render               let the machine render each file and list the elements it chose\n"
           "  --render-timeout SEC   give up a render after SEC seconds (default 20)\n"
           "  --chains video|audio   suggest up to six chains of filters for the video or first audio stream\n"
           "  --build                with --chains: build each chain and take it to paused, or say what failed\n"
           "Codec database:\n"
           "  --db PATH              read the codec database from PATH\n"
           "  --video-codecs         list the video formats the codec database knows\n"
           "  --audio-formats        list the audio formats the codec database knows\n"
           "  --codecs               list the installed codecs and filters (with --json: pins and types)\n"
           "  --formats              list the file formats the program reads (with --json: one object each)\n"
           "  --no-cache             gather the codec inventory afresh, without its cache\n"
           "  --set-merit F=0xHEX    give the element factory F that merit (kept for later runs;\n"
           "                         0x00600000 is rank 128, 0x00800000 rank 256)\n"
           "  --reset-merit F        give F back its own merit (and register it again)\n"
           "Other:\n"
           "  --language ru|en       the language of the report and messages (default: the locale's;\n"
           "                         JSON, --fields, --inform and exports never change with it)\n"
           "  --help                 this text\n"
           "  -V, --version          the program version\n"
           "  --                     every later argument is a file name\n"
           "Options that take a value also accept it as --option=VALUE.\n"
           "\n"
           "Exit status: 0 every file analysed, 1 a file or list could not be read, 2 wrong usage,\n"
           "3 the codec database could not be loaded, 4 an export failed (the reason on standard\n"
           "error), 130 interrupted.\n";
}

namespace {

bool ParseExportFormat(std::string_view value, ExportOverrides& e) {
    if (value == "table") e.formatSrc = 0;
    else if (value == "nfo") e.formatSrc = 1;
    else if (!value.empty()) {
        e.formatSrc = 2;
        e.templateFile = value;
    } else return false;
    return true;
}

bool ParseExportMode(std::string_view value, ExportOverrides& e) {
    if (value == "per-file") {
        e.mode = 1;
    } else if (value.starts_with("folder:") && value.size() > 7) {
        e.mode = 2;
        e.modeTarget = value.substr(7);
    } else if (value.starts_with("append:") && value.size() > 7) {
        e.mode = 3;
        e.modeTarget = value.substr(7);
    } else {
        return false;
    }
    return true;
}

// Options that take a value: "--name=value" is "--name value".
constexpr std::string_view kValueOptions[] = {"--export-format", "--export-mode", "--vgs",        "--db",
                                              "--render-timeout", "--chains",     "--set-merit", "--reset-merit",
                                              "--inform"};

// Splits "--name=value" into two arguments; false (with the error) for an
// option that takes no value.
bool SplitAssignments(int argc, const char* const* argv, std::vector<std::string>& args, std::string& error) {
    args.emplace_back(argc > 0 ? argv[0] : "torvo-cli");
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const size_t equals = arg.find('=');
        if (onlyFiles || !arg.starts_with("--") || equals == std::string_view::npos) {
            onlyFiles = onlyFiles || arg == "--";
            args.emplace_back(arg);
            continue;
        }
        const std::string_view name = arg.substr(0, equals);
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) == std::end(kValueOptions)) {
            error = "option '" + std::string(name) + "' takes no value";
            return false;
        }
        args.emplace_back(name);
        args.emplace_back(arg.substr(equals + 1));
    }
    return true;
}

bool ParseSplitOptions(int argc, const char* const* argv, Options& options, std::string& error);

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    std::vector<std::string> args;
    if (!SplitAssignments(argc, argv, args, error)) return false;
    std::vector<const char*> pointers;
    for (const std::string& arg : args) pointers.push_back(arg.c_str());
    return ParseSplitOptions(static_cast<int>(pointers.size()), pointers.data(), options, error);
}

namespace {

bool ParseSplitOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        // Options that take a value accept it as the next argument.
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                error = "option '" + std::string(arg) + "' needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view v;
        ExportOverrides& e = options.exportOverrides;
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.emplace_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "--json") {
            options.format = OutputFormat::kJson;
        } else if (arg == "--fields") {
            options.format = OutputFormat::kFields;
        } else if (arg == "--inform") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "--inform takes a template";
                return false;
            }
            options.format = OutputFormat::kInform;
            options.informTemplate = v;
        } else if (arg == "-0" || arg == "--null") {
            options.nullSeparated = true;
        } else if (arg == "-x" || arg == "-X") {
            // Unattended processing: the command line never asks anything anyway.
        } else if (arg == "-f" || arg == "-F") {
            if (!value(v)) return false;
            options.listFiles.emplace_back(v);
        } else if (arg == "--until-error") {
            options.untilError = true;
        } else if (arg == "--export") {
            e.enable = true;
        } else if (arg == "--export-format") {
            if (!value(v)) return false;
            if (!ParseExportFormat(v, e)) {
                error = "--export-format takes table, nfo or a template file";
                return false;
            }
            e.enable = true;
        } else if (arg == "--export-mode") {
            if (!value(v)) return false;
            if (!ParseExportMode(v, e)) {
                error = "--export-mode takes per-file, folder:DIR or append:FILE";
                return false;
            }
            e.enable = true;
        } else if (arg == "--overwrite") {
            e.overwrite = true;
        } else if (arg == "--scan" || arg == "--no-scan") {
            options.scan = arg == "--scan";
        } else if (arg == "--vgs") {
            if (i + 1 >= argc) {
                error = "--vgs needs a file name";
                return false;
            }
            options.vgsPath = argv[++i];
        } else if (arg == "--db") {
            if (i + 1 >= argc) {
                error = "--db needs a file name";
                return false;
            }
            options.databasePath = argv[++i];
        } else if (arg == "--render") {
            options.render = true;
        } else if (arg == "--render-timeout") {
            if (!value(v)) return false;
            const std::string seconds(v);
            char* end = nullptr;
            const double limit = std::strtod(seconds.c_str(), &end);
            if (seconds.empty() || *end != '\0' || !(limit > 0) || limit > 3600) {
                error = "--render-timeout takes a number of seconds (at most 3600)";
                return false;
            }
            options.renderTimeLimitMs = int(limit * 1000);
        } else if (arg == "--chains") {
            if (i + 1 >= argc || (std::string_view(argv[i + 1]) != "video" && std::string_view(argv[i + 1]) != "audio")) {
                error = "--chains takes video or audio";
                return false;
            }
            options.chains = argv[++i];
        } else if (arg == "--build") {
            options.buildChains = true;
        } else if (arg == "--video-codecs") {
            options.listVideoCodecs = true;
        } else if (arg == "--audio-formats") {
            options.listAudioFormats = true;
        } else if (arg == "--formats") {
            options.listFormats = true;
        } else if (arg == "--codecs") {
            options.listCodecs = true;
        } else if (arg == "--set-merit") {
            if (!value(v)) return false;
            const size_t equals = v.find('=');
            const std::string factory(v.substr(0, std::min(equals, v.size())));
            const auto merit = equals == std::string_view::npos ? std::nullopt : ParseHexStrict(v.substr(equals + 1));
            if (!CFilterOverrides::ValidName(factory) || !merit) {
                error = "--set-merit takes FACTORY=0xHEX";
                return false;
            }
            options.meritChanges.emplace_back(factory, merit);
        } else if (arg == "--reset-merit") {
            if (!value(v)) return false;
            if (!CFilterOverrides::ValidName(std::string(v))) {
                error = "--reset-merit takes an element factory name";
                return false;
            }
            options.meritChanges.emplace_back(std::string(v), std::nullopt);
        } else if (arg == "--no-cache") {
            options.noCache = true;
        } else if (arg == "--language") {
            if (!value(v)) return false;
            if (v == "system" || !ParseLanguage(v, options.language)) {
                error = "--language takes ru or en";
                return false;
            }
        } else if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (arg == "--version" || arg == "-V") {
            options.showVersion = true;
        } else {
            error = "unknown option '" + std::string(arg) + "'";
            return false;
        }
    }
    const bool listsOnly = options.listVideoCodecs || options.listAudioFormats || options.listCodecs || options.listFormats ||
                           !options.meritChanges.empty();
    if (options.files.empty() && options.listFiles.empty() && !options.showHelp && !options.showVersion &&
        !listsOnly) {
        error = "no file named";
        return false;
    }
    if (options.buildChains && options.chains.empty()) {
        error = "--build builds the chains of --chains";
        return false;
    }
    if (!options.vgsPath.empty() && (options.files.size() != 1 || !options.listFiles.empty())) {
        error = "--vgs draws the picture of one file";
        return false;
    }
    return true;
}

}  // namespace
}  // namespace torvo::cli
