// The test monitor: takes the place of the container notes while a render
// test plays. The child process draws the picture into the video area's
// native window; the buttons and sliders drive CRender.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "render/Playback.h"

class QLabel;
class QPushButton;
class QSlider;

namespace torvo::gui {

class CTestMonitor : public QWidget {
    Q_OBJECT
public:
    explicit CTestMonitor(QWidget* parent = nullptr);
    ~CTestMonitor() override;

    // Plays with the render; the picture when withVideo, fitted to the
    // display aspect (0: the area's own). False with the reason.
    bool Start(std::unique_ptr<CRender> render, const std::string& path, bool withVideo, double displayAspect,
               std::string& error);
    // Stops and destroys the playback.
    void Stop();
    // The window's 50 ms tick: the position slider, the volume, the fitting.
    void Tick();
    bool Active() const { return render_ != nullptr; }
    // Why the last Start failed.
    const PlaybackFailure& LastFailure() const { return lastFailure_; }
    // Once, when the playback ended by itself: why; the playback is stopped.
    PlaybackFailure TakeEndedFailure();
    CRender* Render() { return render_.get(); }

signals:
    // The close button: the container notes come back.
    void closed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitVideo();

    std::unique_ptr<CRender> render_;
    PlaybackFailure lastFailure_;
    QWidget* area_ = nullptr;
    QWidget* video_ = nullptr;
    QPushButton *play_ = nullptr, *stop_ = nullptr, *pause_ = nullptr, *close_ = nullptr;
    QSlider *volume_ = nullptr, *seek_ = nullptr;
    QLabel* caption_ = nullptr;
    double aspect_ = 0;
    bool fitPending_ = false;
    bool withVideo_ = false;
    int sentVolume_ = -1;
};

}  // namespace torvo::gui
