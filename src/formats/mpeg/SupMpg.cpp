#include "formats/mpeg/SupMpg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "formats/mpeg/PesTimeSpan.h"
#include "formats/mpeg/StreamTail.h"
#include "formats/mpeg/SupDV.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupHEVC.h"
#include "formats/mpeg/SupMpg4.h"

namespace torvo {
namespace {

constexpr uint8_t kPack = 0xBA, kSystemHeader = 0xBB, kProgramEndCode = 0xB9, kPrivateStream1 = 0xBD;
constexpr uint8_t kSequenceHeader = 0xB3, kVisualObjectSequence = 0xB0, kGopHeader = 0xB8, kUserData = 0xB2;
constexpr uint8_t kVideoStream = 0xE0;
constexpr uint64_t kDamageGap = 4096;

// Frame periods in microseconds by frame_rate_code.
constexpr std::array<int, 16> kFramePeriods = {0, 41708, 41667, 40000, 33367, 33333, 20000, 16683, 16667,
                                               0, 0,     0,     0,     0,     0,     0};
// MPEG-1 pel_aspect_ratio: width/height of one pixel (the inverse of the
// standard's height/width ratio, except codes 8 and 12).
constexpr std::array<double, 16> kPixelAspects = {
    0.0,          1.0,          1 / 0.6735, 1 / 0.7031, 1 / 0.7615, 1 / 0.8055, 1 / 0.8437, 1 / 0.8935,
    12.0 / 11.0,  1 / 0.9815,   1 / 1.0255, 1 / 1.0695, 10.0 / 11.0, 1 / 1.1575, 1 / 1.2015, 0.0};

bool IsAudioStreamId(int id) { return id >= 0xC0 && id <= 0xDF; }

// Lends an index to the parsers for one call and gives the outer one back after.
class IndexLoan {
public:
    IndexLoan(StartCodeIndex*& slot, StartCodeIndex* index) : slot_(slot), outer_(slot) { slot_ = index; }
    ~IndexLoan() { slot_ = outer_; }
    IndexLoan(const IndexLoan&) = delete;
    IndexLoan& operator=(const IndexLoan&) = delete;

private:
    StartCodeIndex*& slot_;
    StartCodeIndex* outer_;
};

// The 33-bit clock reference of a pack header, without its extension.
int64_t Scr(ByteView pack, bool mpeg2) {
    auto b = [&](uint64_t i) { return int64_t(pack.U8(i)); };
    if (mpeg2)
        return ((b(4) >> 3) & 7) << 30 | (b(4) & 3) << 28 | b(5) << 20 | ((b(6) >> 3) & 0x1F) << 15 |
               (b(6) & 3) << 13 | b(7) << 5 | b(8) >> 3;
    return ((b(4) >> 1) & 7) << 30 | b(5) << 22 | (b(6) >> 1) << 15 | b(7) << 7 | b(8) >> 1;
}

bool IsMpeg2Pack(ByteView pack) { return (pack.U8(4) >> 6) == 1; }
bool IsMpeg1Pack(ByteView pack) { return (pack.U8(4) >> 4) == 2; }

}  // namespace

CSupMpg::CSupMpg(AnalysisRecords& records)
    : records_(records), container_(records.container), video_(records.video) {}

// --- PES and pack field readers ---

uint64_t CSupMpg::PackHeaderLength(ByteView pack) {
    return IsMpeg2Pack(pack) ? 14 + uint64_t(pack.U8(13) & 7) : 12;
}

bool CSupMpg::PackMarkersValid(ByteView pack) {
    if (IsMpeg2Pack(pack))
        return (pack.U8(6) & 4) && (pack.U8(8) & 4) && (pack.U8(9) & 1) && (pack.U8(12) & 3) == 3;
    if (IsMpeg1Pack(pack))
        return (pack.U8(4) & 1) && (pack.U8(6) & 1) && (pack.U8(8) & 1) && (pack.U8(11) & 1) && (pack.U8(9) & 0x80);
    return false;
}

int64_t CSupMpg::ReadScr(ByteView pack) { return Scr(pack, IsMpeg2Pack(pack)); }

uint32_t CSupMpg::ReadMuxRate(ByteView pack) {
    if (IsMpeg2Pack(pack)) return uint32_t(pack.U8(10)) << 14 | uint32_t(pack.U8(11)) << 6 | pack.U8(12) >> 2;
    return uint32_t(pack.U8(9) & 0x7F) << 15 | uint32_t(pack.U8(10)) << 7 | pack.U8(11) >> 1;
}

CSupMpg::Payload CSupMpg::PesPayload(ByteView packet) { return ReadPesPayload(packet, errors_); }

CSupMpg::Payload CSupMpg::ReadPesPayload(ByteView packet, ParseErrorFlag& errors) {
    const int64_t packetLength = packet.Be16(4);
    uint64_t i = 6;
    while (packet.U8(i) == 0xFF && i <= 98) ++i;  // stuffing
    bool prefixed = i != 6;
    if (packet.U8(i) >= 0x40 && packet.U8(i) <= 0x7F) {  // STD buffer fields
        i += 2;
        prefixed = true;
    }
    const uint8_t f = packet.U8(i);
    Payload payload;
    if (f >= 0x80 && f <= 0xBF) {  // MPEG-2 PES header
        errors.Check("MPEG-1 Data Packet[1]", !prefixed);
        const int64_t headerLength = packet.U8(8);
        payload.offset = 9 + uint64_t(headerLength);
        payload.length = packetLength - headerLength - 3;
        return payload;
    }
    errors.Check("MPEG-1 Data Packet[2]", f < 0x40 && (f & 0xF0) != 0x10 && (f & 1));
    if (f & 0x20) {  // PTS
        errors.Check("MPEG-1 Data Packet[3]", (packet.U8(i + 2) & 1) && (packet.U8(i + 4) & 1));
        i += 5;
    } else {
        i += 1;  // the 0F byte
    }
    if (f & 0x10) {  // DTS
        errors.Check("MPEG-1 Data Packet[4]", (packet.U8(i) & 1) && (packet.U8(i + 2) & 1) && (packet.U8(i + 4) & 1));
        i += 5;
    }
    payload.offset = i;
    payload.length = packetLength + 6 - int64_t(i);
    errors.Check("MPEG-1 Data Packet[5]", payload.length >= 0);
    return payload;
}

// --- the packet scan ---

int CSupMpg::ScanSystemStream(ByteView data) {
    data_ = data;
    int64_t p = -1;
    int result = kSearchOn, lastError = 0;
    int64_t lastGap = 0;
    // In an elementary video stream pictures and slices (00-AF) only say
    // "search on": after one, a run of them is passed by in one lookup. Each
    // would only clear the error flag, which an item that searches on has
    // left clear already; after a damaged item the first of them must still
    // be parsed, for the gap and to clear the flag.
    static constexpr StartCodeSet kNotPictureData = StartCodeSet::Range(0x00, 0xAF).Complement();
    for (;;) {
        if (result == kDamaged || result == kSearchOn) {
            const uint64_t q = result == kSearchOn && esMode_
                                   ? FindStartCodeIn(data, uint64_t(p + 1), kNotPictureData, index_)
                                   : FindStartCode(data, uint64_t(p + 1), index_);
            if (q == ByteView::npos) return kNoMoreData;
            if (result != kSearchOn) {
                const int64_t gap = int64_t(q) - p;
                // Two damaged items in a row, each followed by a long stretch of
                // garbage: nothing collected so far can be trusted.
                if (gap > int64_t(kDamageGap) && lastGap > int64_t(kDamageGap) && lastError == kDamaged) {
                    ResetSlots();
                    lastError = 0;
                    lastGap = 0;
                } else {
                    lastError = result;
                    lastGap = gap;
                }
            }
            p = int64_t(q);
        } else if (result == kStop) {
            return kStop;
        } else if (result > 0) {
            p += result;
        } else {
            return result;
        }
        result = ParseItem(uint64_t(p));
    }
}

int CSupMpg::ParseItem(uint64_t p) {
    errors_.Clear();
    if (p >= data_.size()) return kNoMoreData;
    if (!IsAnyStartCode(data_, p)) return kDamaged;
    const uint8_t code = data_.U8(p + 3);
    switch (code) {
        case kSequenceHeader:
        case kVisualObjectSequence:
        case kGopHeader: {
            if (code != kGopHeader) esMode_ = true;
            const int covered = ParseVideoHeader(data_.From(p));
            return errors_.IsSet() ? kDamaged : covered;
        }
        case kUserData:
            return ParseVideoHeader(data_.From(p));
        case kPack:
            return PackHeader(p);
        case kSystemHeader:
            return SystemHeader(p);
        case kVideoStream:
            return VideoPacket(p);
        case 0xB1:
        case 0xB6:
        case 0xBC:
        case 0xBE:
        case 0xBF:
            return SkipByLength(p);
        case kProgramEndCode:
            return kProgramEnd;
        default:
            break;
    }
    if (code == kPrivateStream1 || IsAudioStreamId(code)) return AudioPacket(p);
    if (esMode_ && code <= 0xAF) return kSearchOn;  // pictures and slices of elementary video
    if (code == 0x00) return kStop;
    if (code == 0x01) return kSearchOn;
    return kDamaged;  // other video streams (E1-EF) included
}

int CSupMpg::PackHeader(uint64_t p) {
    const ByteView pack = data_.From(p);
    const bool mpeg2 = IsMpeg2Pack(pack);
    const uint64_t length = PackHeaderLength(pack);
    errors_.Check("-", PackMarkersValid(pack));
    const int covered = errors_.IsSet() ? kDamaged : static_cast<int>(length);
    if (p + length >= data_.size() || errors_.IsSet()) return covered;

    const int64_t scr = Scr(pack, mpeg2);
    if (firstScr_ < 0) {
        firstScr_ = scr;
    } else if (scr >= firstScr_) {
        // The clock elapsed over the bytes seen, scaled to the whole file.
        const double bytesSeen = double(p + length);
        container_.scrDurationMs =
            static_cast<int32_t>(std::min(double(scr - firstScr_) * double(fileSize_) / (bytesSeen * 90.0), 2.0e9));
    } else {  // the clock went back: measure from here
        firstScr_ = scr;
        container_.scrDurationMs = 0;
    }
    if (container_.muxRateKbps == 0) {
        SetLayout(mpeg2 ? StreamLayout::kMpeg2Program : StreamLayout::kMpeg1System);
        const uint32_t rate = ReadMuxRate(pack);  // units of 50 bytes/s
        container_.muxRateKbps = rate < 0x3F8000 ? static_cast<int32_t>((4 * rate + 5) / 10) : 0;
    }
    return covered;
}

int CSupMpg::SystemHeader(uint64_t p) {
    const ByteView header = data_.From(p);
    const uint64_t length = SystemHeaderLength(header);
    errors_.Check("-", SystemHeaderMarkersValid(header));
    if (errors_.IsSet()) return kDamaged;
    if (p + length <= data_.size()) container_.variableRate = !(header.U8(9) & 2);
    return static_cast<int>(length);
}

int CSupMpg::VideoPacket(uint64_t p) {
    container_.videoCount = 1;
    const ByteView packet = data_.From(p);
    const Payload payload = PesPayload(packet);
    if (!errors_.IsSet() && payload.length > 0)
        video_.data.Append(packet.Sub(payload.offset, std::min<uint64_t>(uint64_t(payload.length),
                                                                        packet.From(payload.offset).size())));
    return SkipByLength(p);
}

int CSupMpg::AudioPacket(uint64_t p) {
    const ByteView packet = data_.From(p);
    const Payload payload = PesPayload(packet);
    if (errors_.IsSet() || payload.length <= 0) return kDamaged;
    StreamInfo* slot = GetSlot(data_.U8(p + 3), packet.U8(payload.offset));
    if (!slot) return kDamaged;
    // Private-stream-1 audio substreams start with their own small header.
    const int64_t header = slot->substreamKind == kAc3 || slot->substreamKind == kDts ? 4
                           : slot->substreamKind == kLinearPcm                       ? 7
                                                                                     : 0;
    const int64_t remaining = payload.length - header;
    if (remaining <= 0) return kDamaged;
    if (slot->substreamKind == kLinearPcm && slot->sampleRate == 0) {
        // The DVD-Video LPCM header's third byte after the frame count and
        // pointer: quantisation (16, 20, 24 bits), rate (48 or 96 kHz), channels - 1.
        const uint8_t format = packet.U8(payload.offset + 5);
        const int32_t bits = 16 + 4 * (format >> 6);
        const int32_t rate = (format >> 4 & 3) == 0 ? 48000 : (format >> 4 & 3) == 1 ? 96000 : 0;
        if (bits <= 24 && rate > 0) {
            slot->sampleRate = rate;
            slot->bitsPerSample = bits;
            slot->channels = (format & 7) + 1;
            slot->bitrateKbps = rate / 1000 * bits * slot->channels;
        }
    }
    const uint64_t from = payload.offset + uint64_t(header);
    slot->data.Append(packet.Sub(from, std::min<uint64_t>(uint64_t(remaining), packet.From(from).size())));
    return SkipByLength(p);
}

// --- video headers ---

int CSupMpg::ParseVideoHeader(ByteView item, int* outcome) {
    int covered = 0;
    bool handled = true;
    if (!IsAnyStartCode(item, 0)) {
        handled = false;
    } else if (item.U8(3) == kSequenceHeader) {
        covered = SequenceHeader(item);
    } else if (item.U8(3) == kGopHeader) {
        covered = GopHeader(item);
    } else if (item.U8(3) == kUserData) {
        // The block runs to the next start code, or to 4 bytes before the end.
        uint64_t end = FindStartCode(item, 4, index_);
        if (end == ByteView::npos) end = item.size() >= 4 ? item.size() - 4 : 0;
        if (end > 4) AppendUserData(container_, item.Sub(4, end - 4));
        else AppendUserData(container_, ByteView());
        covered = static_cast<int>(std::min<uint64_t>(end, 0x7FFFFFFF));
    } else {
        handled = false;
    }
    if (outcome) *outcome = !handled ? 0 : errors_.IsSet() ? -1 : 1;
    return covered;
}

int CSupMpg::SequenceHeader(ByteView item) {
    int length = 12;
    bool nonIntra = item.U8(11) & 1;
    if (item.U8(11) & 2) {  // load_intra_quantiser_matrix
        length += 64;
        nonIntra = item.U8(75) & 1;
    }
    if (nonIntra) length += 64;
    const int aspect = item.U8(7) >> 4, rateCode = item.U8(7) & 0x0F;
    const bool valid = aspect != 0 && rateCode != 0 && (item.U8(10) & 0x20);
    errors_.Check("Video Sequence Header", valid);
    VideoHeader& h = video_.headers[kHeaderMpegVideo];
    // A header that fails its own check stores nothing: MPEG-4 group-of-VOP
    // codes share this start code and must not overwrite the picture size.
    if (!valid || h.frameDurationUs != 0) return length;
    // A sequence header was seen: the matrix-coefficient lamps apply.
    h.present = 1;

    h.width = item.U8(4) << 4 | item.U8(5) >> 4;
    h.height = (item.U8(5) & 0x0F) << 8 | item.U8(6);
    h.frameDurationUs = kFramePeriods[static_cast<size_t>(rateCode)];
    const uint32_t rate = uint32_t(item.U8(8)) << 10 | uint32_t(item.U8(9)) << 2 | item.U8(10) >> 6;
    h.bitrateKbps = rate < 0x3FC00 ? static_cast<int32_t>((4 * rate + 5) / 10) : -1;  // units of 400 bit/s
    if (!IsStartCode(item, uint64_t(length), 0xB5)) {
        h.version = kVersionMpeg1;
        h.pixelAspect = kPixelAspects[static_cast<size_t>(aspect)];
        return length;
    }
    h.version = kVersionMpeg2;
    switch (aspect) {
        case 1: h.displayAspect = 0.0; break;
        case 2: h.displayAspect = 4.0 / 3.0; break;
        case 3: h.displayAspect = 16.0 / 9.0; break;
        case 4: h.displayAspect = 2.21; break;
        default: break;
    }
    errors_.Check("-", (item.U8(uint64_t(length) + 4) >> 4) == 1);  // a sequence extension
    return length + 10;
}

int CSupMpg::GopHeader(ByteView item) {
    const uint8_t b4 = item.U8(4), b5 = item.U8(5), b6 = item.U8(6);
    const int hours = (b4 >> 2) & 0x1F, minutes = (b4 & 3) << 4 | b5 >> 4;
    const int seconds = (b5 & 7) << 3 | b6 >> 5;
    const bool valid = errors_.Check("-", hours < 24) && errors_.Check("-", minutes < 60) &&
                       errors_.Check("-", seconds < 60) && errors_.Check("Bad Marker bit", (b5 >> 3) & 1);
    if (valid) {
        const int t = hours * 3600 + minutes * 60 + seconds;
        if (firstGopSeconds_ < 0)
            firstGopSeconds_ = t;
        else
            video_.headers[kHeaderMpegVideo].durationMs = (t - firstGopSeconds_) * 1000;
    }
    return 8;
}

// --- streams ---

int CSupMpg::SlotIndex(int streamId, int firstPayloadByte, int32_t* kind) {
    int32_t k = kPlain;
    int index = streamId - 0xBC;
    if (streamId == kPrivateStream1 && firstPayloadByte >= 0x80 && firstPayloadByte <= 0xAF) {
        index = firstPayloadByte - 76;
        k = firstPayloadByte <= 0x87 ? kAc3 : firstPayloadByte <= 0x8F ? kDts : kLinearPcm;
    }
    if (kind) *kind = k;
    return index >= 0 && index < int(kMaxStreams) ? index : -1;
}

StreamInfo* CSupMpg::GetSlot(int streamId, int firstPayloadByte) {
    int32_t kind = kPlain;
    const int index = SlotIndex(streamId, firstPayloadByte, &kind);
    if (index < 0) return nullptr;
    auto& slot = records_.streams[static_cast<size_t>(index)];
    if (slot) return slot.get();
    try {
        slot = records_.NewStream();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    slot->streamId = streamId;
    slot->substreamId = streamId == kPrivateStream1 ? firstPayloadByte : 0;
    slot->substreamKind = kind;
    if (IsAudioStreamId(streamId))
        ++container_.audioCount;
    else
        ++container_.otherCount;
    return slot.get();
}

bool CSupMpg::RunAudioParsers(ByteView data, StreamInfo& slot) {
    bool any = mp3_.Analyse(data, slot.audio[kAudioClassMpeg]);
    any |= ac3_.Analyse(data, slot.audio[kAudioClassAc3]);
    any |= dts_.Analyse(data, slot.audio[kAudioClassDts]);
    any |= aac_.Analyse(data, slot.audio[kAudioClassAac], container_);
    return any;
}

void CSupMpg::AnalyseSlot(StreamInfo& slot) {
    // The AAC test extrapolates a duration into the container; a stream of a
    // program stream must not overwrite the clock-based one.
    const int32_t duration = container_.scrDurationMs;
    const bool found = RunAudioParsers(slot.data.View(), slot);
    container_.scrDurationMs = duration;
    const bool linearPcm = slot.substreamId >= 0xA0 && slot.substreamId <= 0xAF;
    if ((found || linearPcm) && !IsAudioStreamId(slot.streamId)) {
        ++container_.audioCount;
        if (container_.otherCount > 0) --container_.otherCount;
    }
}

void CSupMpg::ResetSlots() {
    for (auto& slot : records_.streams) slot.reset();
    SetLayout(StreamLayout::kNone);
    container_.audioCount = container_.videoCount = container_.otherCount = 0;
}

void CSupMpg::AnalyseAudioElementary(ByteView data) {
    auto& slot = records_.streams[0];
    try {
        slot = records_.NewStream();
    } catch (const std::bad_alloc&) {
        return;
    }
    if (!RunAudioParsers(data, *slot)) {
        slot.reset();
        return;
    }
    int32_t found = kAudioClassNone;
    for (const AudioResult& r : slot->audio)
        if (r.codecClass > 0) {
            found = r.codecClass;
            break;
        }
    SetLayout(StreamLayout::kAudioElementary);
    container_.audioCount = 1;
    switch (found) {
        case kAudioClassAac: container_.typeId = slot->audio[kAudioClassAac].adifFlag ? kTypeAacAdif : kTypeAacAdts; break;
        case kAudioClassMpeg: container_.typeId = kTypeMpeg; break;
        case kAudioClassAc3: container_.typeId = kTypeAc3; break;
        case kAudioClassDts: container_.typeId = kTypeDts; break;
        default: container_.typeId = kTypeUnknown; break;
    }
}

// --- video ---

bool CSupMpg::TestDv(ByteView data) {
    if (!dvAnswer_ || dvAnswer_->data != data.data() || dvAnswer_->size != data.size()) {
        DvAnswer answer{data.data(), data.size(), false, {}};
        answer.found = CSupDV().Analyse(answer.info, data);
        dvAnswer_ = answer;
    }
    video_.dvInfo = dvAnswer_->info;
    return dvAnswer_->found;
}

bool CSupMpg::RawDv(ByteView data) {
    if (!TestDv(data)) return false;
    SetLayout(StreamLayout::kRawDv);
    video_.headers[kHeaderRawDv].present = 1;
    container_.typeId = video_.dvInfo.smpte314m ? kTypeDvSmpte314M : kTypeDvIec61834;
    return true;
}

bool CSupMpg::AnalyseVideoData(ByteView data) {
    // Four parsers below walk the same bytes from start code to start code.
    std::optional<StartCodeIndex> own;
    if (!index_ || !index_->Covers(data)) own.emplace(data);
    const IndexLoan loan(index_, own ? &*own : index_);
    bool found = false;
    mpg2_.Reset();
    if (mpg2_.Scan(data, index_)) {
        Mpeg2Summary& s = video_.mpeg2Summary;
        mpg2_.Summarise(s);
        video_.mpeg2 = true;
        video_.mpeg2Interlaced = s.interlaced;
        video_.mpeg2Tff = s.tff;
        video_.mpeg2Bff = s.bff;
        video_.mpeg2Ppf = s.ppf;
        video_.mpeg2Pulldown = s.pulldown32;
        found = true;
    }
    if (!found) found = CSupMpg4().Analyse(container_, video_, data, index_);
    if (!found) {
        VideoHeader& h264Header = video_.headers[kHeaderH264];
        if (h264Header.present == 0 && data.data() == h264RejectedData_ && data.size() == h264RejectedSize_) {
            h264Header = VideoHeader{};  // what a repeated rejection leaves behind
            video_.h264 = false;
        } else {
            video_.h264 = found = CSupH264().Analyse(h264Header, data);
        }
    }
    if (!found) found = TestDv(data);
    if (video_.dvInfo.present) {
        video_.dv = true;
        video_.dvPal = video_.dvInfo.pal;
        video_.dvWide = video_.dvInfo.wide;
        video_.dvSmpte314M = video_.dvInfo.smpte314m;
    }

    // Every sequence header, GOP header and user-data block votes: +1 when
    // its checks passed, -1 when they (or an earlier one) failed.
    // Other codes neither vote nor cover bytes: the walk passes them by.
    static constexpr StartCodeSet kVoters = {kSequenceHeader, kGopHeader, kUserData};
    int votes = 0;
    for (uint64_t p = FindStartCodeIn(data, 0, kVoters, index_); p != ByteView::npos;) {
        int outcome = 0;
        const int covered = ParseVideoHeader(data.From(p), &outcome);
        votes += outcome;
        p = FindStartCodeIn(data, p + uint64_t(covered) + (covered == 0 ? 1 : 0), kVoters, index_);
    }
    return found || votes > 2;
}

bool CSupMpg::AnalyseHevc(ByteView data, bool wholeFile) {
    HevcSequence sequence;
    if (!CSupHEVC::IsElementaryStream(data, sequence)) return false;
    video_.hevc = true;
    video_.codecName = HevcName(sequence);
    VideoHeader& h = video_.headers[kHeaderHevc];
    h = VideoHeader{};
    h.present = 1;
    h.width = sequence.width;
    h.height = sequence.height;
    // Only a stream read whole has all its pictures counted.
    if (wholeFile) video_.frameCount = CSupHEVC::CountPictures(data);
    if (const double rate = sequence.FrameRate(); rate > 0.5 && rate < 1000) {
        h.timingFrameRate = rate;
        h.frameDurationUs = static_cast<int32_t>(std::lround(1000000.0 / rate));
        if (video_.frameCount > 0) video_.durationMs = std::llround(double(video_.frameCount) * 1000.0 / rate);
    }
    return true;
}

// --- the whole analysis ---

ReadStatus CSupMpg::Analyse(CFileCache& reader) {
    // The header analysis and the time stamps walk the same bytes.
    StartCodeIndex index(reader.Header());
    {
        const IndexLoan loan(index_, &index);
        Analyse(reader.Header(), reader.LogicalLength());
    }
    MeasurePesTimeSpans(reader, records_, &index);
    return TailStatus(reader);
}

ReadStatus CSupMpg::TailStatus(CFileCache& reader) const {
    if (container_.cdImage || container_.mpegInCdxa) return ReadStatus::Ok();
    return MpegStreamTailStatus(reader, Layout(), video_);
}

void CSupMpg::Analyse(ByteView data, uint64_t fileSize) {
    std::optional<StartCodeIndex> own;
    if (!index_ || !index_->Covers(data)) own.emplace(data);
    const IndexLoan loan(index_, own ? &*own : index_);
    fileSize_ = fileSize;
    esMode_ = false;
    ScanSystemStream(data);

    auto zeroCounts = [&] { container_.audioCount = container_.videoCount = container_.otherCount = 0; };
    bool h264 = false, dv = false;
    // HEVC first: its test looks at the first unit only, where H.264's reads the whole range.
    const bool hevc = Layout() == StreamLayout::kNone && AnalyseHevc(data, data.size() >= fileSize);
    if (hevc) zeroCounts();
    if (Layout() == StreamLayout::kNone && !hevc) {
        zeroCounts();
        video_.h264 = h264 = CSupH264().Analyse(video_.headers[kHeaderH264], data);
        if (!h264) {
            h264RejectedData_ = data.data();
            h264RejectedSize_ = data.size();
        }
    }
    if (Layout() == StreamLayout::kNone && !hevc) {
        zeroCounts();
        dv = RawDv(data);
    }
    const bool rawVideo = Layout() == StreamLayout::kNone && !hevc && AnalyseVideoData(data);
    if (rawVideo || h264 || hevc) {
        SetLayout(StreamLayout::kVideoElementary);
        container_.videoCount = 1;
    } else if (dv) {
        container_.videoCount = 1;
    } else if (video_.data.Count() > 0) {
        AnalyseVideoData(video_.data.View());
    }

    const StreamLayout layout = Layout();
    if (layout == StreamLayout::kMpeg1System || layout == StreamLayout::kMpeg2Program) {
        for (auto& slot : records_.streams) {
            if (!slot) continue;
            AnalyseSlot(*slot);
            if (layout == StreamLayout::kMpeg2Program && slot->substreamId != 0) container_.dvdFormat = true;
        }
    } else {
        AnalyseAudioElementary(data);
    }
}

ReadStatus CSupMpg::AnalyseContent(CFileCache& reader) {
    const ByteView data = reader.Header();
    if (Layout() == StreamLayout::kNone && RawDv(data)) {
        container_.videoCount = 1;
        AnalyseAudioElementary(data);
        return TailStatus(reader);
    }
    if (Layout() == StreamLayout::kNone) return Analyse(reader);
    return TailStatus(reader);
}

}  // namespace torvo
