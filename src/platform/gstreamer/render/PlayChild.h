// The playback mode of torvo-render: plays a file with playbin, drawing into
// the native window it is given, obeying command lines on standard input and
// reporting position and duration on standard output.
#pragma once

#include <cstdint>

namespace torvo::render_child {

// Commands, one a line: run, pause, stop, seek POSITION KEYFRAME(0|1),
// volume HUNDREDTHS_DB, quit. Positions are in 100 ns units.
int PlayFile(const char* path, uint64_t window);

}  // namespace torvo::render_child
