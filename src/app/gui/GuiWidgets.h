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
#include "base/Translate.h"

namespace torvo::gui {

inline QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string Std(const QString& text) { return text.toUtf8().toStdString(); }
// A Russian original of the window, marked with N_(), in the window's language.
inline QString Tq(const char* original) { return Qs(Tr(original)); }
// A text the core composed (a value, a note, a chain line) in the window's language.
// Only a text with non-ASCII letters can hold Russian.
inline QString Lq(std::string_view shown) {
    for (const char c : shown)
        if (static_cast<unsigned char>(c) >= 0x80) return Qs(Localise(shown));
    return Qs(shown);
}

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
    // The field holds a name of the user's (a path): never translated.
    void ShowVerbatim() { verbatim_ = true; }

protected:
    // Only selecting and copying belong to the field: the window's commands
    // (Ctrl+Home and the like) keep their keys while it has the focus.
    bool event(QEvent* event) override;

private:
    std::string caption_;
    std::string shown_;  // the field's text as the core gave it
    bool verbatim_ = false;
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
    // A row's line as the core gave it (its shown text is in the window's language).
    std::string SourceText(int row) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // How a row's line reads in the window's language.
    virtual QString Shown(int row, const std::string& text) const;
};

}  // namespace torvo::gui
