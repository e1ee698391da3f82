#include "GenericList.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "GuiWidgets.h"

namespace torvo::gui {
namespace {

// Rows compare their cells as text, without regard to case.
class CListItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
    }
};

constexpr int kRescaleTicks = 5;

}  // namespace

CDlgGenericList::CDlgGenericList(GenericListSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), list_(new QTreeWidget(this)) {
    setWindowTitle(setup_.title);
    setSizeGripEnabled(true);
    setObjectName("genericList");
    auto* layout = new QVBoxLayout(this);

    list_->setObjectName("list");
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setColumnCount(int(setup_.headers.size()));
    list_->setHeaderLabels(setup_.headers);
    for (int c = 0; c < setup_.widths.size() && c < setup_.headers.size(); ++c) list_->setColumnWidth(c, setup_.widths[c]);
    for (size_t r = 0; r < setup_.rows.size(); ++r) {
        const GenericListRow& row = setup_.rows[r];
        auto* item = new CListItem(list_, row.cells);
        item->setData(0, Qt::UserRole, row.data);
        item->setData(0, Qt::UserRole + 1, int(r));
        const QBrush background(ColourFromBgr(row.colour));
        for (int c = 0; c < list_->columnCount(); ++c) item->setBackground(c, background);
    }
    // Sorting is ours: a header click sorts, a second click on it reverses.
    list_->header()->setSectionsClickable(true);
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setStretchLastSection(false);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &CDlgGenericList::SortByColumn);
    list_->sortItems(0, Qt::AscendingOrder);
    list_->header()->setSortIndicator(0, Qt::AscendingOrder);
    layout->addWidget(list_, 1);

    auto* bottom = new QHBoxLayout;
    for (int i = 0; i < kMaxLegend; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QString("legend%1").arg(i));
        label->setFrameShape(QFrame::Box);
        label->setMargin(2);
        if (static_cast<size_t>(i) < setup_.legend.size()) {
            const LegendEntry& entry = setup_.legend[static_cast<size_t>(i)];
            label->setText(entry.text);
            label->setStyleSheet(QString("QLabel { background: %1; color: black; }")
                                     .arg(ColourFromBgr(entry.colour).name()));
        } else {
            label->hide();
        }
        legendLabels_.push_back(label);
        bottom->addWidget(label);
    }
    bottom->addStretch(1);
    auto* close = new QPushButton(Tq("Закрыть"), this);
    close->setObjectName("closeButton");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(list_, &QTreeWidget::customContextMenuRequested, this, &CDlgGenericList::ShowContextMenu);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (setup_.details && item) setup_.details(*this, item->data(0, Qt::UserRole).toULongLong());
    });
    rescaleTimer_.setInterval(100);
    connect(&rescaleTimer_, &QTimer::timeout, this, [this] {
        if (++rescaleTicks_ < kRescaleTicks) return;
        rescaleTimer_.stop();
        RescaleColumns();
    });

    int width = 40;
    for (int w : setup_.widths) width += w;
    resize(std::min(width, 1200), 520);
}

void CDlgGenericList::SortByColumn(int column) {
    if (column == sortColumn_) sortOrder_ = sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    else sortColumn_ = column, sortOrder_ = Qt::AscendingOrder;
    list_->sortItems(sortColumn_, sortOrder_);
    list_->header()->setSortIndicator(sortColumn_, sortOrder_);
}

void CDlgGenericList::UpdateRow(qulonglong rowData, const QStringList& cells, uint32_t colour) {
    const QBrush background(ColourFromBgr(colour));
    for (int r = 0; r < list_->topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = list_->topLevelItem(r);
        if (item->data(0, Qt::UserRole).toULongLong() != rowData) continue;
        for (int c = 0; c < list_->columnCount(); ++c) {
            item->setText(c, c < cells.size() ? cells[c] : QString());
            item->setBackground(c, background);
        }
    }
}

void CDlgGenericList::RemoveRow(qulonglong rowData) {
    for (int r = list_->topLevelItemCount() - 1; r >= 0; --r)
        if (list_->topLevelItem(r)->data(0, Qt::UserRole).toULongLong() == rowData) delete list_->takeTopLevelItem(r);
}

QString CDlgGenericList::RowText(int shownRow) const {
    const QTreeWidgetItem* item = list_->topLevelItem(shownRow);
    if (!item) return {};
    QStringList cells;
    for (int c = 0; c < list_->columnCount(); ++c) cells << item->text(c);
    return cells.join('\t');
}

QString CDlgGenericList::TableText() const {
    QStringList lines;
    for (int r = 0; r < list_->topLevelItemCount(); ++r) lines << RowText(r);
    return lines.join('\n') + (lines.isEmpty() ? "" : "\n");
}

void CDlgGenericList::CopyRow() {
    QTreeWidgetItem* item = list_->currentItem();
    if (item) QApplication::clipboard()->setText(RowText(list_->indexOfTopLevelItem(item)) + "\n");
}

void CDlgGenericList::CopyTable() { QApplication::clipboard()->setText(TableText()); }

bool CDlgGenericList::SelectedData(qulonglong& rowData) const {
    const QTreeWidgetItem* item = list_->currentItem();
    if (item && item->isSelected()) {
        rowData = item->data(0, Qt::UserRole).toULongLong();
        return true;
    }
    if (setup_.preselected >= 0 && static_cast<size_t>(setup_.preselected) < setup_.rows.size()) {
        rowData = setup_.rows[static_cast<size_t>(setup_.preselected)].data;
        return true;
    }
    return false;
}

void CDlgGenericList::RunCommand(int command) {
    qulonglong rowData = 0;
    if (setup_.command && SelectedData(rowData)) setup_.command(*this, command, rowData);
}

void CDlgGenericList::ShowContextMenu(const QPoint& at) {
    QMenu menu(this);
    FillContextMenu(menu);
    menu.exec(list_->viewport()->mapToGlobal(at));
}

void CDlgGenericList::FillContextMenu(QMenu& menu) {
    qulonglong rowData = 0;
    const bool onRow = SelectedData(rowData);
    if (setup_.contextMenu && onRow) {
        setup_.contextMenu(*this, rowData, menu);
        if (!menu.isEmpty()) menu.addSeparator();
    }
    menu.addAction(Tq("Скопировать &строку в буфер"), this, &CDlgGenericList::CopyRow)->setEnabled(list_->currentItem());
    menu.addAction(Tq("Скопировать &таблицу в буфер"), this, &CDlgGenericList::CopyTable);
}

void CDlgGenericList::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    rescaleTicks_ = 0;
    rescaleTimer_.start();
}

void CDlgGenericList::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (detailsRun_ || setup_.preselected < 0) return;
    detailsRun_ = true;
    for (int r = 0; r < list_->topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = list_->topLevelItem(r);
        if (item->data(0, Qt::UserRole + 1).toInt() != setup_.preselected) continue;
        list_->setCurrentItem(item);
        list_->scrollToItem(item);
        if (setup_.details) setup_.details(*this, item->data(0, Qt::UserRole).toULongLong());
        break;
    }
}

void CDlgGenericList::RescaleColumns() {
    int total = 0;
    for (int c = 0; c < list_->columnCount(); ++c) total += list_->columnWidth(c);
    const int room = list_->viewport()->width();
    if (total <= 0 || room <= 0) return;
    int used = 0;
    for (int c = 0; c < list_->columnCount(); ++c) {
        const int last = c == list_->columnCount() - 1;
        const int width = last ? room - used : list_->columnWidth(c) * room / total;
        list_->setColumnWidth(c, std::max(width, 0));
        used += width;
    }
}

}  // namespace torvo::gui
