// The small widgets of the main window: read-only field boxes, indicator
// lamps, the bar graph and the colour-coded notes lists. Each renders one
// piece of the display model and computes nothing of its own.
#pragma once

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/Display.h"

namespace torvo::gui {

inline QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string Std(const QString& text) { return text.toUtf8().toStdString(); }

// 0x00BBGGRR, as the analysis gives colours, to a Qt colour.
QColor ColourFromBgr(uint32_t bgr);

// A read-only text box a person can select and copy from; carries the
// caption of the display field it shows.
class CFieldBox : public QLineEdit {
public:
    CFieldBox(std::string_view caption, QWidget* parent = nullptr);
    const std::string& Caption() const { return caption_; }
    // Shows the field (empty when absent) with its background colour.
    void ShowField(const PanelField* field);

protected:
    // Only selecting and copying belong to the field: the window's commands
    // (Ctrl+Home and the like) keep their keys while it has the focus.
    bool event(QEvent* event) override;

private:
    std::string caption_;
};

// A captioned indicator: lit, dark or hidden.
class CLamp : public QLabel {
public:
    CLamp(std::string_view caption, const QString& tooltip, QWidget* parent = nullptr);
    const std::string& Caption() const { return caption_; }
    void ShowState(LampState state);
    LampState State() const { return state_; }

private:
    std::string caption_;
    LampState state_ = LampState::kDark;
};

// Coloured segments over a scale.
class CBarGraph : public QWidget {
public:
    explicit CBarGraph(QWidget* parent = nullptr);
    void ShowBar(const BarGraph* bar);
    const BarGraph& Bar() const { return bar_; }
    QSize sizeHint() const override { return {200, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    BarGraph bar_;
};

// A notes list: one line per note on its palette background colour.
// Lines wider than the view scroll sideways; Ctrl+C copies every selected line.
class CNotesView : public QListWidget {
public:
    explicit CNotesView(QWidget* parent = nullptr);
    // A new list (another file) starts with nothing selected, so that its
    // lines show their colours.
    void ShowNotes(const NotesList& notes);
    // The selected lines in list order, one per line.
    QString SelectedText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace torvo::gui
