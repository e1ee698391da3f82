// The render list with clickable chain lines: a line made of elements (the
// header, inventory entries, media types, the renderer) keeps each element's
// horizontal extent in the list's font, so that the element under the mouse
// shows its detail text and carries the context menu of the chains.
#pragma once

#include <QAction>
#include <functional>
#include <string>

#include "GuiWidgets.h"
#include "render/ChainLine.h"

namespace torvo::gui {

// The context menu's commands on an element.
enum class ChainCommand { kDetails, kPropertyPage, kRenderThis, kPlayThis, kResetAll };

class CChainListView : public CNotesView {
    Q_OBJECT
public:
    explicit CChainListView(QWidget* parent = nullptr);

    // The chain line shown in a row (null for a plain row); the text is the
    // row's, so that a stale answer is never used for another line.
    using LineOf = std::function<const ChainLine*(int row, const std::string& text)>;
    void SetLineSource(LineOf source) { lineOf_ = std::move(source); }
    // Whether a command is available for the element (null: a plain row).
    using Enabled = std::function<bool(ChainCommand, const ChainElement*)>;
    void SetCommandState(Enabled enabled) { enabled_ = std::move(enabled); }

    // The element at a point of the viewport, null when none.
    const ChainElement* ElementAt(const QPoint& point) const;
    // The element last clicked (its detail text is shown as the status tip).
    const ChainElement* Selected() const { return selected_.text.empty() ? nullptr : &selected_; }
    // The context menu for a point (exposed for tests); the caller owns it.
    QMenu* MenuFor(const QPoint& point);

signals:
    void chainCommand(torvo::gui::ChainCommand command, const torvo::ChainElement& element);

protected:
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A chain line reads as its elements, each in the window's language.
    QString Shown(int row, const std::string& text) const override;

private:
    LineOf lineOf_;
    Enabled enabled_;
    ChainElement selected_;
};

}  // namespace torvo::gui
