#include "formats/mpeg/PictureRecorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/PatternScan.h"
#include "formats/mpeg/BitReader.h"
#include "formats/mpeg/StartCodes.h"
#include "formats/mpeg/SupMpg.h"

namespace torvo {
namespace {

constexpr size_t kCarry = 11;
// A payload shorter than this is joined with the kept bytes in a small buffer.
constexpr size_t kJoinLimit = 64;
constexpr uint8_t kPictureCode = 0x00, kGopCode = 0xB8, kExtensionCode = 0xB5;
constexpr uint8_t kVopCode = 0xB6, kGovCode = 0xB3;
constexpr uint32_t kSystemHeaderCode = 0x1BB;
constexpr int kSettledChanges = 26;
constexpr BytePattern kStartCodePrefix = {{0, 0xFF, 0x00}, {1, 0xFF, 0x00}, {2, 0xFF, 0x01}};

}  // namespace

// --- CContinuity ---

bool CContinuity::Check(int64_t value, int64_t index) {
    if (baseIndex_ < 0) {
        baseValue_ = lastValue_ = value;
        baseIndex_ = lastIndex_ = index;
        lastRate_ = 0;
        valueChanges_ = indexChanges_ = 0;
        return true;
    }
    if (value < lastValue_ || index < lastIndex_) {
        baseIndex_ = -1;
        return false;
    }
    if (value != lastValue_) ++valueChanges_;
    if (index != lastIndex_) ++indexChanges_;
    bool ok = true;
    if (index > baseIndex_) {
        const double rate = double(value - baseValue_) / double(index - baseIndex_);
        if (valueChanges_ >= kSettledChanges && indexChanges_ >= kSettledChanges && lastRate_ > 0 &&
            std::fabs(rate - lastRate_) / lastRate_ > 0.1) {
            ok = false;
            baseIndex_ = -1;
        }
        lastRate_ = rate;
    }
    lastValue_ = value;
    lastIndex_ = index;
    return ok;
}

// --- CPictureRecorder ---

// The list grows with the pictures, up to its capacity: most files have few,
// and a recorder that starts at the full size fills a megabyte it never uses.
CPictureRecorder::CPictureRecorder() : frames_(kInitialFrameList, 0) {}

uint32_t& CPictureRecorder::Frame(int32_t index) {
    const auto at = static_cast<size_t>(index);
    // Room for the picture after it too, which MarkNext flags ahead.
    if (at + 1 >= frames_.size())
        frames_.resize(std::min(kFrameListCapacity, std::max(at + 2, frames_.size() * 2)), 0u);
    return frames_[at];
}

void CPictureRecorder::Configure(Mode mode, int timeIncrementBits, bool readExtensions) {
    mode_ = mode;
    timeBits_ = timeIncrementBits >= 1 && timeIncrementBits <= 16 ? timeIncrementBits : 0;
    readExtensions_ = readExtensions;
}

void CPictureRecorder::Reset() {
    std::fill(frames_.begin(), frames_.end(), 0u);
    last_ = lastNonB_ = -1;
    streams_ = {};
    carries_ = {};
    lastPictureStart_ = {};
    pictureOpen_ = {};
    references_ = {};
    largestReference_ = -1;
    gopFirstPicture_ = 0;
    lastIncrement_ = 0;
    haveIncrement_ = gopSeen_ = false;
    timeCodes_.Reset();
    clock_.Reset();
}

void CPictureRecorder::RecordPictures(ByteView payload, int streamId) {
    if (streamId < 0xE0 || streamId > 0xEF) return;
    const size_t slot = static_cast<size_t>(streamId & 0xF);
    VideoStreamCounters& s = streams_[slot];
    Carry& carry = carries_[slot];
    const bool main = streamId == 0xE0;
    const size_t n = payload.size();
    const uint64_t base = s.payloadBytes - carry.size;  // stream offset of the kept bytes
    std::array<uint8_t, kCarry + kJoinLimit> joined{};
    std::memcpy(joined.data(), carry.bytes.data(), carry.size);
    if (n < kJoinLimit) {
        payload.Copy(0, joined.data() + carry.size, n);
        const size_t total = carry.size + n;
        const ByteView all(joined.data(), total);
        if (total > kCarry) ScanItems(all, 0, total - kCarry, base, s, main);
        const size_t keep = std::min(total, kCarry);
        std::memmove(carry.bytes.data(), joined.data() + total - keep, keep);
        carry.size = keep;
    } else {
        // Start codes that begin in the kept bytes are read from a joined
        // head; the rest straight from the payload.
        payload.Copy(0, joined.data() + carry.size, kJoinLimit);
        if (carry.size > 0) ScanItems(ByteView(joined.data(), carry.size + kJoinLimit), 0, carry.size, base, s, main);
        ScanItems(payload, 0, n - kCarry, s.payloadBytes, s, main);
        payload.Copy(n - kCarry, carry.bytes.data(), kCarry);
        carry.size = kCarry;
    }
    s.payloadBytes += n;
}

void CPictureRecorder::Flush() {
    for (size_t slot = 0; slot < carries_.size(); ++slot) {
        Carry& carry = carries_[slot];
        VideoStreamCounters& s = streams_[slot];
        const bool main = slot == 0;
        if (carry.size > 0) {
            std::array<uint8_t, kCarry + 16> tail;
            tail.fill(0xFF);
            std::memcpy(tail.data(), carry.bytes.data(), carry.size);
            ScanItems(ByteView(tail.data(), tail.size()), 0, carry.size, s.payloadBytes - carry.size, s, main);
            carry.size = 0;
        }
        if (pictureOpen_[slot]) {
            s.largestPicture = std::max(s.largestPicture, s.payloadBytes - lastPictureStart_[slot]);
            pictureOpen_[slot] = false;
        }
    }
    CloseGop(streams_[0], true);
}

void CPictureRecorder::ScanItems(ByteView view, uint64_t from, uint64_t to, uint64_t base, VideoStreamCounters& s,
                                 bool main) {
    // One pass over the payload visits every start code (a slice starts
    // every few hundred bytes, so a search started afresh for each costs more
    // than the search itself). The code byte must lie inside the view.
    if (view.size() < 4) return;
    auto item = [&](uint64_t q) -> uint64_t {
        Item(view.From(q), base + q, s, main);
        return q + 3;
    };
    ForEachPattern(view, kStartCodePrefix, from, std::min<uint64_t>(to, view.size() - 3), item);
}

void CPictureRecorder::Item(ByteView item, uint64_t offset, VideoStreamCounters& s, bool main) {
    const uint8_t code = item.U8(3);
    if (mode_ == Mode::kMpeg4) {
        if (code == kVopCode) Vop(item, offset, s, main);
        else if (code == kGovCode) Gov(item, main);
        return;
    }
    if (code == kPictureCode) Picture(item, offset, s, main);
    else if (code == kGopCode) GopHeader(item, s, main);
}

void CPictureRecorder::MarkLastPicture(uint32_t flags) { MarkLast(flags); }

int32_t CPictureRecorder::AddPicture(uint32_t type, uint64_t offset, VideoStreamCounters& s, bool main) {
    const size_t slot = static_cast<size_t>(&s - streams_.data());
    if (pictureOpen_[slot]) s.largestPicture = std::max(s.largestPicture, offset - lastPictureStart_[slot]);
    lastPictureStart_[slot] = offset;
    pictureOpen_[slot] = true;
    ++s.byType[type & 7];
    ++s.pictures;
    if (type == kPictureB) {
        s.longestBRun = std::max(s.longestBRun, ++s.bRun);
    } else {
        s.bRun = 0;
    }
    s.sinceI = type == kPictureI ? 1 : s.sinceI + 1;
    s.longestSinceI = std::max(s.longestSinceI, s.sinceI);
    if (!main) return -1;
    last_ = std::min(last_ + 1, kLastFrameIndex);
    uint32_t& word = Frame(last_);
    word = (word & ~uint32_t(kFrameTypeMask)) | (type & kFrameTypeMask);
    if (type != kPictureB) lastNonB_ = last_;
    return last_;
}

void CPictureRecorder::GopHeader(ByteView item, VideoStreamCounters& s, bool main) {
    if (!main) return;
    const uint8_t b4 = item.U8(4), b5 = item.U8(5), b6 = item.U8(6), b7 = item.U8(7);
    const int hours = (b4 >> 2) & 0x1F, minutes = (b4 & 3) << 4 | b5 >> 4, seconds = (b5 & 7) << 3 | b6 >> 5;
    if (hours >= 24 || minutes >= 60 || seconds >= 60 || !((b5 >> 3) & 1)) return;  // not a time code
    gopSeen_ = true;
    MarkNext(kFrameGopStart | ((b7 & 0x40) ? uint32_t(kFrameClosedGop) : 0u));
    if (b7 & 0x20) MarkLast(kFrameBrokenLink);
    if (!timeCodes_.Check(hours * 3600 + minutes * 60 + seconds, s.pictures)) MarkLast(kFrameTimeCodeBreak);
    CloseGop(s, main);
    gopFirstPicture_ = std::min(last_ + 1, kLastFrameIndex);
}

void CPictureRecorder::CloseGop(VideoStreamCounters& s, bool main) {
    if (!main || largestReference_ < 0) return;
    uint32_t missing = 0, gaps = 0;
    for (int v = 0; v <= largestReference_; ++v) {
        if (references_[static_cast<size_t>(v)]) continue;
        ++missing;
        if (v == 0 || references_[static_cast<size_t>(v - 1)]) {
            ++gaps;
            if (last_ >= 0) frames_[static_cast<size_t>(std::min(gopFirstPicture_ + v, last_))] |= kFrameReferenceGap;
        }
    }
    s.referencesMissing += missing;
    s.gaps += gaps;
    if (gaps) ++s.gopsWithGaps;
    s.gopLengthSum += static_cast<uint32_t>(largestReference_ + 1);
    references_ = {};
    largestReference_ = -1;
}

void CPictureRecorder::Picture(ByteView item, uint64_t offset, VideoStreamCounters& s, bool main) {
    const uint8_t b4 = item.U8(4), b5 = item.U8(5);
    const uint32_t type = (b5 >> 3) & 7;
    const int32_t index = AddPicture(type, offset, s, main);
    if (index < 0) return;
    const int reference = (b4 << 2 | b5 >> 6) & 1023;
    references_[static_cast<size_t>(reference)] = 1;
    largestReference_ = std::max(largestReference_, reference);
    if (!readExtensions_) return;
    const uint64_t ext = FindStartCode(item.Sub(0, std::min<uint64_t>(item.size(), 12 + 4)), 4);
    if (ext == ByteView::npos || item.U8(ext + 3) != kExtensionCode || (item.U8(ext + 4) >> 4) != 8) return;
    const uint8_t b6 = item.U8(ext + 6), b7 = item.U8(ext + 7);
    uint32_t& word = frames_[static_cast<size_t>(index)];
    if (b7 & 0x02) word |= kFrameRepeatField;
    if (b7 & 0x80) word |= kFrameTopFirst;
    word |= uint32_t(b6 & 3) << kFrameStructureShift;
}

void CPictureRecorder::Gov(ByteView item, bool main) {
    if (!main || !((item.U8(5) >> 4) & 1)) return;
    gopSeen_ = true;
    MarkNext(kFrameGopStart | (((item.U8(6) >> 5) & 1) ? uint32_t(kFrameClosedGop) : 0u));
}

void CPictureRecorder::Vop(ByteView item, uint64_t offset, VideoStreamCounters& s, bool main) {
    const uint32_t type = ((item.U8(4) >> 6) + 1) & 3;
    bool coded = true, sameTime = false;
    if (timeBits_ > 0) {
        BitReader bits(item, 4);
        bits.Skip(2);
        for (int guard = 0; bits.Bit() && guard < 64; ++guard) {
        }
        bits.Skip(1);  // marker
        const uint32_t increment = bits.Bits(static_cast<unsigned>(timeBits_));
        bits.Skip(1);  // marker
        coded = bits.Bit();
        sameTime = haveIncrement_ && increment == lastIncrement_;
        lastIncrement_ = increment;
        haveIncrement_ = true;
    }
    if (!coded && sameTime) {
        // A packed-bitstream placeholder: the frame it stands for was sent
        // with the reference picture before it.
        if (main) {
            if (lastNonB_ >= 0) frames_[static_cast<size_t>(lastNonB_)] |= kFramePackedBefore;
            MarkNext(kFramePlaceholder);
        }
        return;
    }
    const int32_t index = AddPicture(type, offset, s, main);
    if (!coded) {
        // A VOP without coded data repeats the picture before it: it is
        // counted among the other pictures, not as one of its coding type.
        --s.byType[type & 7];
        ++s.byType[kPictureNotCoded];
    }
    if (index >= 0 && !coded) frames_[static_cast<size_t>(index)] |= kFrameNotCoded;
}

bool CPictureRecorder::RecordPack(ByteView pack) {
    if (!CSupMpg::PackMarkersValid(pack)) return false;
    // A system header right behind the pack must pass its checks too: a pack
    // found inside damaged data would feed a meaningless clock value.
    const uint64_t length = CSupMpg::PackHeaderLength(pack);
    if (pack.Has(length, kSystemHeaderChecked) && pack.Be32(length) == kSystemHeaderCode &&
        !CSupMpg::SystemHeaderMarkersValid(pack.From(length)))
        return false;
    if (!clock_.Check(CSupMpg::ReadScr(pack), streams_[0].pictures)) MarkLast(kFrameClockBreak);
    return true;
}

// --- GOP pattern and order mapping ---

namespace {

uint32_t TypeAt(const std::vector<uint32_t>& frames, size_t count, size_t i) {
    return i < count && i < frames.size() ? frames[i] & kFrameTypeMask : 0xFF;
}
bool IsB(const std::vector<uint32_t>& frames, size_t count, size_t i) {
    return TypeAt(frames, count, i) == kPictureB;
}

}  // namespace

GopPattern AnalyseGopPattern(const std::vector<uint32_t>& frames, size_t count, bool gopHeadersSeen) {
    GopPattern result;
    count = std::min(count, frames.size());
    std::vector<size_t> starts;
    for (size_t i = 0; i < count; ++i) {
        const bool start = gopHeadersSeen ? (frames[i] & kFrameGopStart) != 0 : (frames[i] & kFrameTypeMask) == kPictureI;
        if (start) starts.push_back(i);
    }
    if (starts.size() < 2) return result;
    std::array<uint32_t, 32> histogram{};
    for (size_t k = 1; k < starts.size(); ++k)
        if (const size_t d = starts[k] - starts[k - 1]; d < 32) ++histogram[d];
    int n = 0;
    for (int d = 2; d < 32; ++d)
        if (histogram[static_cast<size_t>(d)] > (n ? histogram[static_cast<size_t>(n)] : 0)) n = d;
    if (n == 0) return result;
    result.gopLength = n;

    constexpr size_t kMaxPatterns = 64;
    std::vector<std::vector<uint8_t>> patterns;
    std::vector<uint32_t> counts;
    for (size_t k = 1; k < starts.size(); ++k) {
        if (starts[k] - starts[k - 1] != size_t(n)) continue;
        std::vector<uint8_t> types(static_cast<size_t>(n));
        for (size_t j = 0; j < types.size(); ++j) types[j] = static_cast<uint8_t>(frames[starts[k - 1] + j] & kFrameTypeMask);
        const auto hit = std::find(patterns.begin(), patterns.end(), types);
        if (hit != patterns.end()) ++counts[static_cast<size_t>(hit - patterns.begin())];
        else if (patterns.size() < kMaxPatterns) {
            patterns.push_back(std::move(types));
            counts.push_back(1);
        }
    }
    size_t best = 0;
    for (size_t i = 1; i < counts.size(); ++i)
        if (counts[i] > counts[best]) best = i;
    if (counts.empty()) return result;
    result.pattern = patterns[best];
    const size_t gops = starts.size() - 1;
    result.regularity = static_cast<int>((counts[best] * 100 + gops / 2) / gops);

    // M: the B pictures sent after each reference picture are the ones shown
    // before it, so every reference is followed by M - 1 of them. A closed GOP
    // sent as I P BB P BB ... shows its I first: no B pictures follow the I.
    const std::vector<uint8_t>& p = result.pattern;
    auto runAfter = [&p](size_t j) {
        size_t run = 0;
        while (j + 1 + run < p.size() && p[j + 1 + run] == kPictureB) ++run;
        return run;
    };
    const size_t firstRun = runAfter(0);
    const bool closedLayout = firstRun == 0 && p.size() > 1 && p[1] != kPictureB;
    const size_t m = (closedLayout ? runAfter(1) : firstRun) + 1;
    bool regular = m >= 2 || firstRun == 0;
    if (closedLayout) {
        for (size_t j = 1; j < p.size() && regular; j += m) regular = p[j] != kPictureB && (j + m > p.size() || runAfter(j) == m - 1);
        regular = regular && (p.size() - 1) % m == 0;
    } else {
        for (size_t j = 0; j < p.size() && regular; ++j) regular = (j % m == 0) == (p[j] != kPictureB);
    }
    result.bSpacing = regular ? static_cast<int>(m) : 0;
    return result;
}

size_t DisplayToCoded(const std::vector<uint32_t>& frames, size_t count, size_t n) {
    if (IsB(frames, count, n + 1)) return n + 1;
    if (!IsB(frames, count, n)) return n;
    size_t i = n;
    while (i > 0 && IsB(frames, count, i)) --i;
    return IsB(frames, count, i) ? n : i;
}

size_t CodedToDisplay(const std::vector<uint32_t>& frames, size_t count, size_t n) {
    if (IsB(frames, count, n)) return n > 0 ? n - 1 : n;
    if (!IsB(frames, count, n + 1)) return n;
    size_t i = n + 1;
    while (IsB(frames, count, i + 1)) ++i;
    return i;
}

}  // namespace torvo
