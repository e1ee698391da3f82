// Playback in a child process (torvo-render --play): commands go over its
// standard input, its position and duration come back on a reader thread.
// A crash of the playing plugin ends the child, never the window.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/gstreamer/render/ChildProcess.h"
#include "render/Playback.h"

namespace torvo {

class CChildPlayback : public IPlaybackPlatform {
public:
    explicit CChildPlayback(std::string helper = {});
    // Plays a suggested chain (its build request as the child reads it)
    // instead of letting the machine choose.
    static std::unique_ptr<CChildPlayback> ForChain(std::string chainRequest, std::string helper = {});
    ~CChildPlayback() override;

    bool Open(const std::string& path, uint64_t window, std::string& error) override;
    bool Run() override { return child_.Send("run"); }
    bool Pause() override { return child_.Send("pause"); }
    bool Stop() override { return child_.Send("stop"); }
    int64_t Duration() override { return duration_.load(); }
    int64_t CurrentPosition() override { return position_.load(); }
    bool SetPosition(int64_t position, bool keyFrame) override;
    void SetVolume(int volume) override;
    void Close() override;
    PlaybackFailure Failure() const override;
    std::optional<std::string> UnheardSoundSink() const override { return unheardSink_; }

    // The child reports that it plays (for tests and the monitor's caption).
    bool Playing() const { return playing_.load(); }
    // The child ended (crashed or failed) while playing.
    bool Ended() const { return ended_.load(); }

private:
    void ReadStatus();
    // A crash line, an error line or the child's unexplained end.
    void SetFailure(PlaybackFailure failure);
    // The failure of a child that ended without a word: killed by a signal
    // (a crash its handler missed) or exited.
    PlaybackFailure SilentEnd(const std::string& what);

    std::string helper_;
    std::string chain_;  // empty: the machine's own choice
    CChildProcess child_;
    std::thread reader_;
    std::string pending_;
    std::atomic<int64_t> duration_{0}, position_{0};
    std::atomic<bool> playing_{false}, ended_{false}, stop_{false};
    mutable std::mutex failureMutex_;
    PlaybackFailure failure_;
    std::optional<std::string> unheardSink_;  // set once, before the reader starts
};

}  // namespace torvo
