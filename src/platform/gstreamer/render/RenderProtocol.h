// The lines the render child writes to its parent: one JSON object per line,
// keyed by what it carries.
#pragma once

#include <string>

#include "base/Guid.h"

namespace torvo::render_protocol {

inline constexpr const char* kFilter = "filter";  // one element of the graph with its pads
inline constexpr const char* kResult = "result";  // the result code, last
inline constexpr const char* kCrash = "crash";    // written by the fatal-signal handler
inline constexpr int kCrashExitStatus = 70;

// The class identifier of an element: the renderer stand-ins carry the
// renderers' own identifiers, every other element the name-based one of its
// factory, as the inventory registers it.
inline std::string ClassIdText(const std::string& factory, const std::string& role) {
    if (role == "video-renderer") return GuidString(guids::kClsidVideoRendererDefault);
    if (role == "audio-renderer") return GuidString(guids::kClsidDSoundRender);
    return GuidString(NameBasedGuid("torvo:factory:" + factory));
}

}  // namespace torvo::render_protocol
