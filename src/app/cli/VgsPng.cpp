#include "VgsPng.h"

#include <dlfcn.h>

#include <vector>

#include "PngWriterModule.h"
#include "analysis/DriverScan.h"
#include "settings/ProgramLocation.h"

#ifndef TORVO_PNG_MODULE_INSTALLED
#define TORVO_PNG_MODULE_INSTALLED ""
#endif
#ifndef TORVO_MODULES_FROM_PROGRAM
#define TORVO_MODULES_FROM_PROGRAM ""
#endif

namespace torvo::cli {
namespace {

constexpr int kCellsPerBand = 100;
constexpr int kMaxBands = 1000;  // the first 100,000 pictures or so: a picture of sane size

// The PNG writer, looked for where every module of the program is.
TorvoWritePngRgbFn LoadPngWriter(std::string& error) {
    const std::vector<std::string> candidates =
        ModuleCandidates(kPngModuleFile, TORVO_MODULES_FROM_PROGRAM, TORVO_PNG_MODULE_INSTALLED);
    for (const std::string& file : candidates) {
        void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = ::dlerror();
            error = why ? why : file;
            continue;
        }
        // The module stays loaded for the rest of the run.
        if (auto* write = reinterpret_cast<TorvoWritePngRgbFn>(::dlsym(module, kPngWriterSymbol))) return write;
        error = file + ": no " + kPngWriterSymbol;
    }
    if (candidates.empty()) error = std::string(kPngModuleFile) + " not found";
    return nullptr;
}

}  // namespace

std::string WriteVgsPicture(const CAnalysisDriver& driver, const std::string& path) {
    const CFastScan* scan = driver.Scan();
    if (!ScanHasPictures(scan)) return "torvo-cli: --vgs: the full scan found no pictures to draw";
    CFrameLayout layout = FrameLayoutOf(*scan, driver.Records().video);
    layout.SetOptions({.grouped = true});
    const int group = layout.Options().grouped ? scan->Gop().gopLength : 1;
    const int cells = kCellsPerBand / group * group;
    layout.Resize(2 + cells * CFrameLayout::kCellWidth, 2);
    const auto bands = static_cast<int>(std::min<size_t>(layout.TotalBands(), kMaxBands));
    layout.Resize(2 + cells * CFrameLayout::kCellWidth, 2 + bands * CFrameLayout::kBandHeight);
    const VgsImage image = layout.Draw(0);

    static std::string loadError;
    static const TorvoWritePngRgbFn write = LoadPngWriter(loadError);
    if (!write) return "torvo-cli: --vgs: cannot load the PNG writer: " + loadError;
    if (!write(image.pixels.data(), image.width, image.height, path.c_str()))
        return "torvo-cli: --vgs: cannot write " + path;
    return {};
}

}  // namespace torvo::cli
