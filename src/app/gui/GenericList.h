// CDlgGenericList: a resizable table dialog sortable by any column, one
// colour per row, a legend of up to six colours, copy commands and callbacks
// for the caller's own row commands. The database tables use it, and the
// codec and media type lists build on it.
#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class QLabel;

namespace torvo::gui {

struct LegendEntry {
    QString text;
    uint32_t colour = 0xFFFFFF;  // 0x00BBGGRR
};

struct GenericListRow {
    QStringList cells;
    uint32_t colour = 0xFFFFFF;  // 0x00BBGGRR
    qulonglong data = 0;         // the caller's own (an inventory index)
};

class CDlgGenericList;
struct GenericListSetup {
    QString title;
    QStringList headers;
    QList<int> widths;
    std::vector<GenericListRow> rows;
    std::vector<LegendEntry> legend;  // at most six are shown
    int preselected = -1;             // a row index, or none
    // Adds the caller's commands to a row's context menu (before the copy commands).
    std::function<void(CDlgGenericList&, qulonglong data, QMenu& menu)> contextMenu;
    // A row command: the caller's command id and the row's data.
    std::function<void(CDlgGenericList&, int command, qulonglong data)> command;
    // The details command: double click, and the preselected row at start.
    std::function<void(CDlgGenericList&, qulonglong data)> details;
};

class CDlgGenericList : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLegend = 6;

    explicit CDlgGenericList(GenericListSetup setup, QWidget* parent = nullptr);

    QTreeWidget* List() const { return list_; }
    // The row texts in their shown order, tab-separated cells.
    QString RowText(int shownRow) const;
    QString TableText() const;
    // Copies the selected row, or every row, to the clipboard.
    void CopyRow();
    void CopyTable();
    // The data of the selected row, or of the preselected one when the user
    // has not selected any.
    bool SelectedData(qulonglong& rowData) const;
    // Runs a command of the caller for the selected row.
    void RunCommand(int command);
    void SortByColumn(int column);
    // Shows new texts and colour for the rows with that data (after a change
    // of the entry they show), or drops them.
    void UpdateRow(qulonglong rowData, const QStringList& cells, uint32_t colour);
    void RemoveRow(qulonglong rowData);
    // The context menu: the selected row's own commands, then the copies.
    void FillContextMenu(QMenu& menu);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowContextMenu(const QPoint& at);
    void RescaleColumns();

    GenericListSetup setup_;
    QTreeWidget* list_;
    std::vector<QLabel*> legendLabels_;
    QTimer rescaleTimer_;
    int rescaleTicks_ = 0;
    int sortColumn_ = 0;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    bool detailsRun_ = false;
};

}  // namespace torvo::gui
