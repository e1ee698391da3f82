#include "render/Playback.h"

#include <algorithm>

namespace torvo {

CRender::CRender(std::unique_ptr<IPlaybackPlatform> platform, std::string caption)
    : platform_(std::move(platform)), caption_(std::move(caption)) {}

CRender::~CRender() { Teardown(); }

bool CRender::Play(const std::string& path, uint64_t window, std::string& error) {
    if (!platform_) return false;
    if (!open_) {
        if (!platform_->Open(path, window, error)) return false;
        open_ = true;
    }
    duration_ = std::max<int64_t>(platform_->Duration(), 0);
    if (platform_->Run()) state_ = kPlayRunning;
    return true;
}

void CRender::PlayCommand() {
    if (open_ && platform_->Run()) state_ = kPlayRunning;
}

void CRender::PauseCommand() {
    if (!open_) return;
    if (state_ == kPlayRunning) {
        if (platform_->Pause()) state_ = kPlayPaused;
    } else if (platform_->Run()) {
        state_ = kPlayRunning;
    }
}

void CRender::StopCommand() {
    if (!open_) return;
    platform_->Stop();
    if (state_ == kPlayPaused || state_ == kPlayRunning) {
        platform_->Stop();
        state_ = kPlayStopped;
        platform_->SetPosition(0, false);
        platform_->Pause();  // the first picture stays shown
    }
}

int CRender::Position() {
    if (!open_) return 0;
    if (duration_ <= 0) duration_ = std::max<int64_t>(platform_->Duration(), 0);
    if (duration_ <= 0) return 0;
    const int64_t current = std::clamp<int64_t>(platform_->CurrentPosition(), 0, duration_);
    return int(current * 1024 / duration_);
}

void CRender::Seek(int p) {
    if (!open_ || duration_ <= 0) return;
    platform_->SetPosition(int64_t(std::clamp(p, 0, 1024)) * duration_ / 1024, true);
}

int CRender::VolumeScale(int a) {
    a = std::clamp(a, 0, 10000);
    if (a < 2500) return 2 * a;
    if (a < 5000) return a + 2500;
    if (a < 7500) return 7500 + (a - 5000) * 1500 / 2500;
    return 9000 + (a - 7500) * 1000 / 2500;
}

void CRender::SetVolume(int slider) {
    if (open_) platform_->SetVolume(VolumeScale(slider) - 10000);
}

void CRender::Teardown() {
    state_ = kPlayStopped;
    if (open_ && platform_) {
        platform_->Stop();
        platform_->Close();
    }
    open_ = false;
}

}  // namespace torvo
