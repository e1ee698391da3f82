#include "platform/gstreamer/render/ChildPlayback.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

#include <nlohmann/json.hpp>

#include "base/Text.h"
#include "platform/gstreamer/render/ChildRenderPlatform.h"
#include "base/Translate.h"

namespace torvo {
namespace {

enum LineResult { kLine, kQuiet, kGone };

// The next complete line of the child's output, reading at most until the deadline.
LineResult NextLine(int fd, std::string& pending, std::string& line, int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const size_t end = pending.find('\n'); end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return kLine;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return kQuiet;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return kGone;
        pending.append(buffer, size_t(n));
    }
}

}  // namespace

CChildPlayback::CChildPlayback(std::string helper) : helper_(helper.empty() ? RenderHelperPath() : std::move(helper)) {}

CChildPlayback::~CChildPlayback() { Close(); }

std::unique_ptr<CChildPlayback> CChildPlayback::ForChain(std::string chainRequest, std::string helper) {
    auto playback = std::make_unique<CChildPlayback>(std::move(helper));
    playback->chain_ = std::move(chainRequest);
    return playback;
}

namespace {

// What the child's error or crash line says; kNone for any other line.
PlaybackFailure FailureOfLine(const nlohmann::json& j) {
    PlaybackFailure failure;
    if (j.contains("crash") && j["crash"].is_object()) {
        failure.kind = PlaybackFailure::Kind::kCrashed;
        failure.culpritPath = j["crash"].value("module", "");
        failure.signal = j["crash"].value("signal", 0);
    } else if (j.contains("error")) {
        failure.kind = PlaybackFailure::Kind::kFailed;
        failure.message = j["error"].is_object() ? j["error"].value("message", "") : "";
    }
    return failure;
}

}  // namespace

void CChildPlayback::SetFailure(PlaybackFailure failure) {
    std::lock_guard<std::mutex> lock(failureMutex_);
    failure_ = std::move(failure);
}

PlaybackFailure CChildPlayback::Failure() const {
    std::lock_guard<std::mutex> lock(failureMutex_);
    return failure_;
}

PlaybackFailure CChildPlayback::SilentEnd(const std::string& what) {
    PlaybackFailure failure;
    failure.kind = PlaybackFailure::Kind::kFailed;
    failure.message = what;
    return failure;
}

bool CChildPlayback::Open(const std::string& path, uint64_t window, std::string& error) {
    Close();
    ended_ = false;
    unheardSink_.reset();
    SetFailure({});
    std::vector<std::string> args{"--play", path};
    if (!chain_.empty()) args = {"--play-chain", chain_};
    if (window) args.insert(args.end(), {"--window", Format("%llu", static_cast<unsigned long long>(window))});
    if (helper_.empty() || !child_.Start(helper_, args, true, error)) {
        error = helper_.empty() ? N_("Программа torvo-render не установлена.") : N_("Не удалось запустить torvo-render: ") + error;
        SetFailure(SilentEnd(error));
        return false;
    }
    std::string line;
    LineResult r = kQuiet;
    PlaybackFailure failure;
    while ((r = NextLine(child_.Output(), pending_, line, 20000)) == kLine) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object()) continue;
        if (j.contains("ready")) {
            duration_ = j["ready"].value("duration", int64_t(0));
            if (const auto silent = j["ready"].find("silent"); silent != j["ready"].end() && silent->is_object())
                unheardSink_ = silent->value("sink", "");
            reader_ = std::thread([this] { ReadStatus(); });
            return true;
        }
        failure = FailureOfLine(j);
        if (failure.kind != PlaybackFailure::Kind::kNone) break;
    }
    if (r == kQuiet) child_.Kill();
    const bool exitedNormally = child_.Wait();
    if (failure.kind == PlaybackFailure::Kind::kNone) {
        if (r == kQuiet) {
            failure = SilentEnd(N_("Проигрыватель не ответил за 20 секунд и был остановлен."));
        } else if (!exitedNormally) {
            // It ended without a word: a crash its handler did not catch.
            failure.kind = PlaybackFailure::Kind::kCrashed;
        } else {
            failure = SilentEnd(N_("Проигрыватель завершился, не начав воспроизведение."));
        }
    }
    error = failure.kind == PlaybackFailure::Kind::kCrashed ? N_("Проигрыватель рухнул.") : failure.message;
    SetFailure(std::move(failure));
    return false;
}

void CChildPlayback::ReadStatus() {
    std::string line;
    PlaybackFailure failure;
    bool gone = false;
    for (;;) {
        if (stop_) break;
        const LineResult r = NextLine(child_.Output(), pending_, line, 100);
        if (r == kQuiet) continue;
        if (r == kGone) {
            gone = true;
            break;
        }
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object()) continue;
        if (j.contains("status")) {
            const nlohmann::json& s = j["status"];
            position_ = s.value("position", int64_t(0));
            if (const int64_t d = s.value("duration", int64_t(0)); d > 0) duration_ = d;
            playing_ = s.value("playing", false);
        } else if (failure = FailureOfLine(j); failure.kind != PlaybackFailure::Kind::kNone) {
            break;
        }
    }
    // The child went away while nobody asked it to: it crashed unseen.
    if (gone && !stop_ && failure.kind == PlaybackFailure::Kind::kNone) failure.kind = PlaybackFailure::Kind::kCrashed;
    if (failure.kind != PlaybackFailure::Kind::kNone) SetFailure(std::move(failure));
    playing_ = false;
    ended_ = true;
}

bool CChildPlayback::SetPosition(int64_t position, bool keyFrame) {
    return child_.Send(Format("seek %lld %d", static_cast<long long>(position), keyFrame ? 1 : 0));
}

void CChildPlayback::SetVolume(int volume) { child_.Send(Format("volume %d", volume)); }

void CChildPlayback::Close() {
    // Told first, so that the reader does not take the asked-for end for a crash.
    stop_ = true;
    child_.Send("quit");
    if (reader_.joinable()) reader_.join();
    stop_ = false;
    child_.Finish(2000);
    pending_.clear();
    playing_ = false;
}

}  // namespace torvo
