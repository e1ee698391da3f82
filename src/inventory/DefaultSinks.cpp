#include "inventory/DefaultSinks.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>
#include <string_view>

#include "base/Guid.h"

namespace torvo {
namespace {

// In order of preference: hardware scaling first, then plain X drawing, then GL.
constexpr std::array<std::string_view, 3> kX11Sinks{"xvimagesink", "ximagesink", "glimagesink"};
constexpr std::array<std::string_view, 2> kWaylandSinks{"waylandsink", "glimagesink"};
// The sound sinks that stand in when neither the sound server's nor the sound card's is there.
constexpr std::array<std::string_view, 5> kOtherSoundSinks{"pipewiresink", "jackaudiosink", "osssink", "oss4sink",
                                                            "openalsink"};

bool Installed(const std::vector<std::string>& installed, std::string_view name) {
    return std::find(installed.begin(), installed.end(), name) != installed.end();
}

std::string EnvOr(const char* variable, const std::string& fallback) {
    const char* v = std::getenv(variable);
    return v && *v ? std::string(v) : fallback;
}

}  // namespace

DefaultSinkChoice ChooseDefaultSinks(ISinkPlatform& platform, const std::vector<std::string>& installed) {
    DefaultSinkChoice choice;
    std::span<const std::string_view> order;
    switch (platform.AnsweringDisplayServer()) {
        case DisplayServer::kX11: order = kX11Sinks; break;
        case DisplayServer::kWayland: order = kWaylandSinks; break;
        case DisplayServer::kNone: break;
    }
    for (std::string_view name : order) {
        if (!Installed(installed, name) || !platform.SinkOpens(std::string(name))) continue;
        (choice.video.empty() ? choice.video : choice.plainVideo) = std::string(name);
        if (!choice.plainVideo.empty()) break;
    }
    // Nothing draws here (no display server, or none of its sinks opens): an
    // installed picture sink still stands for the plain video renderer, so
    // that whether a decoder is installed does not hang on the display.
    if (choice.video.empty() && choice.plainVideo.empty()) {
        for (std::string_view name : {"xvimagesink", "ximagesink", "glimagesink", "waylandsink"}) {
            if (Installed(installed, name)) {
                choice.plainVideo = std::string(name);
                break;
            }
        }
    }
    // A sound server that answers gets the sound; else the sound card directly.
    if (Installed(installed, "pulsesink") && platform.SinkOpens("pulsesink")) {
        choice.audio = "pulsesink";
        choice.audioOpens = true;
    } else if (Installed(installed, "alsasink")) {
        choice.audio = "alsasink";
        choice.audioOpens = platform.SinkOpens("alsasink");
    } else {
        // Neither: another sound sink that opens, else any installed one
        // stands for the sound renderer, as a picture sink does for video.
        for (std::string_view name : kOtherSoundSinks)
            if (Installed(installed, name) && platform.SinkOpens(std::string(name))) {
                choice.audio = std::string(name);
                choice.audioOpens = true;
                return choice;
            }
        if (Installed(installed, "pulsesink")) choice.audio = "pulsesink";
        for (std::string_view name : kOtherSoundSinks)
            if (choice.audio.empty() && Installed(installed, name)) choice.audio = std::string(name);
    }
    return choice;
}

std::string RendererClsidText(const DefaultSinkChoice& choice, const std::string& factory, std::string own) {
    if (factory.empty()) return own;
    if (factory == choice.video) return GuidString(guids::kClsidVideoRendererDefault);
    if (factory == choice.plainVideo) return GuidString(guids::kClsidVideoRenderer);
    if (factory == choice.audio) return GuidString(guids::kClsidDSoundRender);
    return own;
}

std::string PlayVideoSink(const DefaultSinkChoice& choice) { return EnvOr("TORVO_PLAY_VIDEO_SINK", choice.video); }
std::string PlayAudioSink(const DefaultSinkChoice& choice) { return EnvOr("TORVO_PLAY_AUDIO_SINK", choice.audio); }

}  // namespace torvo
