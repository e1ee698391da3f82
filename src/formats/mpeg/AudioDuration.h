// The playing time of an elementary audio file (MPEG audio, ADTS AAC, AC-3,
// E-AC-3, DTS): from an MPEG audio file's Xing or VBRI header when it counts
// its frames, else by walking the frames of the bytes read and, when those
// are not the whole file, scaling their time to the file's audio length.
#pragma once

#include <cstdint>

#include "base/ByteView.h"
#include "records/ReadStatus.h"

namespace torvo {

// head: the file's first bytes (tags before the audio already skipped);
// audioBytes: the length of the audio from there on (trailing tags left out).
// Milliseconds; 0 when no run of frames is found.
int64_t ElementaryAudioDurationMs(ByteView head, uint64_t audioBytes);

// The bytes a trailing ID3v1 tag ("TAG", 128 bytes) takes at the end of tail
// (the file's last bytes), else 0.
uint64_t TrailingTagBytes(ByteView tail);

// Whether an elementary audio stream's last frame is whole: `tail` holds its
// last bytes (trailing tags left out) from file offset `tailStart`. The walk
// starts at the first frame that three more follow; a break in it (a tag of
// another kind, say) says nothing: ok.
ReadStatus ElementaryAudioTailStatus(ByteView tail, uint64_t tailStart);

}  // namespace torvo
