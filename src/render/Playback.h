// CRender: the playback of a rendered or built graph in the test monitor,
// with the play states, the position slider's 0..1024 scale and the volume
// slider's mapping onto hundredths of a decibel. The platform plays the file
// (the GStreamer one in a child process drawing into the monitor's window).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "render/PlaybackFailure.h"

namespace torvo {

class IPlaybackPlatform {
public:
    virtual ~IPlaybackPlatform() = default;
    // Builds the graph for the file, drawing into the native window (0: no
    // picture wanted), and brings it to paused; false with a reason.
    virtual bool Open(const std::string& path, uint64_t window, std::string& error) = 0;
    virtual bool Run() = 0;
    virtual bool Pause() = 0;
    virtual bool Stop() = 0;
    // In 100 ns units; 0 when unknown.
    virtual int64_t Duration() = 0;
    virtual int64_t CurrentPosition() = 0;
    virtual bool SetPosition(int64_t position, bool keyFrame) = 0;
    // Hundredths of a decibel, 0 full volume, -10000 silence.
    virtual void SetVolume(int volume) = 0;
    // Ends the playback (nothing is drawn into the window afterwards).
    virtual void Close() = 0;
    // Why Open failed, or why the playback ended by itself (kNone: it did not).
    virtual PlaybackFailure Failure() const { return {}; }
    // The file has sound but no output took it (the sink named, "" when the
    // machine has none): the picture plays, the sound is not heard.
    virtual std::optional<std::string> UnheardSoundSink() const { return std::nullopt; }
};

enum PlayState : int { kPlayStopped = 0, kPlayPaused = 1, kPlayRunning = 2 };

class CRender {
public:
    CRender(std::unique_ptr<IPlaybackPlatform> platform, std::string caption);
    ~CRender();
    CRender(const CRender&) = delete;
    CRender& operator=(const CRender&) = delete;

    // Opens and runs the file; window 0 plays without a picture.
    bool Play(const std::string& path, uint64_t window, std::string& error);
    void PlayCommand();
    void PauseCommand();
    void StopCommand();
    // 0..1024 of the duration; 0 while the duration is unknown.
    int Position();
    // Seeks to p/1024 of the duration, to a key frame.
    void Seek(int p);
    // The volume slider's position (0..10000).
    void SetVolume(int slider);
    void Teardown();

    int State() const { return state_; }
    // Why the playback failed to start or ended by itself.
    PlaybackFailure Failure() const { return platform_ ? platform_->Failure() : PlaybackFailure{}; }
    std::optional<std::string> UnheardSoundSink() const {
        return platform_ ? platform_->UnheardSoundSink() : std::nullopt;
    }
    int64_t Duration() const { return duration_; }
    const std::string& Caption() const { return caption_; }

    // The slider's 0..10000 as the volume scale v (0..10000).
    static int VolumeScale(int slider);

private:
    std::unique_ptr<IPlaybackPlatform> platform_;
    std::string caption_;
    int64_t duration_ = 0;
    int state_ = kPlayStopped;
    bool open_ = false;
};

}  // namespace torvo
