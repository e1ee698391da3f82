#include "formats/mpeg/SupAAC.h"

#include "base/PatternScan.h"

#include <algorithm>
#include <array>
#include <optional>

#include "formats/mpeg/AudioFrames.h"
#include "records/MpegRecords.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr std::array<int, 16> kSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                              16000, 12000, 11025, 8000,  7350,  0,     0,     0};
constexpr std::array<const char*, 4> kProfiles = {"Main Profile", "LC Profile", "SSR Profile", "LTP Profile"};
constexpr std::array<const char*, 8> kChannelTexts = {
    N_("не знаю"), N_("моно (1/0)"), N_("стерео (2/0)"), N_("3 канала(3/0)"), N_("4 канала(3/1)"), N_("5 канал.(3/2)"), N_("6 канал.(3/2 .1)"),
    N_("8 канал.(3/2/2 .1)")};

bool IsAdtsSync(ByteView data, uint64_t p) { return data.U8(p) == 0xFF && (data.U8(p + 1) & 0xF0) == 0xF0; }

// A sync whose header could start a chain of frames: layer 0 and a known sample rate.
bool CouldChain(ByteView data, uint64_t p) {
    return IsAdtsSync(data, p) && (data.U8(p + 1) & 0x06) == 0 && ((data.U8(p + 2) >> 2) & 0x0F) < 13;
}

// The frame length field of an ADTS header takes 13 bits.
constexpr uint64_t kMaxFrameLength = 8191;

// The fields of one ADTS header that the result keeps from the last header looked at.
struct AdtsHeader {
    int id = 0, layer = 0, channelConfig = 0;
    size_t profile = 0, rateIndex = 0;
    uint64_t length = 0;
    static AdtsHeader At(ByteView data, uint64_t p) {
        AdtsHeader h;
        const uint8_t b1 = data.U8(p + 1), b2 = data.U8(p + 2), b3 = data.U8(p + 3);
        h.id = (b1 >> 3) & 1;
        h.layer = (b1 >> 1) & 3;
        h.profile = b2 >> 6;
        h.rateIndex = (b2 >> 2) & 0x0F;
        h.channelConfig = (b2 & 1) << 2 | b3 >> 6;
        h.length = uint64_t(b3 & 3) << 11 | uint64_t(data.U8(p + 4)) << 3 | data.U8(p + 5) >> 5;
        return h;
    }
};

}  // namespace

void CSupAAC::ReadAdif(ByteView h, AudioResult& result) {
    if (h.U8(0) & 0x80) h = h.From(9);  // copyright_id: the fields after it keep their bit positions
    result.bitrateKbps = static_cast<int32_t>((h.U8(0) & 0x0Fu) << 19 | uint32_t(h.U8(1)) << 11 |
                                              uint32_t(h.U8(2)) << 3 | uint32_t(h.U8(3)) >> 5);
    size_t profile = 0, rateIndex = 0;
    if (h.U8(0) & 0x10) {  // variable rate: no buffer fullness
        profile = (h.U8(4) >> 3) & 3;
        rateIndex = static_cast<size_t>((h.U8(4) & 7) << 1 | h.U8(5) >> 7);
    } else {  // a 20-bit adif_buffer_fullness comes first
        profile = static_cast<size_t>((h.U8(6) & 1) << 1 | h.U8(7) >> 7);
        rateIndex = (h.U8(7) >> 3) & 0x0F;
    }
    result.profileText = kProfiles[profile];
    result.sampleRate = kSampleRates[rateIndex];
}

bool CSupAAC::Analyse(ByteView data, AudioResult& result, ContainerInfo& container) const {
    if (container.typeId == kTypeAacAdif) {
        ReadAdif(data.From(4), result);
        result.codecClass = kAudioClassAac;
        result.adifFlag = 1;
        return true;
    }

    result = AudioResult{};
    const uint64_t n = data.size();
    // Headers closer to the end than the longest frame may end the scan; all of them are looked at.
    const uint64_t tail = n > kMaxFrameLength + 8 ? n - (kMaxFrameLength + 8) : 0;
    // The next header to look at after p: before the tail only one that could
    // chain (the others only count as lost sync).
    static constexpr BytePattern kLayerZeroSync = {{0, 0xFF, 0xFF}, {1, 0xF6, 0xF0}};
    auto nextCandidate = [&](uint64_t q) -> uint64_t {
        for (uint64_t r = FindPattern(data, kLayerZeroSync, q, tail); r != ByteView::npos;
             r = FindPattern(data, kLayerZeroSync, r + 1, tail))
            if (CouldChain(data, r)) return r;
        q = std::max(q, tail);
        const uint64_t sync = data.FindByte(0xFF, q);
        return sync == ByteView::npos ? n : sync;
    };

    uint64_t byteTotal = 0;
    std::optional<AdtsHeader> last;  // the last header looked at gives the texts and the rate
    uint64_t skippedFrom = 0;        // where the last step over unlikely headers began
    bool ranOut = true, lastStepSkipped = false;
    for (uint64_t p = 0; p < n;) {
        if (IsAdtsSync(data, p)) {
            const AdtsHeader h = AdtsHeader::At(data, p);
            last = h;
            result.sampleRate = kSampleRates[h.rateIndex];
            if (n < 8 || p + h.length >= n - 8) {
                ranOut = false;
                break;
            }
            if (h.length >= 7 && result.sampleRate > 0 && h.layer == 0 && IsAdtsSync(data, p + h.length)) {
                ++result.frameCount;
                byteTotal += h.length;
                p += h.length;
                lastStepSkipped = false;
                continue;
            }
        }
        // Every byte up to the next candidate is a lost sync once frames were seen.
        skippedFrom = p;
        lastStepSkipped = true;
        const uint64_t next = nextCandidate(p + 1);
        if (result.frameCount > 0) result.breakCount += static_cast<int32_t>(next - p);
        p = next;
    }
    // A scan that stepped to the end last looked at the last header of that step.
    if (ranOut && lastStepSkipped) {
        for (uint64_t q = n; q > skippedFrom + 1;) {
            const uint64_t at = data.FindLastByte(0xFF, skippedFrom + 1, q);
            if (at == ByteView::npos) break;
            if (IsAdtsSync(data, at)) {
                last = AdtsHeader::At(data, at);
                result.sampleRate = kSampleRates[last->rateIndex];
                break;
            }
            q = at;
        }
    }
    if (last) {
        result.versionCode = last->id ? kVersionMpeg2 : kVersionMpeg4;
        result.profileText = kProfiles[last->profile];
        result.channelModeText = kChannelTexts[static_cast<size_t>(last->channelConfig)];
    }
    const int channelConfig = last ? last->channelConfig : 0;

    if (!EnoughFrames(result.frameCount, result.breakCount)) {
        result = AudioResult{};
        return false;
    }
    // The rate is the one of the last header scanned, which need not have
    // chained: a reserved rate index leaves the timing unknown.
    if (result.sampleRate > 0) {
        result.frameDurationUs = 1024000000 / result.sampleRate;
        result.bitrateKbps = static_cast<int32_t>(int64_t(byteTotal) * 8000000 /
                                                  (int64_t(result.frameDurationUs) * result.frameCount * 1000));
        // The whole file at the rate of the bytes seen; kept in milliseconds
        // like the durations of the system streams.
        const double seconds = static_cast<double>(container.fileSize) * result.frameCount * 1024.0 /
                               (static_cast<double>(result.sampleRate) * static_cast<double>(byteTotal));
        container.scrDurationMs = static_cast<int32_t>(std::min(seconds * 1000.0, 2147483647.0));
    }
    result.codecClass = kAudioClassAac;
    result.channels = channelConfig;
    result.adifFlag = 0;
    return true;
}

}  // namespace torvo
