#include "GopStruct.h"

#include <QImage>
#include <QPainter>

#include "GuiWidgets.h"
#include "formats/vgs/GopStrip.h"

namespace torvo::gui {

CGopStruct::CGopStruct(QWidget* parent) : QWidget(parent) {
    setObjectName("gopStrip");
    setToolTip(Tq("Последние 64"));
    setMinimumSize(CGopStrip::kCellWidth * 8, 10);
    setMaximumWidth(CGopStrip::kCellWidth * static_cast<int>(CGopStrip::kPictures));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize CGopStruct::sizeHint() const { return {CGopStrip::kCellWidth * static_cast<int>(CGopStrip::kPictures), 12}; }

void CGopStruct::ShowPictures(const std::vector<uint32_t>& pictures) {
    if (pictures == pictures_) return;
    pictures_ = pictures;
    update();
}

void CGopStruct::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (pictures_.empty()) return;
    VgsImage image = CGopStrip(pictures_).Draw(width(), height());
    if (image.width <= 0 || image.height <= 0) return;
    // QImage's RGB32 is the core's 0x00RRGGBB with the top byte set.
    for (uint32_t& pixel : image.pixels) pixel |= 0xFF000000u;
    const QImage picture(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                         image.width * 4, QImage::Format_RGB32);
    painter.drawImage(0, 0, picture);
}

}  // namespace torvo::gui
