// Recognising CD images (ISO 9660, cooked or raw sectors) and finding the
// MPEG track of a video CD inside one.
#pragma once

#include <cstdint>

#include "base/FileCache.h"

namespace torvo {

struct CdImageScan {
    CdImageInfo info;
    bool hasVideoTrack = false;  // an MPEG*/AVSEQ* file was found
    uint64_t trackStart = 0;     // file offset of its first pack start (or first byte)
    uint64_t trackLength = 0;    // its recorded size
};

// The sector sizes a CD image may have been written with.
inline constexpr uint32_t kCdSectorSizes[] = {2048, 2056, 2324, 2332, 2336, 2352, 2368, 2448};

// Looks for an ISO 9660 primary volume descriptor in the reader's header
// buffer and validates it against the root directory. The reader must still
// be at logical offset 0 of the physical file.
CdImageScan ScanCdImage(CFileCache& reader);

}  // namespace torvo
