#include "formats/mpeg/AudioDuration.h"

#include <array>
#include <cmath>

#include "formats/mpeg/SupAC3.h"
#include "formats/mpeg/SupMp3.h"

namespace torvo {
namespace {

// One frame: its length in bytes and the samples it holds at its rate.
struct Frame {
    uint64_t bytes = 0;
    uint32_t samples = 0;
    uint32_t rate = 0;
    int kind = 0;  // which family recognised it, so that a walk stays in one
    bool Valid() const { return bytes > 0 && samples > 0 && rate > 0; }
};

enum FrameKind : int { kMpegAudio = 1, kAdts, kAc3, kDts };

uint32_t MpegSamples(const Mp3Header& h) { return h.layer == 1 ? 384 : h.layer == 2 || h.version == 1 ? 1152 : 576; }

Frame MpegFrame(ByteView d, uint64_t p) {
    if (d.U8(p) != 0xFF || (d.U8(p + 1) & 0xE0) != 0xE0 || !d.Has(p, 4)) return {};
    const Mp3Header h = Mp3Header::Decode(d, p);
    if (!h.Valid()) return {};
    // Layer I counts its padding in 4-byte slots.
    const uint64_t bytes = h.layer == 1 ? uint64_t(12 * h.bitrateKbps * 1000 / h.sampleRate + h.padding) * 4
                                        : static_cast<uint64_t>(h.FrameLength());
    return {bytes, MpegSamples(h), static_cast<uint32_t>(h.sampleRate), kMpegAudio};
}

Frame AdtsFrame(ByteView d, uint64_t p) {
    static constexpr std::array<uint32_t, 13> kRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                        22050, 16000, 12000, 11025, 8000,  7350};
    if (d.U8(p) != 0xFF || (d.U8(p + 1) & 0xF6) != 0xF0 || !d.Has(p, 7)) return {};
    const size_t rateIndex = (d.U8(p + 2) >> 2) & 0x0F;
    const uint64_t length = uint64_t(d.U8(p + 3) & 3) << 11 | uint64_t(d.U8(p + 4)) << 3 | d.U8(p + 5) >> 5;
    if (rateIndex >= kRates.size() || length < 7) return {};
    return {length, 1024u * ((d.U8(p + 6) & 3u) + 1), kRates[rateIndex], kAdts};
}

Frame Ac3Frame(ByteView d, uint64_t p) {
    static constexpr std::array<uint32_t, 3> kRates = {48000, 44100, 32000};
    if (d.U8(p) != 0x0B || d.U8(p + 1) != 0x77 || !d.Has(p, 6)) return {};
    const int bsid = d.U8(p + 5) >> 3;
    const int fscod = d.U8(p + 4) >> 6;
    if (bsid <= 10) {
        const int bytes = CSupAC3::FrameBytes(fscod, d.U8(p + 4) & 0x3F);
        if (bytes <= 0 || fscod > 2) return {};
        return {static_cast<uint64_t>(bytes), 1536, kRates[static_cast<size_t>(fscod)], kAc3};
    }
    if (bsid > 16) return {};
    // E-AC-3 (ATSC A/52 annex E): the frame size in words, then the rate and block count.
    const uint64_t words = (uint64_t(d.U8(p + 2) & 7) << 8 | d.U8(p + 3)) + 1;
    static constexpr std::array<uint32_t, 4> kBlocks = {1, 2, 3, 6};
    uint32_t rate = 0, blocks = 6;
    if (fscod == 3) {
        const int fscod2 = (d.U8(p + 4) >> 4) & 3;
        if (fscod2 == 3) return {};
        rate = kRates[static_cast<size_t>(fscod2)] / 2;
    } else {
        rate = kRates[static_cast<size_t>(fscod)];
        blocks = kBlocks[(d.U8(p + 4) >> 4) & 3];
    }
    return {2 * words, 256 * blocks, rate, kAc3};
}

Frame DtsFrame(ByteView d, uint64_t p) {
    static constexpr std::array<uint32_t, 16> kRates = {0, 8000, 16000, 32000, 0, 0, 11025, 22050,
                                                        44100, 0, 0, 12000, 24000, 48000, 0, 0};
    if (d.Be32(p) != 0x7FFE8001 || !d.Has(p, 10)) return {};
    // Sync, then frame type, deficit samples, CRC flag, NBLKS (7 bits), FSIZE (14), AMODE (6), SFREQ (4).
    const uint32_t blocks = (uint32_t(d.U8(p + 4) & 1) << 6 | d.U8(p + 5) >> 2) + 1;
    const uint64_t bytes = (uint64_t(d.U8(p + 5) & 3) << 12 | uint64_t(d.U8(p + 6)) << 4 | d.U8(p + 7) >> 4) + 1;
    const uint32_t rate = kRates[(d.U8(p + 8) >> 2) & 0x0F];
    if (bytes < 96 || blocks < 6) return {};
    return {bytes, 32 * blocks, rate, kDts};
}

Frame FrameAt(ByteView d, uint64_t p, int kind) {
    switch (kind) {
        case kMpegAudio: return MpegFrame(d, p);
        case kAdts: return AdtsFrame(d, p);
        case kAc3: return Ac3Frame(d, p);
        case kDts: return DtsFrame(d, p);
        default: break;
    }
    for (const int k : {kAc3, kDts, kAdts, kMpegAudio})
        if (const Frame f = FrameAt(d, p, k); f.Valid()) return f;
    return {};
}

// A frame that the next one follows (or the data ends after).
bool Chains(ByteView d, uint64_t p, const Frame& f) {
    const uint64_t next = p + f.bytes;
    if (next >= d.size()) return next == d.size();
    const Frame g = FrameAt(d, next, f.kind);
    return g.Valid() && g.rate == f.rate;
}

constexpr uint64_t kMaxStartSearch = 0x10000;

// The frame count an MPEG audio file's Xing/Info or VBRI header states, 0 when none.
uint32_t VbrHeaderFrames(ByteView d, uint64_t p) {
    const Mp3Header h = Mp3Header::Decode(d, p);
    const bool mono = h.channelMode == 3;
    const uint64_t sideInfo = h.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const uint64_t xing = p + 4 + sideInfo;
    if (d.Equals(xing, "Xing") || d.Equals(xing, "Info")) return (d.Be32(xing + 4) & 1) ? d.Be32(xing + 8) : 0;
    if (d.Equals(p + 36, "VBRI")) return d.Be32(p + 36 + 14);
    return 0;
}

}  // namespace

int64_t ElementaryAudioDurationMs(ByteView head, uint64_t audioBytes) {
    // The first frame that chains to the next.
    uint64_t start = 0;
    Frame first;
    for (; start < head.size() && start < kMaxStartSearch; ++start) {
        first = FrameAt(head, start, 0);
        if (first.Valid() && Chains(head, start, first)) break;
    }
    if (!first.Valid() || start >= head.size() || start >= kMaxStartSearch || audioBytes <= start) return 0;

    if (first.kind == kMpegAudio) {
        const uint32_t frames = VbrHeaderFrames(head, start);
        if (frames > 0) return static_cast<int64_t>(uint64_t(frames) * MpegSamples(Mp3Header::Decode(head, start)) *
                                                    1000 / first.rate);
    }
    // Walk the frames; a break is bridged by searching on for the next frame of the kind.
    double seconds = 0;
    uint64_t walked = 0, p = start;
    const uint64_t end = std::min<uint64_t>(head.size(), audioBytes);
    while (p < end) {
        const Frame f = FrameAt(head, p, first.kind);
        if (f.Valid() && p + f.bytes > end) break;  // cut off by the end of the bytes read
        if (!f.Valid()) {
            ++p;
            continue;
        }
        seconds += double(f.samples) / f.rate;
        walked = p + f.bytes - start;
        p += f.bytes;
    }
    if (walked == 0) return 0;
    // The rest of the file plays at the rate of the bytes walked.
    const double scale = double(audioBytes - start) / double(p - start);
    const double ms = seconds * (p >= audioBytes ? 1.0 : scale) * 1000;
    return std::isfinite(ms) && ms < 9e15 ? static_cast<int64_t>(std::llround(ms)) : 0;
}

ReadStatus ElementaryAudioTailStatus(ByteView tail, uint64_t tailStart) {
    constexpr int kAnchorFrames = 4;
    for (uint64_t start = 0; start < tail.size() && start < kMaxStartSearch; ++start) {
        const Frame first = FrameAt(tail, start, 0);
        if (!first.Valid()) continue;
        uint64_t p = start;
        int frames = 0;
        for (Frame f = first; f.Valid() && f.rate == first.rate; f = FrameAt(tail, p, first.kind)) {
            if (f.bytes > tail.size() - p) {
                if (frames < kAnchorFrames) break;  // too short a run to trust
                return CutShort(tailStart + p, "audio frame", f.bytes, tail.size() - p);
            }
            p += f.bytes;
            ++frames;
            if (p == tail.size()) return ReadStatus::Ok();
        }
        if (frames >= kAnchorFrames) return ReadStatus::Ok();
    }
    return ReadStatus::Ok();
}

uint64_t TrailingTagBytes(ByteView tail) {
    return tail.size() >= 128 && tail.Equals(tail.size() - 128, "TAG") ? 128 : 0;
}

}  // namespace torvo
