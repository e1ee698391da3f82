// Which installed sinks stand for the default video and sound renderers: the
// ones that work where the user is. A picture sink is only worth naming when
// it can reach the display server that answers; sinks that take the whole
// screen (DRM/KMS, framebuffer, DirectFB) would fight that server, so they are
// never chosen while one answers.
#pragma once

#include <string>
#include <vector>

namespace torvo {

enum class DisplayServer { kNone, kX11, kWayland };

// What the choice asks of the machine. The inventory platforms implement it:
// the GStreamer one by asking the display and sound servers, the recorded one
// from its fixture.
class ISinkPlatform {
public:
    virtual ~ISinkPlatform() = default;
    // The display server that answers now (X11 first when both do: the
    // desktop program draws through the X11 overlay, XWayland included).
    virtual DisplayServer AnsweringDisplayServer() { return DisplayServer::kNone; }
    // The sink opens here (goes to its ready state: display or sound server reached).
    virtual bool SinkOpens(const std::string& /*factory*/) { return false; }
};

struct DefaultSinkChoice {
    std::string video;       // empty: no picture sink works here
    // The next one that works, for the plain video renderer; when none works,
    // the first installed picture sink (codec statuses need a renderer).
    std::string plainVideo;
    // The sound server's sink when it answers, else the sound card's, else
    // whichever installed sound sink opens, else the first installed one:
    // whether a sound decoder is installed does not hang on a running server.
    std::string audio;  // empty: no sound sink installed
    bool audioOpens = false;  // the chosen sound sink opens here (sound can be heard)
};

// installed: the sink factories the registry holds.
DefaultSinkChoice ChooseDefaultSinks(ISinkPlatform& platform, const std::vector<std::string>& installed);

// The class identifier the renderer pass gives a sink: the default video
// renderer's, the plain video renderer's or the sound renderer's for the
// chosen ones, else its own.
std::string RendererClsidText(const DefaultSinkChoice& choice, const std::string& factory, std::string own);

// The environment stand-ins for tests and for machines without a picture
// (TORVO_PLAY_VIDEO_SINK, TORVO_PLAY_AUDIO_SINK), else the choice.
std::string PlayVideoSink(const DefaultSinkChoice& choice);
std::string PlayAudioSink(const DefaultSinkChoice& choice);

}  // namespace torvo
