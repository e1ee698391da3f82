// CSupOgg: Ogg files (pages of RFC 3533 carrying logical streams): the first
// packets of each stream name its codec (Theora, Vorbis, Opus, FLAC, Speex)
// and give its format and Vorbis comments; the last page of each stream in
// the file's tail gives its granule position and so its playing time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

enum class OggCodec { kUnknown, kTheora, kVorbis, kOpus, kFlac, kSpeex, kSkeleton };

// An Ogg page header at pos: false when the capture pattern, version or
// segment table is not there. size is the whole page, header included.
struct OggPage {
    uint8_t flags = 0;  // 1 continued packet, 2 first page, 4 last page
    uint64_t granule = 0;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    uint32_t segments = 0;
    uint64_t headerSize = 0, size = 0;
};
bool ReadOggPage(ByteView bytes, uint64_t pos, OggPage& page);

class CSupOgg {
public:
    static constexpr int kMaxPagesRead = 4096;      // from the start, for the stream headers
    static constexpr size_t kMaxStreams = 32;
    static constexpr size_t kMaxHeaderPacket = 0x40000;
    static constexpr uint64_t kTailBytes = 0x40000; // the tail read for the last granules
    static constexpr int kMaxPagesWalked = 1 << 20; // a chained file's pages, walked for each link's time

    struct Stream {
        uint32_t serial = 0;
        OggCodec codec = OggCodec::kUnknown;
        std::vector<std::vector<uint8_t>> packets;  // the first header packets
        std::vector<uint8_t> partial;               // a packet continued on the next page
        bool headersDone = false;
        uint64_t lastGranule = UINT64_MAX;          // from the tail; all ones when none
        // Decoded.
        uint32_t sampleRate = 0, channels = 0, bitsPerSample = 0, bitrateKbps = 0;
        uint32_t inputRate = 0, preSkip = 0;        // Opus
        uint32_t granuleShift = 0;                  // Theora
        int32_t width = 0, height = 0;
        uint32_t frameRateNumerator = 0, frameRateDenominator = 0;
        uint32_t aspectNumerator = 0, aspectDenominator = 0;
        int slot = -1;
    };

    CSupOgg(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupOgg();

    // Walks the pages; the logical streams found are then in the records.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

    const std::vector<Stream>& Streams() const { return streams_; }

private:
    Stream* StreamFor(uint32_t serial, bool create);
    void TakePage(ByteView page, const OggPage& header);
    void Decode(Stream& stream);
    // True when the tail holds pages of streams the file did not begin
    // with: the file is a chain of links played one after another.
    bool ReadTail();
    // The sum of the links' playing times, each the longest of its streams'.
    int64_t ChainedMs(uint64_t position);
    void Finish();
    int64_t DurationMs(const Stream& stream) const;

    CFileCache& reader_;
    AnalysisRecords& records_;
    std::vector<Stream> streams_;
    ReadStatus tailStatus_;  // what the last page in the file says
    int64_t chainedMs_ = 0;  // the whole chain's time, 0 for a file of one link
};

}  // namespace torvo
