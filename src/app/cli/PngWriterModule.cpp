// The PNG writer of --vgs, built as a module of its own: torvo-cli loads it
// (and Qt's image classes with it) only when a picture is to be written, so
// that analysing files never pays for loading the GUI libraries.
#include <QImage>
#include <QString>

#include <cstdint>

#include "PngWriterModule.h"

extern "C" __attribute__((visibility("default"))) bool TorvoWritePngRgb(const uint32_t* pixels, int width,
                                                                        int height, const char* path) {
    if (!pixels || width <= 0 || height <= 0 || !path) return false;
    QImage png(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(png.scanLine(y));
        const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) line[x] = 0xFF000000u | row[x];
    }
    return png.save(QString::fromUtf8(path), "PNG");
}
