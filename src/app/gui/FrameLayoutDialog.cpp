#include "FrameLayoutDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "GuiWidgets.h"
#include "HelpTexts.h"

namespace torvo::gui {

// The drawing area: the core's picture of the visible bands, and the hover text
// of the cell under the mouse.
class CFrameLayoutView : public QWidget {
public:
    explicit CFrameLayoutView(CFrameLayoutDlg* owner) : QWidget(owner), owner_(owner) {
        setObjectName("vgsView");
        setMouseTracking(true);
        setMinimumSize(CFrameLayout::kCellWidth * 24 + 2, CFrameLayout::kBandHeight * 4 + 1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        VgsImage image = owner_->layout_.Draw(owner_->FirstPicture());
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        if (image.width > 0 && image.height > 0) {
            // QImage's RGB32 is the core's 0x00RRGGBB with the top byte set.
            for (uint32_t& pixel : image.pixels) pixel |= 0xFF000000u;
            const QImage picture(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                                 image.width * 4, QImage::Format_RGB32);
            painter.drawImage(0, 0, picture);
        }
    }
    void resizeEvent(QResizeEvent*) override { owner_->Relayout(); }
    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        const auto picture = owner_->layout_.PictureAt(at.x(), at.y(), owner_->FirstPicture());
        owner_->hover_->setText(picture ? Lq(owner_->layout_.HoverText(*picture)) : QString());
    }
    void wheelEvent(QWheelEvent* event) override {
        owner_->scroll_->setValue(owner_->scroll_->value() - event->angleDelta().y() / 120);
    }

private:
    CFrameLayoutDlg* owner_;
};

CFrameLayoutDlg::CFrameLayoutDlg(CFrameLayout layout, QWidget* parent) : QDialog(parent), layout_(std::move(layout)) {
    setObjectName("frameLayoutDialog");
    setWindowTitle("VGS");
    setSizeGripEnabled(true);
    auto* outer = new QVBoxLayout(this);

    auto* row = new QHBoxLayout;
    static constexpr const char* kNames[] = {"vgsGrouped", "vgsCodedOrder", "vgsBDependency", "vgsNumbers",
                                             "vgsFields"};
    static constexpr const char* kTexts[] = {N_("По GOP (N)"), N_("Как кодиров"), N_("Зависимости B"),
                                             N_("Номера"), N_("Поля")};
    const VgsOptions available = layout_.Available();
    const bool enabled[] = {available.grouped, available.codedOrder, available.bDependency, available.numbers,
                            available.fields};
    for (size_t i = 0; i < options_.size(); ++i) {
        options_[i] = new QCheckBox(Tq(kTexts[i]), this);
        options_[i]->setObjectName(kNames[i]);
        options_[i]->setEnabled(enabled[i]);
        connect(options_[i], &QCheckBox::toggled, this, &CFrameLayoutDlg::OptionsChanged);
        row->addWidget(options_[i]);
    }
    row->addStretch(1);
    hover_ = new QLabel(this);
    hover_->setObjectName("vgsHover");
    hover_->setMinimumWidth(180);
    row->addWidget(hover_);
    outer->addLayout(row);

    auto* area = new QHBoxLayout;
    view_ = new CFrameLayoutView(this);
    area->addWidget(view_, 1);
    scroll_ = new QScrollBar(Qt::Vertical, this);
    scroll_->setObjectName("vgsScroll");
    connect(scroll_, &QScrollBar::valueChanged, this, &CFrameLayoutDlg::Refresh);
    area->addWidget(scroll_);
    outer->addLayout(area, 1);

    status_ = new QLabel(this);
    status_->setObjectName("vgsStatus");
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    // Short explanations of what the window shows.
    static constexpr std::pair<const char*, const char*> kLinks[] = {
        {"mainkey", "N/M"}, {"order", N_("Порядок")}, {"ixn", N_("По GOP")}, {"bframes", "B"}, {"fields", N_("Поля")},
        {"seq", N_("Метки")}};
    for (const auto& [topic, caption] : kLinks) {
        auto* link = new QLabel(LinkHtml(topic, Tq(caption)), this);
        link->setObjectName(QString("vgsLink_") + topic);
        connect(link, &QLabel::linkActivated, this, [this](const QString& target) { ShowPopup(this, HelpText(target)); });
        bottom->addWidget(link);
    }
    outer->addLayout(bottom);
    resize(820, 420);
}

CFrameLayoutDlg::~CFrameLayoutDlg() = default;

size_t CFrameLayoutDlg::FirstPicture() const {
    return static_cast<size_t>(scroll_->value()) * static_cast<size_t>(std::max(layout_.CellsPerBand(), 1));
}

void CFrameLayoutDlg::OptionsChanged() {
    VgsOptions o;
    o.grouped = options_[0]->isChecked();
    o.codedOrder = options_[1]->isChecked();
    o.bDependency = options_[2]->isChecked();
    o.numbers = options_[3]->isChecked();
    o.fields = options_[4]->isChecked();
    layout_.SetOptions(o);
    Relayout();
}

void CFrameLayoutDlg::Relayout() {
    layout_.Resize(view_->width(), view_->height());
    // The scroll bar moves by bands; the last page shows the last band at the bottom.
    const auto total = static_cast<int>(std::min<size_t>(layout_.TotalBands(), 1u << 30));
    scroll_->setRange(0, std::max(0, total - layout_.Bands()));
    scroll_->setPageStep(std::max(1, layout_.Bands()));
    Refresh();
}

void CFrameLayoutDlg::Refresh() {
    status_->setText(Lq(layout_.StatusText(FirstPicture())));
    view_->update();
}

}  // namespace torvo::gui
