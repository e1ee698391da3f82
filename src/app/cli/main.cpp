// torvo-cli: analyses the named media files and prints their reports.
#include <cstdio>
#include <iostream>

#include "CliOptions.h"
#include "CliReport.h"
#include "analysis/Driver.h"
#include "codecdb/ReadDatabase.h"

namespace {

// A database table as the menu lists it: title, column headers, then one line per entry.
void PrintListing(const torvo::DatabaseListing& listing) {
    std::cout << listing.title << "\n"
              << listing.columns[0] << "\t" << listing.columns[1] << "\t" << listing.columns[2] << "\n";
    for (const auto& row : listing.rows) std::cout << row[0] << "\t" << row[1] << "\t" << row[2] << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace torvo;
    cli::Options options;
    std::string error;
    if (!cli::ParseOptions(argc, argv, options, error)) {
        std::cerr << "torvo-cli: " << error << "\n" << cli::UsageText();
        return 2;
    }
    if (options.showHelp) {
        std::cout << cli::UsageText();
        return 0;
    }
    if (options.showVersion) {
        std::cout << "torvo-cli " << TORVO_VERSION << "\n";
        return 0;
    }

    // The program cannot run without its codec database.
    CReadDatabase database;
    const bool loaded = options.databasePath.empty() ? database.Load() : database.Load(options.databasePath, {});
    if (!loaded) {
        const UserMessage& m = database.LastMessage();
        std::cerr << m.caption << ": " << m.text << "\n";
        return 3;
    }
    if (options.listVideoCodecs) PrintListing(ListVideoCodecs(database));
    if (options.listAudioFormats) {
        if (options.listVideoCodecs) std::cout << "\n";
        PrintListing(ListAudioFormats(database));
    }

    Display display;
    CAnalysisDriver driver(display);
    int status = 0;
    for (const std::string& path : options.files) {
        if (!driver.AnalyseFile(path)) {
            const UserMessage& m = driver.LastMessage();
            std::cerr << m.caption << ": " << m.text << "\n";
            status = 1;
            continue;
        }
        switch (options.format) {
            case cli::OutputFormat::kText: std::cout << cli::TextReport(path, display) << "\n"; break;
            case cli::OutputFormat::kFields: std::cout << cli::FieldLines(display) << "\n"; break;
            case cli::OutputFormat::kJson:
                std::cout << cli::JsonLine(path, driver.Container().typeId, display) << "\n";
                break;
        }
    }
    return status;
}
