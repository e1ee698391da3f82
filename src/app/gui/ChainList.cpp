#include "ChainList.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>

namespace torvo::gui {

CChainListView::CChainListView(QWidget* parent) : CNotesView(parent) {
    setMouseTracking(true);
    // A chain line is read whole: it scrolls sideways instead of being cut.
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

const ChainElement* CChainListView::ElementAt(const QPoint& point) const {
    QListWidgetItem* row = itemAt(point);
    if (!row || !lineOf_) return nullptr;
    const ChainLine* line = lineOf_(this->row(row), SourceText(this->row(row)));
    if (!line) return nullptr;
    // The elements follow each other from the text's start in the list's font.
    const QRect rect = visualItemRect(row);
    const QFontMetrics metrics(font());
    int x = rect.left() + 3;
    for (const ChainElement& e : line->elements) {
        const int width = metrics.horizontalAdvance(Lq(e.text));
        if (point.x() >= x && point.x() < x + width) return &e;
        x += width;
    }
    return nullptr;
}

QString CChainListView::Shown(int row, const std::string& text) const {
    const ChainLine* line = lineOf_ ? lineOf_(row, text) : nullptr;
    if (!line || line->elements.empty()) return Lq(text);
    QString shown;
    for (const ChainElement& e : line->elements) shown += Lq(e.text);
    return shown;
}

bool CChainListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const ChainElement* e = ElementAt(help->pos())) {
            QToolTip::showText(help->globalPos(), Lq(e->detail), viewport());
            return true;
        }
        QToolTip::hideText();
    }
    return CNotesView::viewportEvent(event);
}

void CChainListView::mousePressEvent(QMouseEvent* event) {
    if (const ChainElement* e = ElementAt(event->position().toPoint())) {
        selected_ = *e;
        setStatusTip(Lq(e->detail));
        setToolTip(Lq(e->detail));
    } else {
        selected_ = ChainElement{};
        setToolTip({});
    }
    CNotesView::mousePressEvent(event);
}

QMenu* CChainListView::MenuFor(const QPoint& point) {
    const ChainElement* e = ElementAt(point);
    const ChainElement element = e ? *e : ChainElement{};
    auto* menu = new QMenu(this);
    menu->setObjectName("chainMenu");
    struct Item {
        const char* text;
        const char* name;
        ChainCommand command;
    };
    constexpr Item kItems[] = {
        {N_("Детально об этом"), "chainDetails", ChainCommand::kDetails},
        {N_("&Страница свойств"), "chainPropertyPage", ChainCommand::kPropertyPage},
        {N_("&Отрендерить это"), "chainRenderThis", ChainCommand::kRenderThis},
        {N_("&Воспроизвести это"), "chainPlayThis", ChainCommand::kPlayThis},
        {N_("&Сбросить все"), "chainResetAll", ChainCommand::kResetAll},
    };
    for (const Item& item : kItems) {
        QAction* action = menu->addAction(Tq(item.text));
        action->setObjectName(item.name);
        action->setEnabled(enabled_ && enabled_(item.command, e ? &element : nullptr));
        const ChainCommand command = item.command;
        connect(action, &QAction::triggered, this, [this, command, element] { emit chainCommand(command, element); });
    }
    return menu;
}

void CChainListView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = MenuFor(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

}  // namespace torvo::gui
