// The full scan's MPEG scanners: the system stream scanner walks packs and
// PES packets by their length fields and hands every video payload (stream
// E0) and every pack header to the picture recorder; the elementary scanner
// hands the whole file to it as stream E0.
#pragma once

#include "formats/mpeg/FrameScanner.h"

namespace torvo {

class CSystemStreamScanner : public CFrameScanner {
public:
    using CFrameScanner::CFrameScanner;
    bool Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) override;

private:
    enum class Step { kNext, kWait, kResync };
    Step Item(ByteView view, uint64_t& p, bool moreData);
    bool searching_ = true;
};

class CElementaryScanner : public CFrameScanner {
public:
    using CFrameScanner::CFrameScanner;
    bool Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) override;
};

}  // namespace torvo
