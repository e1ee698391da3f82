// The program's looks that the settings choose: the logo beside the file
// panel, turning while the program works unless the user wants it still, and
// the panels' shaded backgrounds unless plain ones are asked for.
#pragma once

#include <QWidget>
#include <functional>

class QTimer;

namespace torvo::gui {

class CLogo : public QWidget {
public:
    // busy: whether the program is working now (polled while shown);
    // still: never turns.
    CLogo(bool still, std::function<bool()> busy, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {40, 40}; }
    // The turn in degrees (0 while still or idle).
    int Angle() const { return angle_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Step();

    std::function<bool()> busy_;
    QTimer* timer_ = nullptr;
    int angle_ = 0;
};

// Shades the window's panels (group boxes) from light to a little darker,
// or leaves them plain when monochrome.
void ApplyPanelBackgrounds(QWidget* window, bool monochrome);

}  // namespace torvo::gui
