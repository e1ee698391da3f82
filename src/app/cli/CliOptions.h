// Command-line options of torvo-cli.
#pragma once

#include <string>
#include <vector>

namespace torvo::cli {

enum class OutputFormat { kText, kJson, kFields };

struct Options {
    OutputFormat format = OutputFormat::kText;
    bool showHelp = false;
    bool showVersion = false;
    bool listVideoCodecs = false;
    bool listAudioFormats = false;
    std::string databasePath;  // empty: the usual search for Torvo27.dat
    std::vector<std::string> files;
};

// Parses argv; on wrong usage returns false with a message in error.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace torvo::cli
