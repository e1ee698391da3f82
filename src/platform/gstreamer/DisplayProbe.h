// Whether a display server answers, asked without any GStreamer or X library:
// a connection to the server's socket is attempted and closed at once.
#pragma once

#include <string>

#include "inventory/DefaultSinks.h"

namespace torvo {

// $DISPLAY (":1", "unix:1", "host:10.0") reached: X11; else $WAYLAND_DISPLAY
// in $XDG_RUNTIME_DIR reached: Wayland; else none.
DisplayServer ProbeDisplayServer();

// What the sinks that work depend on, for the inventory cache's key: the
// answering server, the display names and the sockets' identities (a
// restarted server is a new socket), the sound server's socket.
std::string DisplayStamp();

}  // namespace torvo
