// PesTimeSpan: the playing time of an MPEG program or system stream from the
// presentation time stamps of its packets. A variable-rate stream states only
// its largest rate, and a GOP time code is seen only as far as the header
// buffer reaches; the first time stamps near the start of the file and the
// last ones in a bounded read of its tail time every stream of it instead.
#pragma once

#include <array>
#include <cstdint>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {
class StartCodeIndex;
}

namespace torvo {

// The earliest and the latest time stamp of one stream, in 90 kHz ticks.
struct PtsRange {
    int64_t first = -1;
    int64_t last = -1;
    int seen = 0;  // time stamps counted
    // Video: the latest time stamp carried forward over the pictures that
    // are shown after its picture within its GOP (by temporal reference):
    // a packet holding several pictures stamps only the first.
    int64_t end = -1;
    // The payload bytes from the packet of the latest time stamp on: the
    // frames of the stream's last stamped packet.
    uint64_t lastBytes = 0;
    uint32_t frameHeader = 0;  // MPEG audio: a frame header of the stream
    bool Valid() const { return first >= 0 && last >= 0; }
};

// The ranges of the packets of one stretch of a stream, by the slot index
// of the program-stream analysis (video stream E0 apart).
struct PesTimeStamps {
    PtsRange video;
    std::array<PtsRange, kMaxStreams> streams{};
};

// The presentation time stamp of the PES packet whose start code is at 0 of
// `packet` (MPEG-1 or MPEG-2 header), -1 when it carries none.
int64_t ReadPesPts(ByteView packet);

// Walks the packs and packets of `data` and collects the time stamps of the
// first `limit` packets with one of each stream (all of them for 0). A
// positive `ticksPerFrame` (the video's frame period in 90 kHz ticks)
// carries the video's time stamps forward to the end of the pictures shown
// after them. An index of the start codes of bytes holding `data` saves
// searching them again.
PesTimeStamps CollectPesTimeStamps(ByteView data, int limit = 0, double ticksPerFrame = 0,
                                   StartCodeIndex* index = nullptr);

// Ticks from the earliest time stamp at the start to the latest at the end
// (to the tail's `end` where it has one),
// across one wrap of the 33-bit clock; -1 when the two do not make a span
// (the clock was restarted between them, or a side has none).
int64_t PtsSpanTicks(const PtsRange& head, const PtsRange& tail);

// A sound stream's playing time from the span of its time stamps: the span
// plus the frames of the last stamped packet, frames of the codec the tests
// recognised: as many as its `lastPacketBytes` hold at the stream's rate, one
// when that is not known.
int64_t SoundSpanMs(int64_t spanTicks, const StreamInfo& stream, uint64_t lastPacketBytes = 0);

// Times the video and every sound stream of an analysed program or system
// stream from the time stamps of the file's start and end: the video's
// playing time and frame count (the span plus one frame), each sound
// stream's playing time (the span plus one frame of its codec, when known)
// and its stamped time (the span plus the frames of its last packet); of a
// video elementary stream, the typed time from its GOP time codes. What
// cannot be timed keeps what the headers gave. `headerIndex`, when given,
// holds the start codes of the reader's header.
void MeasurePesTimeSpans(CFileCache& reader, AnalysisRecords& records, StartCodeIndex* headerIndex = nullptr);

}  // namespace torvo
