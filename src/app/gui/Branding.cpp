#include "Branding.h"

#include <QGroupBox>
#include <QIcon>
#include <QPainter>
#include <QTimer>

void TorvoInitResources();

namespace torvo::gui {

CLogo::CLogo(bool still, std::function<bool()> busy, QWidget* parent) : QWidget(parent), busy_(std::move(busy)) {
    ::TorvoInitResources();
    setObjectName("logo");
    setFixedSize(sizeHint());
    setToolTip("Torvo");
    if (still) return;
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { Step(); });
    timer_->start(60);
}

void CLogo::Step() {
    const bool working = busy_ && busy_();
    // Working: a slow turn; idle: back to upright and still.
    const int next = working ? (angle_ + 6) % 360 : 0;
    if (next != angle_) {
        angle_ = next;
        update();
    }
}

void CLogo::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect box = rect().adjusted(2, 2, -2, -2);
    painter.translate(rect().center());
    painter.rotate(angle_);
    painter.translate(-rect().center());
    static const QIcon icon(":/torvo/torvo.svg");
    icon.paint(&painter, box);
}

void ApplyPanelBackgrounds(QWidget* window, bool monochrome) {
    const QString shaded =
        "QGroupBox { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f7f9fc, stop:1 #dfe7f1); "
        "border: 1px solid #aab6c4; border-radius: 3px; margin-top: 1.2ex; padding-top: 0.6ex; } "
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 3px; }";
    for (QGroupBox* group : window->findChildren<QGroupBox*>()) group->setStyleSheet(monochrome ? QString() : shaded);
}

}  // namespace torvo::gui
