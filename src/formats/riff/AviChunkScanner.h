// The full scan's AVI scanner: it finds the RIFF header and the 'movi'
// list, then walks the list's chunks over the whole file, counting video and
// audio bytes and handing video chunks to the picture recorder when the
// video is MPEG.
#pragma once

#include "formats/mpeg/FrameScanner.h"

namespace torvo {

class CAviChunkScanner : public CFrameScanner {
public:
    // recordPictures: the video of stream 0 is MPEG (its chunks go to the recorder).
    CAviChunkScanner(CPictureRecorder& recorder, bool recordPictures)
        : CFrameScanner(recorder), recordPictures_(recordPictures) {}
    bool Scan(ByteView buffer, uint64_t start, uint64_t dataEnd) override;

    // The largest chunk handed to the recorder; larger ones are only counted.
    static constexpr uint32_t kLargestRecordedChunk = 0x2FFFB;

    bool MoviFound() const { return phase_ == Phase::kMovi || moviEnd_ != 0; }

private:
    enum class Phase { kRiff, kTopLevel, kMovi, kResync, kEnd };
    enum class Step { kNext, kWait, kEnd };
    Step Riff(ByteView view, uint64_t start, uint64_t& p);
    Step TopLevel(ByteView view, uint64_t start, uint64_t& p);
    Step Chunk(ByteView view, uint64_t start, uint64_t& p, bool moreData);
    Step Resync(ByteView view, uint64_t& p, bool moreData);

    bool recordPictures_;
    Phase phase_ = Phase::kRiff;
    uint64_t riffEnd_ = 0, moviEnd_ = 0;
};

}  // namespace torvo
