#include "TestMonitor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "GuiWidgets.h"

namespace torvo::gui {
namespace {

QSlider* Slider(int maximum, const char* name, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(name);
    slider->setRange(0, maximum);
    return slider;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

CTestMonitor::CTestMonitor(QWidget* parent) : QWidget(parent) {
    setObjectName("testMonitor");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    caption_ = new QLabel(this);
    caption_->setObjectName("monitorCaption");
    layout->addWidget(caption_);
    area_ = new QWidget(this);
    area_->setObjectName("monitorArea");
    area_->setMinimumSize(160, 90);
    area_->setAutoFillBackground(true);
    QPalette black = area_->palette();
    black.setColor(QPalette::Window, Qt::black);
    area_->setPalette(black);
    layout->addWidget(area_, 1);
    // The child draws into this widget's own native window.
    video_ = new QWidget(area_);
    video_->setObjectName("monitorVideo");
    video_->setAttribute(Qt::WA_NativeWindow);
    video_->setAttribute(Qt::WA_DontCreateNativeAncestors);
    video_->hide();

    auto* controls = new QHBoxLayout;
    play_ = Button(Tq("Воспр."), "monitorPlay", this);
    stop_ = Button(Tq("Стоп"), "monitorStop", this);
    pause_ = Button(Tq("Пауза <--> Воспр."), "monitorPause", this);
    close_ = Button(Tq("Закрыть"), "monitorClose", this);
    controls->addWidget(play_);
    controls->addWidget(stop_);
    controls->addWidget(pause_);
    controls->addStretch(1);
    controls->addWidget(close_);
    layout->addLayout(controls);
    auto* sliders = new QHBoxLayout;
    sliders->addWidget(new QLabel(Tq("Громкость"), this));
    volume_ = Slider(10000, "monitorVolume", this);
    sliders->addWidget(volume_, 1);
    sliders->addWidget(new QLabel(Tq("Поиск"), this));
    seek_ = Slider(1024, "monitorSeek", this);
    sliders->addWidget(seek_, 2);
    layout->addLayout(sliders);

    connect(play_, &QPushButton::clicked, this, [this] {
        if (render_) render_->PlayCommand();
    });
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (render_) render_->StopCommand();
    });
    connect(pause_, &QPushButton::clicked, this, [this] {
        if (render_) render_->PauseCommand();
    });
    connect(seek_, &QSlider::sliderReleased, this, [this] {
        if (render_) render_->Seek(seek_->value());
    });
    connect(close_, &QPushButton::clicked, this, [this] {
        Stop();
        emit closed();
    });
}

CTestMonitor::~CTestMonitor() { Stop(); }

bool CTestMonitor::Start(std::unique_ptr<CRender> render, const std::string& path, bool withVideo,
                         double displayAspect, std::string& error) {
    Stop();
    withVideo_ = withVideo;
    aspect_ = displayAspect;
    caption_->setText(Lq(render->Caption()));
    uint64_t window = 0;
    if (withVideo) {
        video_->setGeometry(area_->rect().adjusted(3, 3, -3, -3));
        video_->show();
        window = uint64_t(video_->winId());
    } else {
        video_->hide();
    }
    if (!render->Play(path, window, error)) {
        lastFailure_ = render->Failure();
        if (lastFailure_.kind == PlaybackFailure::Kind::kNone) {
            lastFailure_.kind = PlaybackFailure::Kind::kFailed;
            lastFailure_.message = error;
        }
        video_->hide();
        return false;
    }
    lastFailure_ = {};
    render_ = std::move(render);
    volume_->setValue(5000);
    sentVolume_ = -1;
    seek_->setValue(0);
    seek_->setEnabled(render_->Duration() > 0);
    fitPending_ = withVideo;
    return true;
}

PlaybackFailure CTestMonitor::TakeEndedFailure() {
    if (!render_) return {};
    PlaybackFailure failure = render_->Failure();
    if (failure.kind != PlaybackFailure::Kind::kNone) Stop();
    return failure;
}

void CTestMonitor::Stop() {
    if (render_) render_->Teardown();
    render_.reset();
    if (video_) video_->hide();
}

void CTestMonitor::FitVideo() {
    if (!withVideo_) return;
    const QRect inner = area_->rect().adjusted(3, 3, -3, -3);
    QRect fitted = inner;
    if (aspect_ > 0 && inner.height() > 0) {
        const double areaAspect = double(inner.width()) / inner.height();
        if (areaAspect > aspect_) fitted.setWidth(int(inner.height() * aspect_));
        else fitted.setHeight(int(inner.width() / aspect_));
        fitted.moveCenter(inner.center());
    }
    video_->setGeometry(fitted);
}

void CTestMonitor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitPending_ = render_ != nullptr;
}

void CTestMonitor::Tick() {
    if (!render_) return;
    if (fitPending_) {
        FitVideo();
        fitPending_ = false;
    }
    if (!seek_->isSliderDown()) seek_->setValue(render_->Position());
    seek_->setEnabled(render_->Duration() > 0);
    if (volume_->value() != sentVolume_) {
        sentVolume_ = volume_->value();
        render_->SetVolume(sentVolume_);
    }
}

}  // namespace torvo::gui
