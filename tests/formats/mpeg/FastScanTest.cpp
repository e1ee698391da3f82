// The fast scans (sixteen positions at a time, the start-code index, the ADTS
// scan that steps over headers that cannot chain) must answer exactly as the
// plain byte-by-byte searches they replace, on real samples, on mutations of
// them and on the runs of 0x00 and 0xFF that make candidates dense.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "MpegTestUtil.h"
#include "records/Records.h"
#include "formats/mpeg/StartCodes.h"
#include "formats/mpeg/SupAAC.h"
#include "formats/mpeg/SupMp3.h"

namespace torvo {
namespace {

using test::Bytes;
using test::View;

uint64_t PlainStartCode(ByteView d, uint64_t from) {
    for (uint64_t p = from; d.size() >= 4 && p <= d.size() - 4; ++p)
        if (d.U8(p) == 0 && d.U8(p + 1) == 0 && d.U8(p + 2) == 1) return p;
    return ByteView::npos;
}

uint64_t PlainFind(ByteView d, std::string_view text, uint64_t from, uint64_t step) {
    for (uint64_t p = from; p + text.size() <= d.size(); ++p)
        if (p % step == 0 && d.Equals(p, text)) return p;
    return ByteView::npos;
}

// The ADTS scan as it was: every byte a candidate.
AudioResult PlainAdts(ByteView data) {
    constexpr std::array<int, 16> rates = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                           16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    AudioResult r;
    const uint64_t n = data.size();
    int channels = 0, id = 0;
    for (uint64_t p = 0; p < n;) {
        if (data.U8(p) == 0xFF && (data.U8(p + 1) & 0xF0) == 0xF0) {
            const uint8_t b1 = data.U8(p + 1), b2 = data.U8(p + 2), b3 = data.U8(p + 3);
            id = (b1 >> 3) & 1;
            channels = (b2 & 1) << 2 | b3 >> 6;
            const uint64_t length = uint64_t(b3 & 3) << 11 | uint64_t(data.U8(p + 4)) << 3 | data.U8(p + 5) >> 5;
            r.sampleRate = rates[(b2 >> 2) & 0x0F];
            if (n < 8 || p + length >= n - 8) break;
            if (length >= 7 && r.sampleRate > 0 && ((b1 >> 1) & 3) == 0 && data.U8(p + length) == 0xFF &&
                (data.U8(p + length + 1) & 0xF0) == 0xF0) {
                ++r.frameCount;
                p += length;
                continue;
            }
        }
        if (r.frameCount > 0) ++r.breakCount;
        ++p;
    }
    r.channels = channels;
    r.versionCode = id;
    return r;
}

// The MPEG audio frame count as it was: every byte a candidate.
std::pair<uint32_t, int32_t> PlainMpegAudioFrames(ByteView data) {
    uint32_t frames = 0;
    int32_t breaks = 0;
    Mp3Header reference;
    bool haveReference = false;
    auto lost = [&] { frames >= 3 ? void(++breaks) : void(frames = 0); };
    for (uint64_t p = 0; p < data.size();) {
        const bool sync = data.U8(p) == 0xFF && (data.U8(p + 1) & 0xE0) == 0xE0 && p + 1 < data.size();
        const Mp3Header h = Mp3Header::Decode(data, p);
        const bool consistent = !haveReference || (h.sampleRate == reference.sampleRate &&
                                                   h.layer == reference.layer && h.version == reference.version);
        if (sync && h.Valid()) {
            reference = h;
            haveReference = true;
        }
        if (!sync || !h.Valid() || !consistent) {
            // A non-sync byte and the bytes up to the next sync count as one loss.
            if (!sync) {
                uint64_t q = p + 1;
                while (q + 1 < data.size() && !(data.U8(q) == 0xFF && (data.U8(q + 1) & 0xE0) == 0xE0)) ++q;
                if (q + 1 >= data.size()) break;
                p = q;
            } else {
                ++p;
            }
            lost();
            continue;
        }
        ++frames;
        p += static_cast<uint64_t>(h.FrameLength());
    }
    return {frames, breaks};
}

// Samples, their mutations and dense runs of candidate bytes.
std::vector<Bytes> Inputs() {
    std::vector<Bytes> inputs;
    for (const char* name : {"aac_stereo.aac", "mpeg1_video.m1v", "vcd_pal.mpg", "h264_1080.264", "dv_pal_4x3.dv",
                             "mp3_cbr128.mp3", "mp2_48000.mp2"})
        inputs.push_back(test::Sample(name));
    std::mt19937 random(7);
    const size_t samples = inputs.size();
    for (size_t i = 0; i < samples; ++i) {
        Bytes mutated = inputs[i];
        for (int k = 0; k < 200 && !mutated.empty(); ++k) mutated[random() % mutated.size()] = uint8_t(random());
        inputs.push_back(mutated);
        Bytes runs = inputs[i];
        for (size_t at = 0; at + 300 < runs.size(); at += 5000) std::fill_n(runs.begin() + static_cast<std::ptrdiff_t>(at), 300, uint8_t((at / 5000) % 2 ? 0xFF : 0x00));
        inputs.push_back(runs);
        // A run of 0xFF in front: every position in it looks like a sync.
        Bytes padded(300 + inputs[i].size(), 0xFF);
        std::copy(inputs[i].begin(), inputs[i].end(), padded.begin() + 300);
        inputs.push_back(padded);
    }
    return inputs;
}

}  // namespace

TEST(FastScan, StartCodesWithAndWithoutTheIndex) {
    for (const Bytes& input : Inputs()) {
        const ByteView d = View(input);
        std::vector<uint64_t> plain, scanned, indexed;
        for (uint64_t p = PlainStartCode(d, 0); p != ByteView::npos; p = PlainStartCode(d, p + 1)) plain.push_back(p);
        for (uint64_t p = FindStartCode(d, 0); p != ByteView::npos; p = FindStartCode(d, p + 1)) scanned.push_back(p);
        {
            StartCodeIndex index(d);
            for (uint64_t p = FindStartCode(d, 0, &index); p != ByteView::npos; p = FindStartCode(d, p + 1, &index))
                indexed.push_back(p);
            // A part of the range is answered within its own bounds.
            const ByteView part = d.Sub(d.size() / 3, d.size() / 3);
            EXPECT_EQ(FindStartCode(part, 5, &index), PlainStartCode(part, 5));
            EXPECT_EQ(FindStartCode(part, part.size(), &index), ByteView::npos);
            // Bytes elsewhere (the same values in another buffer) are searched, not looked up.
            const Bytes copy(input.begin(), input.end());
            EXPECT_FALSE(index.Covers(View(copy)) && !copy.empty());
            EXPECT_EQ(FindStartCode(View(copy), 1, &index), PlainStartCode(View(copy), 1));
        }
        {
            // The index searches only as far as it is asked: a first question
            // far in, then earlier and later ones, in parts and in the whole.
            StartCodeIndex index(d);
            const uint64_t n = d.size();
            for (const uint64_t from : {n / 2, uint64_t(0), n - n / 8, n / 7, uint64_t(40000), n, n / 2 + 1}) {
                EXPECT_EQ(FindStartCode(d, from, &index), PlainStartCode(d, from)) << from;
                const ByteView tail = d.From(std::min(from, n));
                EXPECT_EQ(FindStartCode(tail, 3, &index), PlainStartCode(tail, 3)) << from;
            }
        }
        EXPECT_EQ(scanned, plain);
        EXPECT_EQ(indexed, plain);
    }
}

// The first start code of a set: the plain chain of start codes filtered,
// searched with and without the index, from the start, from far in (the index
// then searches further while it walks) and in parts whose end cuts codes off.
TEST(FastScan, StartCodesOfASet) {
    const StartCodeSet sets[] = {{0xB3, 0xB8, 0xB2}, StartCodeSet::Range(0x01, 0xAF).Complement(), {0xB9}, {}};
    for (const Bytes& input : Inputs()) {
        const ByteView d = View(input);
        const uint64_t n = d.size();
        for (const StartCodeSet& set : sets) {
            auto plain = [&](ByteView v, uint64_t from) {
                for (uint64_t p = PlainStartCode(v, from); p != ByteView::npos; p = PlainStartCode(v, p + 1))
                    if (set.Has(v.U8(p + 3))) return p;
                return ByteView::npos;
            };
            StartCodeIndex index(d);
            for (const uint64_t from : {n / 2, uint64_t(0), uint64_t(1), n - n / 8, uint64_t(40000), n})
                for (const ByteView v : {d, d.Sub(0, n / 2 + 3), d.Sub(n / 5, n / 3)}) {
                    const uint64_t expected = plain(v, from);
                    EXPECT_EQ(FindStartCodeIn(v, from, set, &index), expected) << from;
                    EXPECT_EQ(FindStartCodeIn(v, from, set), expected) << from;
                }
            std::vector<uint64_t> walked, expected;
            for (uint64_t p = FindStartCodeIn(d, 0, set, &index); p != ByteView::npos; p = FindStartCodeIn(d, p + 1, set, &index))
                walked.push_back(p);
            for (uint64_t p = plain(d, 0); p != ByteView::npos; p = plain(d, p + 1)) expected.push_back(p);
            EXPECT_EQ(walked, expected);
        }
    }
}

TEST(FastScan, SubstringAndByteSearches) {
    for (const Bytes& input : Inputs()) {
        const ByteView d = View(input);
        for (const std::string_view text : {std::string_view("\0\0\1\xBA", 4), std::string_view("\x01" "CD001", 6),
                                            std::string_view("\xFF\xF1", 2), std::string_view("\0", 1)})
            for (const uint64_t step : {1u, 2u})
                for (const uint64_t from : {0u, 3u, 4097u})
                    EXPECT_EQ(d.Find(text, from, step), PlainFind(d, text, from, step)) << from << " " << step;
        const uint64_t zero = d.FindByte(0, 0);
        if (zero != ByteView::npos) {
            uint64_t other = zero;
            while (other < d.size() && d.U8(other) == 0) ++other;
            EXPECT_EQ(d.FindOtherByte(0, zero), other == d.size() ? ByteView::npos : other);
        }
        uint64_t lastFf = ByteView::npos;
        for (uint64_t p = 0; p < d.size(); ++p)
            if (d.U8(p) == 0xFF) lastFf = p;
        EXPECT_EQ(d.FindLastByte(0xFF, 0, d.size()), lastFf);
    }
}

TEST(FastScan, AdtsScanCountsAsThePlainOne) {
    ContainerInfo container;
    container.fileSize = 1000000;
    int compared = 0;
    for (const Bytes& input : Inputs()) {
        AudioResult fast;
        CSupAAC().Analyse(View(input), fast, container);
        const AudioResult plain = PlainAdts(View(input));
        if (fast.codecClass == 0) continue;  // rejected: the result is zeroed either way
        ++compared;
        EXPECT_EQ(fast.frameCount, plain.frameCount);
        EXPECT_EQ(fast.breakCount, plain.breakCount);
        EXPECT_EQ(fast.sampleRate, plain.sampleRate);
        EXPECT_EQ(fast.channels, plain.channels);
        EXPECT_EQ(fast.versionCode, plain.versionCode ? kVersionMpeg2 : kVersionMpeg4);
    }
    EXPECT_GE(compared, 2);  // the sample and its mutation at least
}

TEST(FastScan, MpegAudioScanCountsAsThePlainOne) {
    int compared = 0;
    for (const Bytes& input : Inputs()) {
        AudioResult fast;
        if (!CSupMp3().Analyse(View(input), fast)) continue;  // rejected: zeroed either way
        ++compared;
        const auto [frames, breaks] = PlainMpegAudioFrames(View(input));
        EXPECT_EQ(fast.frameCount, frames);
        EXPECT_EQ(fast.breakCount, breaks);
    }
    EXPECT_GE(compared, 4);  // the two samples, with and without 0xFF in front
}

}  // namespace torvo
