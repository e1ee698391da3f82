// What the full scan's read loop hands its buffers to: a scanner for one
// kind of file (MPEG system stream, MPEG video elementary stream, AVI) that
// walks the file's bytes in order and feeds the picture recorder.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/ByteView.h"
#include "formats/mpeg/PictureRecorder.h"

namespace torvo {

// Byte totals of the whole file.
struct ScanTotals {
    uint64_t videoBytes = 0;
    uint64_t audioBytes = 0;
    uint64_t videoChunks = 0;    // AVI: video chunks, dropped ones included
    uint64_t droppedFrames = 0;  // AVI: video chunks of length 0
    uint64_t largestChunk = 0;   // AVI: the largest video chunk
};

class CFrameScanner {
public:
    explicit CFrameScanner(CPictureRecorder& recorder) : recorder_(recorder) {}
    virtual ~CFrameScanner() = default;

    // One buffer of the file: the bytes at file offsets [start, start +
    // size). Consecutive buffers overlap; the scanner resumes where it
    // stopped, so an item that ran past the end of one buffer is read whole
    // from the next. Bytes at or beyond dataEnd (the file size) are padding.
    // Returns true once the scanner has reached the end of what it scans.
    virtual bool Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) = 0;

    const ScanTotals& Totals() const { return totals_; }

protected:
    // The buffer cut at the end of the data.
    static ByteView DataPart(ByteView buffer, uint64_t start, uint64_t dataEnd) {
        return dataEnd <= start ? ByteView() : buffer.Sub(0, std::min<uint64_t>(buffer.size(), dataEnd - start));
    }

    CPictureRecorder& recorder_;
    ScanTotals totals_;
    uint64_t next_ = 0;  // file offset where scanning goes on
};

}  // namespace torvo
