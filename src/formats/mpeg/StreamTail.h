// Whether an MPEG stream without a container's lengths ends with a whole
// unit: the packs and packets of a program stream, the frames of elementary
// audio, the fixed-size frames of raw DV. Video elementary streams carry no
// lengths: cut anywhere they are a shorter stream, so they are not judged.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// The last bytes a tail check reads.
inline constexpr uint64_t kStreamTailBytes = 0x10000;

// `tail` holds a program stream's last bytes from file offset `tailStart`:
// from the first pack header in it, packs and packets must follow each other
// to the end (or to an end code). A tail without a pack whose packets chain
// says nothing: ok.
ReadStatus ProgramStreamTailStatus(ByteView tail, uint64_t tailStart);

// The status of the file the reader holds, as the layout the analysis found
// reads it; `video` gives a raw DV file's frame size.
ReadStatus MpegStreamTailStatus(CFileCache& reader, StreamLayout layout, const VideoInfo& video);

}  // namespace torvo
