#include "GuiWidgets.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>

namespace torvo::gui {

QColor ColourFromBgr(uint32_t bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

CFieldBox::CFieldBox(std::string_view caption, QWidget* parent) : QLineEdit(parent), caption_(caption) {
    setReadOnly(true);
    setProperty("caption", Qs(caption));
}

bool CFieldBox::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool own = key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll);
        if (!own && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            // Left unaccepted, the key goes to the window's shortcuts.
            event->ignore();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CFieldBox::ShowField(const PanelField* field) {
    const std::string_view shown = field ? std::string_view(field->text) : std::string_view();
    if (shown != shown_) {
        shown_ = shown;
        const QString text = verbatim_ ? Qs(shown) : Lq(shown);
        setText(text);
        setCursorPosition(0);
        setToolTip(text);
    }
    QPalette p = palette();
    const bool coloured = field && field->background >= 0;
    p.setColor(QPalette::Base, coloured ? ColourFromBgr(static_cast<uint32_t>(field->background))
                                        : QApplication::palette().color(QPalette::Base));
    setPalette(p);
}

CLamp::CLamp(std::string_view caption, const QString& tooltip, QWidget* parent)
    : QLabel(Qs(caption), parent), caption_(caption) {
    setAlignment(Qt::AlignCenter);
    setToolTip(tooltip);
    setMinimumWidth(38);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setProperty("lamp", Qs(caption));
    ShowState(LampState::kDark);
}

void CLamp::ShowState(LampState state) {
    state_ = state;
    setProperty("lit", state == LampState::kLit);
    // Hidden lamps keep their place so that the others do not move.
    QSizePolicy keep = sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    setSizePolicy(keep);
    setVisible(state != LampState::kHidden);
    setStyleSheet(state == LampState::kLit ? "QLabel { background: #40d040; color: black; font-weight: bold; }"
                                           : "QLabel { background: #d8d8d8; color: #909090; }");
}

CBarGraph::CBarGraph(QWidget* parent) : QWidget(parent) { setMinimumHeight(14); }

void CBarGraph::ShowBar(const BarGraph* bar) {
    bar_ = bar ? *bar : BarGraph{};
    update();
}

void CBarGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(area, palette().color(QPalette::Window).darker(105));
    if (bar_.scale > 0) {
        for (const BarSegment& segment : bar_.segments) {
            const int x0 = area.left() + area.width() * segment.from / bar_.scale;
            const int x1 = area.left() + area.width() * segment.to / bar_.scale;
            if (x1 > x0) painter.fillRect(QRect(x0, area.top(), x1 - x0, area.height()), ColourFromBgr(segment.colour));
        }
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(area);
}

CNotesView::CNotesView(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Items of their own widths, so that the widest line sets the horizontal scroll range.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

QString CNotesView::SelectedText() const {
    QStringList lines;
    for (int i = 0; i < count(); ++i)
        if (item(i)->isSelected()) lines << item(i)->text();
    return lines.join('\n');
}

void CNotesView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        if (const QString text = SelectedText(); !text.isEmpty()) QApplication::clipboard()->setText(text);
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

// Each line keeps the core's text, so that only a changed one is translated again.
constexpr int kShownRole = Qt::UserRole + 1;

std::string CNotesView::SourceText(int row) const {
    const QListWidgetItem* line = item(row);
    return line ? Std(line->data(kShownRole).toString()) : std::string();
}

QString CNotesView::Shown(int, const std::string& text) const { return Lq(text); }

void CNotesView::ShowNotes(const NotesList& notes) {
    const auto& lines = notes.Lines();
    // Another list than the one shown (the first line differs, or it is gone):
    // the earlier selection means nothing for it.
    if (lines.empty() || count() == 0 || item(0)->data(kShownRole).toString() != Qs(lines.front().text)) clearSelection();
    // Lines are replaced in place, so that interim results do not flicker.
    while (count() > static_cast<int>(lines.size())) delete takeItem(count() - 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        QListWidgetItem* line = i < static_cast<size_t>(count()) ? item(static_cast<int>(i)) : nullptr;
        if (!line) {
            line = new QListWidgetItem;
            addItem(line);
        }
        const QString shown = Qs(lines[i].text);
        if (line->data(kShownRole).toString() != shown) {
            line->setData(kShownRole, shown);
            // A tag's own text is the file's: only the program's label is translated.
            const bool tag = lines[i].ownFrom != std::string::npos;
            line->setText(tag ? Qs(LocaliseNote(lines[i])) : Shown(static_cast<int>(i), lines[i].text));
        }
        const int colour = lines[i].colour;
        const bool plain = colour <= 0 || colour >= static_cast<int>(kNotesPalette.size());
        line->setBackground(plain ? QBrush() : QBrush(ColourFromBgr(kNotesPalette[static_cast<size_t>(colour)])));
        line->setData(Qt::UserRole, colour);
        // Dark backgrounds carry light text.
        const bool dark = !plain && ColourFromBgr(kNotesPalette[static_cast<size_t>(colour)]).lightness() < 110;
        line->setForeground(dark ? QBrush(Qt::white) : QBrush());
    }
}

}  // namespace torvo::gui
