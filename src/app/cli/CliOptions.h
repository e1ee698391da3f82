// Command-line options of torvo-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "base/Translate.h"

namespace torvo::cli {

// kInform: each file's report fields through the --inform template.
enum class OutputFormat { kText, kJson, kFields, kInform };

// Export settings given on the command line; each overrides the stored one.
struct ExportOverrides {
    bool enable = false;               // --export (implied by the other export options)
    std::optional<int> formatSrc;      // --export-format table|nfo|FILE
    std::string templateFile;          //   the FILE of --export-format
    std::optional<int> mode;           // --export-mode per-file|folder:DIR|append:FILE
    std::string modeTarget;            //   the DIR or FILE
    bool overwrite = false;            // --overwrite
};

struct Options {
    OutputFormat format = OutputFormat::kText;
    bool showHelp = false;
    bool showVersion = false;
    bool listFormats = false;
    bool untilError = false;           // stop after the first broken file
    bool listVideoCodecs = false;
    bool listAudioFormats = false;
    bool render = false;               // --render: the render test after each file
    int renderTimeLimitMs = 20000;     // --render-timeout SECONDS
    std::string chains;                // --chains video|audio: the suggested chains of each file
    bool buildChains = false;          // --build: each suggested chain built for real
    bool listCodecs = false;           // --codecs: the codec inventory
    bool noCache = false;              // --no-cache: gather the inventory afresh
    // --set-merit FACTORY=0xHEX and --reset-merit FACTORY, in the order given
    // (a reset has no merit).
    std::vector<std::pair<std::string, std::optional<uint32_t>>> meritChanges;
    std::string databasePath;  // empty: the usual search for Torvo27.dat
    std::vector<std::string> files;
    std::vector<std::string> listFiles;  // -f LIST; "-" reads names from standard input
    bool nullSeparated = false;          // -0/--null: list files separate names by NUL bytes
    std::string informTemplate;          // --inform: a template text, or file://PATH or an existing file
    ExportOverrides exportOverrides;
    std::optional<bool> scan;  // --scan / --no-scan; unset: the stored preference
    std::string vgsPath;       // --vgs FILE.png
    Language language = Language::kSystem;  // --language ru|en; unset: the locale's
};

// Parses argv; on wrong usage returns false with a message in error.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace torvo::cli
