#include "formats/mpeg/SupMpg4.h"

#include <algorithm>
#include <array>

#include "formats/mpeg/StartCodes.h"

namespace torvo {
namespace {

constexpr uint8_t kVisualObject = 0xB5, kUserData = 0xB2, kVop = 0xB6;
constexpr int kShapeRectangular = 0, kShapeBinary = 1, kShapeBinaryOnly = 2, kShapeGrayscale = 3;
constexpr int kCodingB = 2;

struct Par {
    int width, height;
};
// aspect_ratio_info codes 1-5; 15 carries its own values; others leave 0:0.
constexpr std::array<Par, 6> kPixelAspects = {{{0, 0}, {1, 1}, {12, 11}, {10, 11}, {16, 11}, {40, 33}}};

// Reads one marker bit; a 0 marks the header as damaged.
void Marker(BitReader& bits, bool& ok) {
    if (!bits.Bit()) ok = false;
}

int I(uint32_t v) { return static_cast<int>(v); }

}  // namespace

int CSupMpg4::TimeBits(uint32_t resolution) {
    int bits = 0;
    for (uint32_t r = resolution; r; r >>= 1) ++bits;
    return bits ? bits : 1;
}

void CSupMpg4::SkipQuantMatrix(BitReader& bits) {
    // Up to 64 8-bit values; a 0 ends the matrix early.
    for (int i = 0; i < 64; ++i)
        if (bits.Bits(8) == 0) break;
}

bool CSupMpg4::ReadVol(ByteView item, VolInfo& vol) const {
    BitReader bits(item);
    bool ok = true;
    bits.Skip(32);  // the video object start code
    // Most candidates are stray start codes with no layer after them (MP3 and
    // video data hold thousands): nothing below can make them valid.
    const uint32_t layerCode = bits.Bits(32);
    if (layerCode < 0x120 || layerCode > 0x12F) return false;

    vol.randomAccessible = bits.Bit();
    vol.objectType = I(bits.Bits(8));
    if (bits.Bit()) {
        vol.verid = I(bits.Bits(4));
        vol.priority = I(bits.Bits(3));
    } else {
        vol.verid = vol.priority = 1;
    }
    vol.aspectRatioInfo = I(bits.Bits(4));
    if (vol.aspectRatioInfo == 15) {
        vol.parWidth = I(bits.Bits(8));
        vol.parHeight = I(bits.Bits(8));
    } else if (vol.aspectRatioInfo > 0 && vol.aspectRatioInfo < 6) {
        vol.parWidth = kPixelAspects[static_cast<size_t>(vol.aspectRatioInfo)].width;
        vol.parHeight = kPixelAspects[static_cast<size_t>(vol.aspectRatioInfo)].height;
    }
    if (bits.Bit()) {  // vol_control_parameters
        vol.chromaFormat = I(bits.Bits(2));
        vol.lowDelay = bits.Bit();
        vol.vbvParameters = bits.Bit();
        if (vol.vbvParameters) {
            bits.Skip(15);  // first_half_bit_rate
            Marker(bits, ok);
            bits.Skip(15);  // latter_half_bit_rate
            Marker(bits, ok);
            bits.Skip(15);  // first_half_vbv_buffer_size
            Marker(bits, ok);
            bits.Skip(3 + 11);  // latter_half_vbv_buffer_size, first_half_vbv_occupancy
            Marker(bits, ok);
            bits.Skip(15);  // latter_half_vbv_occupancy
            Marker(bits, ok);
        }
    }
    vol.shape = I(bits.Bits(2));
    if (vol.shape == kShapeGrayscale && vol.verid != 1) vol.shapeExtension = I(bits.Bits(4));
    Marker(bits, ok);
    vol.timeResolution = bits.Bits(16);
    Marker(bits, ok);
    vol.timeBits = TimeBits(vol.timeResolution);
    vol.fixedVopRate = bits.Bit();
    if (vol.fixedVopRate) vol.fixedVopTimeIncrement = bits.Bits(static_cast<unsigned>(vol.timeBits));

    if (vol.shape == kShapeBinaryOnly) {
        if (vol.verid != 1 && bits.Bit()) bits.Skip(4 + 4 * 5);  // scalability: ref layer, sampling factors
        vol.resyncMarkerDisable = bits.Bit();
        return ok;
    }
    if (vol.shape == kShapeRectangular) {
        Marker(bits, ok);
        vol.width = I(bits.Bits(13));
        Marker(bits, ok);
        vol.height = I(bits.Bits(13));
        Marker(bits, ok);
    }
    vol.interlaced = bits.Bit();
    vol.obmcDisable = bits.Bit();
    vol.spriteEnable = I(bits.Bits(vol.verid == 1 ? 1 : 2));
    if (vol.spriteEnable == 1 || vol.spriteEnable == 2) {
        if (vol.spriteEnable == 1) {
            for (int i = 0; i < 4; ++i) {  // sprite width, height, left and top
                bits.Skip(13);
                Marker(bits, ok);
            }
        }
        bits.Skip(6 + 2 + 1);  // warping points, accuracy, brightness change
        if (vol.spriteEnable == 1) bits.Skip(1);  // low_latency_sprite_enable
    }
    if (vol.verid != 1 && vol.shape != kShapeRectangular) bits.Skip(1);  // sadct_disable
    vol.notEightBit = bits.Bit();
    if (vol.notEightBit) {
        vol.quantPrecision = I(bits.Bits(4));
        vol.bitsPerPixel = I(bits.Bits(4));
    }
    if (vol.shape == kShapeGrayscale) bits.Skip(3);  // no_gray_quant_update, composition flags
    vol.quantType = bits.Bit();
    if (vol.quantType) {
        if (bits.Bit()) SkipQuantMatrix(bits);  // intra
        if (bits.Bit()) SkipQuantMatrix(bits);  // non-intra
        if (vol.shape == kShapeGrayscale) {
            // Auxiliary component matrices are not read: a set flag spoils the header.
            if (bits.Bit()) ok = false;
            if (bits.Bit()) ok = false;
        }
    }
    vol.quarterSample = vol.verid != 1 ? bits.Bit() : 0;
    vol.complexityEstimationDisable = bits.Bit();
    vol.resyncMarkerDisable = bits.Bit();
    vol.dataPartitioned = bits.Bit();
    if (vol.dataPartitioned) vol.reversibleVlc = bits.Bit();
    if (vol.verid != 1) {
        vol.newpredEnable = bits.Bit();
        if (vol.newpredEnable) bits.Skip(2 + 1);
        vol.reducedResolutionVop = bits.Bit();
    }
    vol.scalability = bits.Bit();
    if (vol.scalability) {
        const bool hierarchy = bits.Bit();
        bits.Skip(4 + 1 + 4 * 5 + 1);  // ref layer, direction, sampling factors, enhancement type
        if (vol.shape == kShapeBinary && !hierarchy) bits.Skip(2 + 4 * 5);
    }
    // Complexity estimation headers are not parsed: such layers are not read.
    return ok && vol.complexityEstimationDisable == 1;
}

uint32_t CSupMpg4::ShortestVopStep() {
    std::sort(vopTimes_.begin(), vopTimes_.end());
    uint64_t shortest = 0;
    for (size_t i = 1; i < vopTimes_.size(); ++i)
        if (const uint64_t step = vopTimes_[i] - vopTimes_[i - 1]; step > 0 && (shortest == 0 || step < shortest))
            shortest = step;
    return shortest <= UINT32_MAX ? static_cast<uint32_t>(shortest) : 0;
}

bool CSupMpg4::ReadVop(ByteView item, const VolInfo& vol, Mpeg4Summary& s) {
    if (vol.timeResolution == 0) return false;
    BitReader bits(item, 4);
    const int type = I(bits.Bits(2));
    int modulo = 0;
    while (bits.Bit() && !bits.Exhausted()) ++modulo;
    bool ok = true;
    Marker(bits, ok);
    const uint32_t increment = bits.Bits(static_cast<unsigned>(vol.timeBits));
    Marker(bits, ok);
    const bool coded = bits.Bit();
    if (!ok) return false;

    // A VOP without coded data (a repeated picture or a packed-bitstream
    // placeholder) is no picture of its coding type.
    int* counts[4] = {&s.countI, &s.countP, &s.countB, &s.countS};
    if (coded) ++*counts[type];
    int step = modulo >= previousModulo_ ? modulo - previousModulo_ : 0;
    if (type != kCodingB)
        referenceAdvancedSeconds_ = step != 0;
    else if (referenceAdvancedSeconds_)
        step = 0;
    accumulatedMs_ += ((double(increment) - double(previousIncrement_)) / vol.timeResolution + step) * 1000.0;
    if (!coded) {
        const bool placeholder =
            type != kCodingB && modulo == 0 && (increment == 0 || increment == lastReferenceIncrement_);
        ++(placeholder ? s.zeroTimeNvops : s.nonZeroTimeNvops);
    }
    if (type != kCodingB) {
        lastTimeBase_ = timeBase_;
        timeBase_ += uint64_t(modulo);
    }
    const uint64_t seconds = (type != kCodingB ? timeBase_ : lastTimeBase_ + uint64_t(modulo));
    if (vopTimes_.size() < kTimedVops) vopTimes_.push_back(seconds * vol.timeResolution + increment);
    if (type != kCodingB) lastReferenceIncrement_ = increment;
    previousModulo_ = modulo;
    previousIncrement_ = increment;
    s.bRun = type == kCodingB ? s.bRun + 1 : 0;
    if (s.bRun > s.maxBRun) s.maxBRun = s.bRun;
    return true;
}

bool CSupMpg4::Analyse(ContainerInfo& container, VideoInfo& video, ByteView data, StartCodeIndex* index) {
    Mpeg4Summary& s = video.mpeg4Summary;
    s = Mpeg4Summary{};
    VolInfo vol;
    vol.timeResolution = video.timeScale;
    vol.timeBits = TimeBits(vol.timeResolution);
    bool haveVol = false;
    goodVops_ = badVops_ = 0;
    vopTimes_.clear();
    timeBase_ = lastTimeBase_ = 0;

    // Each item runs to the next code, which is where the next item starts:
    // every byte is searched once.
    for (uint64_t p = FindStartCode(data, 0, index), next = 0; p != ByteView::npos; p = next) {
        const uint8_t code = data.U8(p + 3);
        next = FindStartCode(data, p + 1, index);
        const ByteView item = data.Sub(p, (next == ByteView::npos ? data.size() : next) - p);
        if (code == kVop) {
            ++(ReadVop(item, vol, s) ? goodVops_ : badVops_);
        } else if (code == kUserData) {
            AppendUserData(container, item.From(4));
        } else if (code <= 0x1F && !haveVol) {
            VolInfo candidate;
            if (ReadVol(data.From(p), candidate)) {
                vol = candidate;
                haveVol = true;
            }
        }
        // Visual object headers (B5) carry nothing kept; GOV (B3) and others are ignored.
    }

    if (goodVops_ <= 16 * badVops_ + 8) {
        s = Mpeg4Summary{};
        return false;
    }
    s.accepted = 1;
    s.quarterSample = vol.quarterSample;
    s.gmc = vol.spriteEnable == 2;
    s.interlacedFlag = vol.interlaced;
    s.timeIncrementBits = vol.timeBits;
    s.aspectRatioInfo = vol.aspectRatioInfo;
    s.parWidth = vol.parWidth;
    s.parHeight = vol.parHeight;
    s.hasP = s.countP > 0;
    s.hasB = s.countB > 0;

    VideoHeader& h = video.headers[kHeaderMpegVideo];
    h.present = 1;
    h.version = kVersionMpeg4;
    h.width = vol.width;
    h.height = vol.height;
    if (s.parHeight > 0) {
        h.pixelAspect = double(unsigned(s.parWidth)) / double(unsigned(s.parHeight));
        video.pixelAspect = h.pixelAspect;  // the container's own description is overruled too
    }
    if (vol.fixedVopRate && vol.timeResolution > 0)
        h.frameDurationUs = static_cast<int32_t>(uint64_t(vol.fixedVopTimeIncrement) * 1000000 / vol.timeResolution);
    // A fixed rate is the stated one; else the VOPs' own times tell it.
    const uint32_t period = vol.fixedVopRate ? vol.fixedVopTimeIncrement : ShortestVopStep();
    if (period > 0 && vol.timeResolution > 0) h.timingFrameRate = double(vol.timeResolution) / period;

    video.mpeg4Vol = true;
    video.mpeg4BVop = s.hasB;
    video.mpeg4NVop = s.nonZeroTimeNvops > 0;
    video.mpeg4Qpel = s.quarterSample;
    video.mpeg4Gmc = s.gmc;
    video.mpeg4VopCounts = {uint32_t(s.countI), uint32_t(s.countP), uint32_t(s.countB), uint32_t(s.countS)};
    return true;
}

}  // namespace torvo
