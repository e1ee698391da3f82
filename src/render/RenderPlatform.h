// What the platform answers when asked to render a file the way the machine
// itself would play it: the graph it built (its filters with their pins, the
// connection type of each pin and which pin it is connected to), the result
// code, and the module a crash happened in. The GStreamer platform builds the
// graph in a child process; tests feed recorded graphs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inventory/CodecEntry.h"

namespace torvo {

// Result codes of a render, in the form the codec database describes.
namespace render_codes {
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kPartialRender = 0x00040242;    // VFW_S_PARTIAL_RENDER
inline constexpr uint32_t kUnsupportedStream = 0x80040265;  // VFW_E_UNSUPPORTED_STREAM
inline constexpr uint32_t kUnknownFileType = 0x80040240;  // VFW_E_UNKNOWN_FILE_TYPE
inline constexpr uint32_t kInvalidFileFormat = 0x8004022F;  // VFW_E_INVALID_FILE_FORMAT
inline constexpr uint32_t kTimeout = 0x8004022E;          // VFW_E_TIMEOUT
inline constexpr uint32_t kFileNotFound = 0x80070002;     // ERROR_FILE_NOT_FOUND
inline constexpr uint32_t kFail = 0x80004005;             // E_FAIL
}  // namespace render_codes

inline bool Failed(uint32_t code) { return (code & 0x80000000u) != 0; }

struct GraphPin {
    int id = -1;          // unique within the graph
    bool output = false;  // direction
    std::string name;
    bool connected = false;
    MediaTypePair type{};  // the connection's type (null when unconnected)
    std::string caps;      // the negotiated caps' media name ("video/x-raw"), empty when unknown
    int peer = -1;         // id of the connected pin, -1 when none
};

struct GraphFilter {
    std::string name;       // as the graph names it (the element's factory)
    std::string clsidText;  // registry text of its class identifier
    std::string path;       // the file implementing it (empty when none)
    std::string description, version, product;  // what the file says about itself
    std::vector<GraphPin> pins;                 // in the filter's own order
};

struct RenderOutcome {
    enum class Kind { kRendered, kFailed, kCrashed };
    Kind kind = Kind::kFailed;
    uint32_t hresult = render_codes::kFail;
    std::string message;  // the platform's own error text, for diagnostics
    std::vector<GraphFilter> filters;
    std::string culpritPath;  // crashes: the module of the faulting code, when known
    int signal = 0;
};

class IRenderPlatform {
public:
    virtual ~IRenderPlatform() = default;
    // Renders the file and describes the graph; never throws.
    virtual RenderOutcome RenderFile(const std::string& path) = 0;
};

}  // namespace torvo
