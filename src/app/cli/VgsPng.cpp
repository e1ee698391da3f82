#include "VgsPng.h"

#include <QImage>
#include <QString>

#include "analysis/DriverScan.h"

namespace torvo::cli {
namespace {

constexpr int kCellsPerBand = 100;
constexpr int kMaxBands = 1000;  // the first 100,000 pictures or so: a picture of sane size

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

    QImage png(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
        for (int x = 0; x < image.width; ++x) line[x] = 0xFF000000u | image.At(x, y);
    }
    if (!png.save(QString::fromStdString(path), "PNG")) return "torvo-cli: --vgs: cannot write " + path;
    return {};
}

}  // namespace torvo::cli
