// Pictures a file carries beside its streams (an MP3's ID3v2 APIC frame, a
// FLAC PICTURE block, MP4 'covr', Matroska attachments): what the picture's
// own header says of its format and size.
#pragma once

#include <vector>

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

// The picture whose first bytes are `bytes` (PNG, JPEG, GIF or BMP): its
// codec id as media tools name it and its size from its own header. False
// when the bytes begin no picture of these kinds; a header cut short keeps
// the codec and leaves the size 0.
bool ReadPictureHeader(ByteView bytes, AttachedPicture& out);

// Adds the picture to the container's list (at most kMaxAttachedPictures);
// a picture of a kind not read is listed with its codec and size unknown.
void AddAttachedPicture(ByteView bytes, std::vector<AttachedPicture>& pictures);

}  // namespace torvo
