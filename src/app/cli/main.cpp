// torvo-cli: analyses the named media files and prints their reports.
#include <unistd.h>

#include <iostream>

#include "CliOptions.h"
#include "CliRun.h"

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
    cli::RunContext context;
    context.progress = ::isatty(STDERR_FILENO) == 1;
    return cli::RunQueue(options, context);
}
