#include "formats/mpeg/SupMp3.h"

#include "base/PatternScan.h"

#include <array>
#include <cctype>

#include "formats/mpeg/AudioFrames.h"
#include "records/MpegRecords.h"
#include "base/Translate.h"

namespace torvo {
namespace {

// Bitrates in kbit/s by row and bitrate index (0 and 15 invalid).
constexpr std::array<std::array<int, 16>, 5> kBitrates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2/2.5 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2/2.5 Layers II, III
}};

// Sample rates by version index (0 MPEG-2, 1 MPEG-1, 2 MPEG "2.5") and rate index.
// The reserved index 3 is taken as 50000 Hz.
constexpr std::array<std::array<int, 4>, 3> kSampleRates = {{
    {22050, 24000, 16000, 50000},
    {44100, 48000, 32000, 50000},
    {11025, 12000, 8000, 50000},
}};

constexpr std::array<const char*, 4> kChannelModes = {N_("Стерео"), N_("единоеСтереo"), N_("два моно канала  "), N_("монофония ")};

constexpr std::array<int, 3> kVersionCodes = {kVersionMpeg2, kVersionMpeg1, kVersionMpeg25};
// Layer field 11 Layer I, 10 Layer II, 01 Layer III, 00 reserved; as layer numbers.
constexpr std::array<int, 4> kLayerFromBits = {0, 3, 2, 1};

bool IsSync(ByteView data, uint64_t p) { return data.U8(p) == 0xFF && (data.U8(p + 1) & 0xE0) == 0xE0; }

bool EncoderChar(uint8_t c) {
    return c == ' ' || c == '(' || c == ')' || c == '.' || c == '/' || c == '_' || std::isalnum(c);
}

}  // namespace

Mp3Header Mp3Header::Decode(ByteView data, uint64_t pos) {
    Mp3Header h;
    const uint8_t b1 = data.U8(pos + 1), b2 = data.U8(pos + 2), b3 = data.U8(pos + 3);
    h.version = !(b1 & 0x10) ? 2 : (b1 & 0x08) ? 1 : 0;
    h.layer = kLayerFromBits[(b1 >> 1) & 3];
    h.padding = (b2 >> 1) & 1;
    h.channelMode = b3 >> 6;
    h.sampleRate = kSampleRates[h.version][(b2 >> 2) & 3];
    if (h.layer != 0) {
        const size_t row = h.version == 1 ? static_cast<size_t>(h.layer - 1) : (h.layer == 1 ? 3 : 4);
        h.bitrateKbps = kBitrates[row][b2 >> 4];
    }
    return h;
}

int Mp3Header::FrameLength() const {
    if (!Valid()) return 0;
    const int m = version == 1 ? 2 : 1, k = layer == 1 ? 24000 : 72000;
    return m * k * bitrateKbps / sampleRate + padding;
}

std::string CSupMp3::VbrEncoder(ByteView data, bool& vbr) {
    vbr = false;
    auto tagIs = [&](uint64_t pos, const char* tag) {
        for (int i = 0; i < 4; ++i)
            if (std::tolower(data.U8(pos + i)) != std::tolower(static_cast<unsigned char>(tag[i]))) return false;
        return data.Has(pos, 4);
    };
    // Where the header sits in an MPEG-1 Layer III stereo frame at the data start.
    if (tagIs(36, "VBRI")) {
        vbr = true;
        return "Fraunhofer";
    }
    if (!tagIs(36, "Xing")) return {};
    vbr = true;
    std::string encoder;
    if (data.Equals(156, "LAME"))
        for (uint64_t p = 156; p < 186 && data.Has(p, 1) && EncoderChar(data.U8(p)); ++p) encoder += char(data.U8(p));
    return encoder;
}

bool CSupMp3::Finish(AudioResult& result, bool vbrHeader, int changes, int64_t bitrateSum, const Mp3Header& last) {
    if (vbrHeader)
        result.rateMode = 2;
    else if (result.bitrateKbps <= 0)
        result.rateMode = 0;
    else
        result.rateMode = changes > 0 ? 2 : 1;
    if (last.sampleRate > 0) result.frameDurationUs = last.SamplesPerFrame() * 1000000 / last.sampleRate;
    if (!EnoughFrames(result.frameCount, result.breakCount)) {
        result = AudioResult{};
        return false;
    }
    result.codecClass = kAudioClassMpeg;
    if (result.rateMode == 2) result.bitrateKbps = static_cast<int32_t>(bitrateSum / result.frameCount);
    return true;
}

bool CSupMp3::Analyse(ByteView data, AudioResult& result) const {
    result = AudioResult{};
    bool vbrHeader = false;
    result.encoderText = VbrEncoder(data, vbrHeader);

    Mp3Header reference, last;
    bool haveReference = false;
    int previousBitrate = 0, changes = 0;
    int64_t bitrateSum = 0;
    const uint64_t n = data.size();
    auto lostFrames = [&](uint64_t count) {
        if (result.frameCount >= 3)
            result.breakCount += static_cast<int32_t>(count);
        else
            result.frameCount = 0;
    };
    // The next FF followed by a byte with its three top bits set, from q on.
    // After a lost sync the next FF is most often the next sync (in ADTS AAC
    // every frame starts with one), which one byte search finds cheaply; when
    // it is not, the pattern search goes on from there (0xFF bytes alone are
    // common in some data).
    static constexpr BytePattern kSync = {{0, 0xFF, 0xFF}, {1, 0xE0, 0xE0}};
    auto nextSync = [&](uint64_t q) {
        if (n < 2) return ByteView::npos;
        const uint64_t ff = data.FindByte(0xFF, q, n - 1);  // the second byte must be there too
        if (ff == ByteView::npos || IsSync(data, ff)) return ff;
        return FindPattern(data, kSync, ff + 1);
    };

    for (uint64_t p = 0; p < n;) {
        if (!IsSync(data, p)) {
            const uint64_t q = nextSync(p + 1);
            if (q == ByteView::npos) return Finish(result, vbrHeader, changes, bitrateSum, last);
            lostFrames(1);
            p = q;
            continue;
        }
        const Mp3Header h = Mp3Header::Decode(data, p);
        if (!h.Valid()) {
            // Inside a run of 0xFF bytes every position but the last two is a
            // sync with bitrate index 15: all of them are lost at once.
            uint64_t lost = 1;
            if (data.U8(p + 1) == 0xFF && data.U8(p + 2) == 0xFF) {
                const uint64_t runEnd = data.FindOtherByte(0xFF, p);
                lost = (runEnd == ByteView::npos ? n : runEnd) - 2 - p;
            }
            lostFrames(lost);
            p += lost;
            continue;
        }
        last = h;
        if (result.frameCount >= 3 && previousBitrate > 0 && previousBitrate != h.bitrateKbps) ++changes;
        previousBitrate = h.bitrateKbps;
        const bool consistent = !haveReference || (h.sampleRate == reference.sampleRate &&
                                                   h.layer == reference.layer && h.version == reference.version);
        reference = h;
        haveReference = true;
        if (!consistent) {
            lostFrames(1);
            ++p;
            continue;
        }
        ++result.frameCount;
        bitrateSum += h.bitrateKbps;
        p += static_cast<uint64_t>(h.FrameLength());
        StoreFrameEnd(result, result.frameCount, p);
        if (result.frameCount == 3) {
            result.versionCode = kVersionCodes[h.version];
            result.layerCode = h.layer == 0 ? 1 : h.layer + 1;
            result.channelModeText = kChannelModes[h.channelMode];
            result.sampleRate = h.sampleRate;
            result.bitrateKbps = h.bitrateKbps;
            result.channels = h.channelMode == 3 ? 1 : 2;
        }
    }
    return Finish(result, vbrHeader, changes, bitrateSum, last);
}

}  // namespace torvo
