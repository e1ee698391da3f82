#include "formats/mpeg/SupAAC.h"

#include <algorithm>
#include <array>

#include "formats/mpeg/AudioFrames.h"
#include "formats/mpeg/MpegRecords.h"

namespace torvo {
namespace {

constexpr std::array<int, 16> kSampleRates = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                              16000, 12000, 11025, 8000,  7350,  0,     0,     0};
constexpr std::array<const char*, 4> kProfiles = {"Main Profile", "LC Profile", "SSR Profile", "LTP Profile"};
constexpr std::array<const char*, 8> kChannelTexts = {
    "не знаю", "моно (1/0)", "стерео (2/0)", "3 канала(3/0)", "4 канала(3/1)", "5 канал.(3/2)", "6 канал.(3/2 .1)",
    "8 канал.(3/2/2 .1)"};

bool IsAdtsSync(ByteView data, uint64_t p) { return data.U8(p) == 0xFF && (data.U8(p + 1) & 0xF0) == 0xF0; }

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
    uint64_t byteTotal = 0;
    int channelConfig = 0;
    // The texts of the last header looked at; they are filled in once, after the scan.
    bool headerSeen = false;
    size_t profile = 0;
    for (uint64_t p = 0; p < n;) {
        if (IsAdtsSync(data, p)) {
            const uint8_t b1 = data.U8(p + 1), b2 = data.U8(p + 2), b3 = data.U8(p + 3);
            const int id = (b1 >> 3) & 1, layer = (b1 >> 1) & 3;
            const size_t rateIndex = (b2 >> 2) & 0x0F;
            profile = b2 >> 6;
            channelConfig = (b2 & 1) << 2 | b3 >> 6;
            headerSeen = true;
            const uint64_t length = uint64_t(b3 & 3) << 11 | uint64_t(data.U8(p + 4)) << 3 | data.U8(p + 5) >> 5;
            result.sampleRate = kSampleRates[rateIndex];
            result.versionCode = id ? kVersionMpeg2 : kVersionMpeg4;
            if (n < 8 || p + length >= n - 8) break;
            if (length >= 7 && result.sampleRate > 0 && layer == 0 && IsAdtsSync(data, p + length)) {
                ++result.frameCount;
                byteTotal += length;
                p += length;
                continue;
            }
        }
        // Every byte up to the next 0xFF is a lost sync once frames were seen.
        uint64_t next = data.FindByte(0xFF, p + 1);
        if (next == ByteView::npos) next = n;
        if (result.frameCount > 0) result.breakCount += static_cast<int32_t>(next - p);
        p = next;
    }
    if (headerSeen) {
        result.profileText = kProfiles[profile];
        result.channelModeText = kChannelTexts[static_cast<size_t>(channelConfig)];
    }

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
