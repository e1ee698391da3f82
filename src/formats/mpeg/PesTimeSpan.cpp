#include "formats/mpeg/PesTimeSpan.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "formats/mpeg/StartCodes.h"
#include "formats/mpeg/SupMp3.h"
#include "formats/mpeg/SupMpg.h"

namespace torvo {
namespace {

constexpr uint8_t kPack = 0xBA, kPrivateStream1 = 0xBD, kVideoStream = 0xE0;
constexpr uint8_t kPicture = 0x00, kSequenceHeader = 0xB3, kGopHeader = 0xB8;
constexpr int64_t kClockWrap = int64_t(1) << 33;
// A span longer than a day is a restarted clock, not a recording.
constexpr int64_t kLongestSpanTicks = int64_t(24) * 3600 * 90000;
// How much of the tail is read, and how far back the read may step when the
// last stretch holds no time stamp of the video.
constexpr uint32_t kTailStep = CFileCache::kWindowSize;
constexpr int kTailSteps = 8;
// The first time stamps of each stream: enough to pass the leading pictures
// of an open GOP, few enough that a clock restarted later is not mixed in.
constexpr int kHeadStamps = 16;

// The 33-bit time stamp of the five bytes at pos; -1 when its marker bits
// are not set (a start code that was payload, not a packet).
int64_t TimeStamp(ByteView b, uint64_t pos) {
    if (!b.Has(pos, 5) || !(b.U8(pos) & 1) || !(b.U8(pos + 2) & 1) || !(b.U8(pos + 4) & 1)) return -1;
    return (int64_t(b.U8(pos) >> 1) & 7) << 30 | int64_t(b.U8(pos + 1)) << 22 | int64_t(b.U8(pos + 2) >> 1) << 15 |
           int64_t(b.U8(pos + 3)) << 7 | int64_t(b.U8(pos + 4) >> 1);
}

bool CarriesStamps(uint8_t code) { return code == kPrivateStream1 || (code >= 0xC0 && code <= 0xEF); }

void Note(PtsRange& range, int64_t pts, int limit) {
    if (limit > 0 && range.seen >= limit) return;
    range.first = range.first < 0 ? pts : std::min(range.first, pts);
    range.last = std::max(range.last, pts);
    ++range.seen;
}

// Where a sound packet's own frames start in its payload: past the
// substream header of a private stream, and past the end of a frame begun in
// an earlier packet when the packet is stamped (its stamp is the first frame's
// that starts in it). Npos when no frame starts in it. `header` is the first
// MPEG audio frame header seen followed by another, learnt on the way.
uint64_t FirstFrameOffset(ByteView payload, uint8_t code, bool stamped, uint32_t& header) {
    if (code == kPrivateStream1) {
        const uint8_t substream = payload.U8(0);
        if (substream >= 0xA0) return payload.size() >= 7 ? 7 : ByteView::npos;  // linear PCM: no frames
        if (!stamped) return payload.size() >= 4 ? 4 : ByteView::npos;
        // AC-3 and DTS: the pointer counts from the byte after itself.
        const uint64_t pointer = payload.Be16(2);
        return pointer >= 1 && 3 + pointer < payload.size() ? 3 + pointer : ByteView::npos;
    }
    if (!stamped) return 0;
    // MPEG audio: the first frame header followed by another, or like the
    // stream's (sync, layer, rate and sampling): the end of a frame begun
    // earlier may hold a sync pattern too.
    constexpr uint32_t kSameStream = 0xFFFFFC00;
    for (uint64_t i = 0; i + 4 <= payload.size(); ++i) {
        // Sync, a layer, neither free nor forbidden bitrate, a sampling rate.
        const uint8_t b2 = payload.U8(i + 2);
        if (payload.U8(i) != 0xFF || (payload.U8(i + 1) & 0xE0) != 0xE0 || !(payload.U8(i + 1) & 0x06) ||
            (b2 >> 4) == 0 || (b2 >> 4) == 0x0F || ((b2 >> 2) & 3) == 3)
            continue;
        const Mp3Header h = Mp3Header::Decode(payload, i);
        const uint64_t next = i + uint64_t(std::max(h.FrameLength(), 0));
        if (!h.Valid() || next <= i) continue;
        const Mp3Header after = Mp3Header::Decode(payload, next);
        if (next + 4 <= payload.size() && after.Valid() && after.layer == h.layer && after.sampleRate == h.sampleRate) {
            if (header == 0) header = payload.Be32(i);
            return i;
        }
        if (header != 0 && (payload.Be32(i) & kSameStream) == (header & kSameStream)) return i;
    }
    return ByteView::npos;
}

// A sound packet: its time stamp, and its bytes towards the last packet's
// frames (an unstamped packet goes on with the stamped one before it).
void NoteSound(PtsRange& range, int64_t pts, ByteView payload, uint8_t code, int limit) {
    const uint64_t offset = FirstFrameOffset(payload, code, pts >= 0, range.frameHeader);
    const uint64_t bytes = offset < payload.size() ? payload.size() - offset : 0;
    if (pts >= 0 && pts >= range.last) {
        range.lastBytes = bytes;
    } else if (pts < 0 && range.Valid()) {
        range.lastBytes += bytes;
    }
    if (pts >= 0) Note(range, pts, limit);
}

// The first frame's length of the sound codec a stream was found to carry, in ticks.
int64_t SoundFrameTicks(const StreamInfo& stream) {
    for (const AudioResult& r : stream.audio)
        if (r.codecClass > 0 && r.frameDurationUs > 0) return int64_t(r.frameDurationUs) * 9 / 100;
    return 0;
}

// The pictures of the GOP being walked: their temporal references, and the
// time stamp of those a packet stamped.
class GopPictures {
public:
    explicit GopPictures(double ticksPerFrame) : ticksPerFrame_(ticksPerFrame) {}
    void Picture(int temporalReference, int64_t pts) {
        largest_ = std::max(largest_, temporalReference);
        if (pts >= 0 && stamped_.size() < kMaxStamped) stamped_.push_back({temporalReference, pts});
    }
    // Closes the GOP: each stamp carried to the last picture shown. A GOP
    // none of whose pictures was stamped follows the one before it.
    void Close(PtsRange& video) {
        if (largest_ < 0) return;  // a sequence header right before the GOP header
        int64_t last = -1;
        for (const auto& [reference, pts] : stamped_)
            last = std::max(last, pts + Frames(largest_ - reference));
        if (last < 0 && previousLast_ >= 0) last = previousLast_ + Frames(largest_ + 1);
        if (last >= 0) video.end = std::max(video.end, last);
        previousLast_ = last;
        stamped_.clear();
        largest_ = -1;
    }

private:
    static constexpr size_t kMaxStamped = 1024;
    int64_t Frames(int count) const {
        return count > 0 ? static_cast<int64_t>(std::llround(count * ticksPerFrame_)) : 0;
    }

    double ticksPerFrame_;
    int largest_ = -1;
    int64_t previousLast_ = -1;  // when the GOP before was shown to its end
    std::vector<std::pair<int, int64_t>> stamped_;
};

// The picture and GOP start codes of one video packet's payload; the
// packet's time stamp belongs to the first picture that starts in it.
void WalkVideoPayload(ByteView payload, int64_t pts, GopPictures& gop, PtsRange& video, StartCodeIndex* index) {
    // Slices and the rest are passed by (a code right after another one's
    // code byte needs that byte to be 00, a picture's).
    static constexpr StartCodeSet kWalked = {kGopHeader, kSequenceHeader, kPicture};
    for (uint64_t q = FindStartCodeIn(payload, 0, kWalked, index); q != ByteView::npos;
         q = FindStartCodeIn(payload, q + 4, kWalked, index)) {
        const uint8_t code = payload.U8(q + 3);
        if (code == kGopHeader || code == kSequenceHeader) {
            gop.Close(video);
        } else if (code == kPicture && payload.Has(q + 4, 2)) {
            gop.Picture(payload.U8(q + 4) << 2 | payload.U8(q + 5) >> 6, pts);
            pts = -1;
        }
    }
}

PesTimeStamps TailStamps(CFileCache& reader, bool wantVideo, double ticksPerFrame) {
    const uint64_t length = reader.LogicalLength();
    PesTimeStamps tail;
    for (int step = 1; step <= kTailSteps; ++step) {
        const uint64_t back = uint64_t(kTailStep) * uint64_t(step);
        const uint64_t start = length > back ? length - back : 0;
        const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(kTailStep, length - start));
        const PesTimeStamps stretch = CollectPesTimeStamps(reader.MapView(start, size), 0, ticksPerFrame);
        // Later stretches outrank earlier ones: keep what the end already gave.
        if (!tail.video.Valid()) tail.video = stretch.video;
        for (size_t i = 0; i < kMaxStreams; ++i)
            if (!tail.streams[i].Valid()) tail.streams[i] = stretch.streams[i];
        if (start == 0 || !wantVideo || tail.video.Valid()) break;
    }
    return tail;
}

// An elementary stream's GOPs: the time code of the first and of the last
// GOP header of a stretch (and where they lie in it), the pictures that
// follow the last one, and whether a GOP's code failed to move on from the
// one before it although pictures lay between them (a writer that leaves
// every code at zero).
struct GopSpan {
    int64_t firstFrames = -1, lastFrames = -1;
    int64_t picturesAfterLast = 0;
    uint64_t firstAt = 0, lastAt = 0;
    bool stalled = false;
};

GopSpan CollectGopSpan(ByteView data, int framesPerSecond, StartCodeIndex* index = nullptr) {
    GopSpan span;
    static constexpr StartCodeSet kWalked = {kGopHeader, kPicture};  // as in WalkVideoPayload
    for (uint64_t p = FindStartCodeIn(data, 0, kWalked, index); p != ByteView::npos;
         p = FindStartCodeIn(data, p + 4, kWalked, index)) {
        const uint8_t code = data.U8(p + 3);
        if (code == kPicture) {
            if (span.lastFrames >= 0) ++span.picturesAfterLast;
        } else if (code == kGopHeader && data.Has(p + 4, 4)) {
            // drop_frame, hours (5), minutes (6), marker, seconds (6), pictures (6).
            const uint32_t tc = data.Be32(p + 4) >> 7;
            if (!(tc >> 12 & 1)) continue;
            const int64_t seconds = (int64_t(tc >> 19 & 0x1F) * 60 + (tc >> 13 & 0x3F)) * 60 + (tc >> 6 & 0x3F);
            const int64_t frames = seconds * framesPerSecond + (tc & 0x3F);
            if (span.firstFrames < 0) {
                span.firstFrames = frames;
                span.firstAt = p;
            } else if (frames <= span.lastFrames && span.picturesAfterLast > 0) {
                span.stalled = true;
            }
            span.lastFrames = frames;
            span.lastAt = p;
            span.picturesAfterLast = 0;
        }
    }
    return span;
}

// An MPEG-1 or MPEG-2 video elementary stream: from the first GOP's time
// code to the last one's, and the pictures of the last GOP. The typed
// report's time; a stream whose codes do not run forward has none.
void MeasureGopTimeSpan(CFileCache& reader, VideoInfo& video, StartCodeIndex* headerIndex) {
    const VideoHeader& h = video.headers[kHeaderMpegVideo];
    if (video.h264 || video.mpeg4Vol || h.version == kVersionMpeg4 || h.frameDurationUs <= 0) return;
    const int fps = static_cast<int>(std::lround(1000000.0 / h.frameDurationUs));
    if (fps <= 0 || fps > 120) return;
    const uint64_t length = reader.LogicalLength();
    const uint64_t start = length > kTailStep ? length - kTailStep : 0;
    const ByteView header = reader.Header();
    const GopSpan head = CollectGopSpan(header, fps, headerIndex);
    // A tail inside the header buffer is answered by the header's index; a
    // tail that is the whole header was walked just now.
    const ByteView tailView = reader.MapView(start, static_cast<uint32_t>(length - start));
    const bool same = tailView.data() == header.data() && tailView.size() == header.size();
    const GopSpan tail = same ? head : CollectGopSpan(tailView, fps, headerIndex);
    if (head.firstFrames < 0 || tail.lastFrames < head.firstFrames || head.stalled || tail.stalled) return;
    // Two GOPs apart with one code: the codes were not kept.
    if (tail.lastFrames == head.firstFrames && start + tail.lastAt != head.firstAt) return;
    const int64_t frames = tail.lastFrames - head.firstFrames + tail.picturesAfterLast;
    if (frames > 0 && frames < kLongestSpanTicks / 90000 * fps)
        video.stampedDurationMs = frames * h.frameDurationUs / 1000;
}

}  // namespace

int64_t ReadPesPts(ByteView packet) {
    uint64_t i = 6;
    while (packet.U8(i) == 0xFF && i <= 98) ++i;  // MPEG-1 stuffing
    const uint8_t f = packet.U8(i);
    if (f >= 0x80 && f <= 0xBF) {  // MPEG-2: PTS_DTS_flags in the second byte
        if (i != 6 || !(packet.U8(7) & 0x80) || (packet.U8(9) & 0xE0) != 0x20) return -1;
        return TimeStamp(packet, 9);
    }
    if (f >= 0x40 && f <= 0x7F) i += 2;  // STD buffer fields
    const uint8_t g = packet.U8(i);
    if ((g & 0xE0) != 0x20) return -1;
    return TimeStamp(packet, i);
}

PesTimeStamps CollectPesTimeStamps(ByteView data, int limit, double ticksPerFrame, StartCodeIndex* index) {
    PesTimeStamps stamps;
    GopPictures gop(ticksPerFrame);
    uint64_t p = FindStartCode(data, 0, index);
    while (p != ByteView::npos) {
        const uint8_t code = data.U8(p + 3);
        uint64_t next = p + 4;
        if (code == kPack) {
            next = p + CSupMpg::PackHeaderLength(data.From(p));
        } else if (code >= 0xBB) {
            const ByteView packet = data.From(p);
            next = p + 6 + packet.Be16(4);
            if (CarriesStamps(code)) {
                const int64_t pts = ReadPesPts(packet);
                ParseErrorFlag ignored;
                const CSupMpg::Payload payload = CSupMpg::ReadPesPayload(packet, ignored);
                if (code == kVideoStream && ticksPerFrame > 0 && payload.length > 0)
                    WalkVideoPayload(packet.Sub(payload.offset, uint64_t(payload.length)), pts, gop, stamps.video,
                                     index);
                if (pts >= 0 && code == kVideoStream) {
                    Note(stamps.video, pts, limit);
                } else if (code < 0xE0) {
                    const int slot = CSupMpg::SlotIndex(code, packet.U8(payload.offset));
                    const uint64_t length = payload.length > 0 ? uint64_t(payload.length) : 0;
                    if (slot >= 0)
                        NoteSound(stamps.streams[static_cast<size_t>(slot)], pts, packet.Sub(payload.offset, length),
                                  code, limit);
                }
            }
        }
        p = FindStartCode(data, next, index);
    }
    gop.Close(stamps.video);
    return stamps;
}

int64_t PtsSpanTicks(const PtsRange& head, const PtsRange& tail) {
    if (!head.Valid() || !tail.Valid()) return -1;
    int64_t span = std::max(tail.last, tail.end) - head.first;
    // The clock wrapped once in between: it ends in the lower half of its
    // range having started in the upper; anything else went back.
    if (span < 0 && head.first >= kClockWrap / 2 && tail.last < kClockWrap / 2) span += kClockWrap;
    return span > 0 && span < kLongestSpanTicks ? span : -1;
}

int64_t SoundSpanMs(int64_t spanTicks, const StreamInfo& stream, uint64_t lastPacketBytes) {
    // The last stamped packet may carry several frames: its bytes over an
    // average frame's (the rate over the frame's length) count them.
    int64_t frames = 1;
    for (const AudioResult& r : stream.audio) {
        if (r.codecClass <= 0 || r.frameDurationUs <= 0 || r.bitrateKbps <= 0) continue;
        const double frameBytes = double(r.bitrateKbps) * r.frameDurationUs / 8000.0;
        if (lastPacketBytes > 0 && frameBytes >= 1)
            frames = std::clamp<int64_t>(std::llround(double(lastPacketBytes) / frameBytes), 1, 1024);
        break;
    }
    return (spanTicks + frames * SoundFrameTicks(stream)) / 90;
}

void MeasurePesTimeSpans(CFileCache& reader, AnalysisRecords& records, StartCodeIndex* headerIndex) {
    const ContainerInfo& c = records.container;
    if (c.layout == StreamLayout::kVideoElementary) MeasureGopTimeSpan(reader, records.video, headerIndex);
    if (c.layout != StreamLayout::kMpeg1System && c.layout != StreamLayout::kMpeg2Program) return;
    const ByteView header = reader.Header();
    const bool whole = header.size() >= reader.LogicalLength();
    VideoInfo& video = records.video;
    const int32_t usPerFrame = video.headers[kHeaderMpegVideo].frameDurationUs;
    const double ticksPerFrame = usPerFrame * 0.09;
    const PesTimeStamps tail = whole ? CollectPesTimeStamps(header, 0, ticksPerFrame, headerIndex)
                                     : TailStamps(reader, c.videoCount > 0, ticksPerFrame);
    // A file wholly in the header is walked once: with no limit the head's
    // first stamps are the tail's (the frame period moves only the video's
    // end, which the head does not use).
    const PesTimeStamps head = whole ? PesTimeStamps{} : CollectPesTimeStamps(header, kHeadStamps, 0, headerIndex);
    const PesTimeStamps& first = whole ? tail : head;

    if (const int64_t span = PtsSpanTicks(first.video, tail.video); span > 0 && usPerFrame > 0 && c.videoCount > 0) {
        // The span reaches the start of the last picture; the picture lasts one period more.
        const auto frames = static_cast<int64_t>(std::llround(double(span) / ticksPerFrame)) + 1;
        video.frameCount = frames;
        video.durationMs = std::llround(double(span) / 90.0 + usPerFrame / 1000.0);
    }
    for (size_t i = 0; i < kMaxStreams; ++i) {
        StreamInfo* stream = records.StreamIf(i);
        const int64_t span = PtsSpanTicks(first.streams[i], tail.streams[i]);
        if (!stream || span <= 0) continue;
        stream->durationMs = SoundSpanMs(span, *stream);
        if (tail.streams[i].lastBytes > 0)
            stream->stampedDurationMs = SoundSpanMs(span, *stream, tail.streams[i].lastBytes);
    }
}

}  // namespace torvo
