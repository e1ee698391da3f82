// The chain modes of torvo-render: a suggested chain built element by
// element (one per node, linked as the demuxer's pads appear) and taken to
// PAUSED, to report how far it got or to be played.
#pragma once

#include <gst/gst.h>

#include <cstdint>

#include "render/ChainBuild.h"

namespace torvo::render_child {

struct BuiltChain {
    GstElement* pipeline = nullptr;  // owned by the caller (null when nothing was made)
    GstElement* volume = nullptr;    // the volume stage of an audio chain built for playing
    ChainBuildReport report;
};

// Builds the chain; window (non-zero) receives the picture of a video sink.
// forPlaying adds a volume stage before an audio renderer.
BuiltChain BuildChainPipeline(const ChainBuildRequest& request, uint64_t window, bool forPlaying);

// --build REQUEST: writes the report line and returns the exit status.
int BuildAndReport(const char* requestText);

}  // namespace torvo::render_child
