// The playback mode of torvo-render: plays a file with playbin, drawing into
// the native window it is given, obeying command lines on standard input and
// reporting position and duration on standard output.
#pragma once

#include <gst/gst.h>

#include <cstdint>

namespace torvo::render_child {

// Commands, one a line: run, pause, stop, seek POSITION KEYFRAME(0|1),
// volume HUNDREDTHS_DB, quit. Positions are in 100 ns units.
int PlayFile(const char* path, uint64_t window);
// Plays a suggested chain (the JSON of its build request), built element by
// element; the same commands.
int PlayChain(const char* requestText, uint64_t window);

// The video sinks of the pipeline draw into the native window.
void SetOverlayWindow(GstElement* pipeline, uint64_t window);

}  // namespace torvo::render_child
