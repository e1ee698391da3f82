#include "CliOptions.h"

#include <string_view>

namespace torvo::cli {

const char* UsageText() {
    return "Usage: torvo-cli [options] FILE...\n"
           "Identifies each media file and prints what it holds.\n"
           "\n"
           "  --json       one JSON object per file, one per line\n"
           "  --fields     the report fields as NAME<TAB>value lines\n"
           "  -x           unattended processing (always so on the command line)\n"
           "  --db PATH    read the codec database from PATH\n"
           "  --video-codecs   list the video formats the codec database knows\n"
           "  --audio-formats  list the audio formats the codec database knows\n"
           "  --help       this text\n"
           "  --version    the program version\n"
           "  --           every later argument is a file name\n"
           "\n"
           "Exit status: 0 every file analysed, 1 a file could not be opened, 2 wrong usage,\n"
           "3 the codec database could not be loaded.\n";
}

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            options.files.emplace_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "--json") {
            options.format = OutputFormat::kJson;
        } else if (arg == "--fields") {
            options.format = OutputFormat::kFields;
        } else if (arg == "-x" || arg == "-X") {
            // Unattended processing: the command line never asks anything anyway.
        } else if (arg == "--db") {
            if (i + 1 >= argc) {
                error = "--db needs a file name";
                return false;
            }
            options.databasePath = argv[++i];
        } else if (arg == "--video-codecs") {
            options.listVideoCodecs = true;
        } else if (arg == "--audio-formats") {
            options.listAudioFormats = true;
        } else if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (arg == "--version") {
            options.showVersion = true;
        } else {
            error = "unknown option '" + std::string(arg) + "'";
            return false;
        }
    }
    const bool listsOnly = options.listVideoCodecs || options.listAudioFormats;
    if (options.files.empty() && !options.showHelp && !options.showVersion && !listsOnly) {
        error = "no file named";
        return false;
    }
    return true;
}

}  // namespace torvo::cli
