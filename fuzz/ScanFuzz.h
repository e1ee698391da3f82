// The full scan's scanners over arbitrary bytes, in one piece and in small
// overlapping buffers like the scan's read loop hands them out, in both
// picture recorder modes (MPEG-1/2 and MPEG-4), followed by the GOP pattern,
// the order mapping and the VGS drawing of what was recorded. One function
// per scanner: the split fuzz targets run one each, the combined entry point
// of the scan robustness tests runs them all.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/mpeg/SystemScanner.h"
#include "formats/riff/AviChunkScanner.h"
#include "formats/vgs/FrameLayout.h"

namespace torvo::fuzz {

inline void FeedInPieces(CFrameScanner& scanner, const uint8_t* data, size_t size, size_t chunk, size_t overlap) {
    std::vector<uint8_t> buffer(overlap + chunk, 0xFF);
    for (uint64_t offset = 0; offset <= size + chunk; offset += chunk) {
        std::copy(buffer.end() - static_cast<std::ptrdiff_t>(overlap), buffer.end(), buffer.begin());
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(overlap), buffer.end(), 0xFF);
        if (offset < size)
            std::copy(data + offset, data + std::min<uint64_t>(size, offset + chunk),
                      buffer.begin() + static_cast<std::ptrdiff_t>(overlap));
        const bool ended = offset == 0 ? scanner.Scan(ByteView(buffer.data() + overlap, chunk), 0, size)
                                       : scanner.Scan(ByteView(buffer.data(), buffer.size()), offset - overlap, size);
        if (ended) return;
    }
}

// The drawing is the window's usual width (24 cells, so grouped bands hold
// GOPs of up to 24) but two bands instead of four: enough for the cells'
// neighbours across a band end, while the pixels (each one checked by the
// sanitizers) stay few; four bands were half of a scan target's time.
inline void DrawRecorded(const CPictureRecorder& r) {
    const GopPattern g = AnalyseGopPattern(r.Frames(), r.PictureCount(), r.GopHeaderSeen());
    CFrameLayout layout(r.Frames(), std::min<size_t>(r.PictureCount(), 2000), g.gopLength, 25.0, true);
    layout.SetOptions({true, false, true, true, true});
    layout.Resize(242, 2 + 2 * CFrameLayout::kBandHeight);
    layout.Draw(0);
    layout.SetOptions({false, true, true, true, true});
    layout.Draw(1);
    (void)layout.StatusText(0);
    (void)layout.HoverText(0);
}

// Runs feed(recorder) in both recorder modes, then draws what was recorded.
template <typename Feed>
void InBothModes(Feed feed) {
    for (const bool mpeg4 : {false, true}) {
        CPictureRecorder recorder;
        recorder.Configure(mpeg4 ? CPictureRecorder::Mode::kMpeg4 : CPictureRecorder::Mode::kMpeg12, mpeg4 ? 5 : 0,
                           !mpeg4);
        feed(recorder);
        recorder.Flush();
        DrawRecorded(recorder);
    }
}

// The pieces and overlaps are far smaller than the scan's own, so that items
// cross the edges often and items longer than the overlap (a PES packet, an
// AVI chunk) take the scanners' catching-up paths; it also keeps each input
// cheap to run.
inline void RunSystemScan(const uint8_t* data, size_t size) {
    InBothModes([&](CPictureRecorder& recorder) {
        {
            CSystemStreamScanner system(recorder);
            system.Scan(ByteView(data, size), 0, size);
        }
        CSystemStreamScanner system(recorder);
        FeedInPieces(system, data, size, 2048, 8192 + 64);
    });
}

inline void RunElementaryScan(const uint8_t* data, size_t size) {
    InBothModes([&](CPictureRecorder& recorder) {
        CElementaryScanner elementary(recorder);
        FeedInPieces(elementary, data, size, 777, 300);
    });
}

inline void RunAviScan(const uint8_t* data, size_t size) {
    InBothModes([&](CPictureRecorder& recorder) {
        CAviChunkScanner avi(recorder, true);
        FeedInPieces(avi, data, size, 4096, 8192 + 64);
    });
}

}  // namespace torvo::fuzz
