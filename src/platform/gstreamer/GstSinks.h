// The default-sink choice on this machine, from GStreamer's registry: which
// sinks are installed and which of them open (reach their server).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "inventory/DefaultSinks.h"

namespace torvo {

// Asks the display server and opens sinks (gst_init done by the caller).
class CGstSinkProbe : public ISinkPlatform {
public:
    DisplayServer AnsweringDisplayServer() override;
    bool SinkOpens(const std::string& factory) override;

private:
    std::map<std::string, bool> opens_;
};

// The audio and video sink factories of the registry.
std::vector<std::string> InstalledSinkFactories();

// The choice for this process's display and sound server.
DefaultSinkChoice GstDefaultSinks();

}  // namespace torvo
