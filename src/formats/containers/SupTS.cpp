#include "formats/containers/SupTS.h"

#include <algorithm>
#include <cstdint>

#include "formats/containers/ElementaryProbe.h"
#include "formats/mpeg/PesTimeSpan.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint8_t kSyncByte = 0x47;
constexpr uint32_t kPacketSizes[] = {188, 192, 204};
// Sync bytes that must stand in line; fewer when the bytes hold fewer packets.
constexpr uint64_t kSyncsWanted = 16;
constexpr uint64_t kResyncSearch = 0x10000;
constexpr uint64_t kTailSearch = 0x100000;  // the last PCR is looked for in the last 1 MiB
constexpr int64_t kPcrWrap = (int64_t(1) << 33) * 300;
constexpr size_t kMaxPcrPids = 8;
constexpr uint16_t kNullPid = 0x1FFF;

constexpr uint32_t Ident(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

constexpr int kVideoMpeg12 = static_cast<int>(VideoCodecKind::kMpeg12);
constexpr int kVideoMpeg4 = static_cast<int>(VideoCodecKind::kMpeg4);
constexpr int kVideoH264 = static_cast<int>(VideoCodecKind::kH264);
constexpr int kVideoHevc = static_cast<int>(VideoCodecKind::kHevc);
constexpr int kVideoOther = static_cast<int>(VideoCodecKind::kOther);

struct StreamTypeRow {
    uint8_t streamType;
    TsStreamType type;
};
constexpr TsStreamKind kV = TsStreamKind::kVideo, kA = TsStreamKind::kAudio, kS = TsStreamKind::kSubtitle,
                       kO = TsStreamKind::kOther;
// ISO/IEC 13818-1 table 2-34, with the Blu-ray and ATSC assignments.
constexpr StreamTypeRow kStreamTypes[] = {
    {0x01, {N_("MPEG-1 видео"), kV, kVideoMpeg12, 0, FourCCOf("MPG1")}},
    {0x02, {N_("MPEG-2 видео"), kV, kVideoMpeg12, 0, FourCCOf("MPG2")}},
    {0x03, {N_("MPEG-1 звук"), kA, 0, kTestMpegAudio, 0}},
    {0x04, {N_("MPEG-2 звук"), kA, 0, kTestMpegAudio, 0}},
    {0x05, {N_("частные секции"), kO, 0, 0, 0}},
    {0x06, {N_("частные данные"), kO, 0, 0, 0}},
    {0x0F, {"AAC (ADTS)", kA, 0, kTestAac, 0}},
    {0x10, {"MPEG-4 Part 2", kV, kVideoMpeg4, 0, FourCCOf("MP4V")}},
    {0x11, {"AAC (LATM)", kA, 0, 0, 0}},
    {0x15, {N_("метаданные"), kO, 0, 0, 0}},
    {0x1B, {"H.264/AVC", kV, kVideoH264, 0, FourCCOf("H264")}},
    {0x24, {"HEVC", kV, kVideoHevc, 0, FourCCOf("HEVC")}},
    {0x80, {"LPCM (Blu-ray)", kA, 0, 0, 0}},
    {0x81, {"AC-3", kA, 0, kTestAc3, 0}},
    {0x82, {"DTS", kA, 0, kTestDts, 0}},
    {0x83, {"Dolby TrueHD", kA, 0, 0, 0}},
    {0x84, {"E-AC-3", kA, 0, 0, 0}},
    {0x85, {"DTS-HD", kA, 0, kTestDts, 0}},
    {0x86, {"DTS-HD Master Audio", kA, 0, kTestDts, 0}},
    {0x87, {"E-AC-3", kA, 0, 0, 0}},
    {0x90, {N_("субтитры PGS"), kS, 0, 0, 0}},
    {0xA1, {N_("E-AC-3 (доп.)"), kA, 0, 0, 0}},
    {0xA2, {"DTS Express", kA, 0, 0, 0}},
    {0xEA, {"VC-1", kV, kVideoOther, 0, FourCCOf("WVC1")}},
};
// Private data named by its descriptor (ETSI EN 300 468) or registration.
constexpr StreamTypeRow kPrivateByDescriptor[] = {
    {0x6A, {"AC-3", kA, 0, kTestAc3, 0}},       {0x7A, {"E-AC-3", kA, 0, 0, 0}},
    {0x7B, {"DTS", kA, 0, kTestDts, 0}},        {0x7C, {"AAC", kA, 0, kTestAac, 0}},
    {0x59, {N_("субтитры DVB"), kS, 0, 0, 0}},      {0x56, {N_("телетекст"), kO, 0, 0, 0}},
};
struct RegistrationRow {
    uint32_t identifier;
    TsStreamType type;
};
constexpr RegistrationRow kPrivateByRegistration[] = {
    {Ident("AC-3"), {"AC-3", kA, 0, kTestAc3, 0}},   {Ident("EAC3"), {"E-AC-3", kA, 0, 0, 0}},
    {Ident("DTS1"), {"DTS", kA, 0, kTestDts, 0}},    {Ident("DTS2"), {"DTS", kA, 0, kTestDts, 0}},
    {Ident("DTS3"), {"DTS", kA, 0, kTestDts, 0}},    {Ident("Opus"), {"Opus", kA, 0, 0, 0}},
    {Ident("BSSD"), {"AES3 PCM (SMPTE 302M)", kA, 0, 0, 0}},
    {Ident("HEVC"), {"HEVC", kV, kVideoHevc, 0, FourCCOf("HEVC")}},
    {Ident("VC-1"), {"VC-1", kV, kVideoOther, 0, FourCCOf("WVC1")}},
};

// The 42-bit clock reference of an adaptation field, as 27 MHz ticks.
int64_t ReadPcr(ByteView field) {
    const int64_t base = int64_t(field.Be32(0)) << 1 | field.U8(4) >> 7;
    const int64_t extension = (field.U8(4) & 1) << 8 | field.U8(5);
    return base * 300 + extension;
}

// A 33-bit PES time stamp (PTS or DTS) at the five bytes.
int64_t ReadTimeStamp(ByteView bytes) {
    return int64_t(bytes.U8(0) >> 1 & 7) << 30 | int64_t(bytes.Be16(1) >> 1) << 15 | bytes.Be16(3) >> 1;
}

bool PesHasHeader(uint8_t streamId) {
    // program_stream_map, padding, private 2, ECM, EMM, directory, DSM-CC, H.222.1 type E
    return streamId != 0xBC && streamId != 0xBE && streamId != 0xBF && streamId != 0xF0 && streamId != 0xF1 &&
           streamId != 0xFF && streamId != 0xF2 && streamId != 0xF8;
}

// Blu-ray LPCM: the four-byte header before the samples.
void ReadBlurayLpcm(ByteView header, StreamInfo& sound) {
    constexpr int kChannels[16] = {0, 1, 0, 2, 3, 3, 4, 4, 5, 6, 7, 8, 0, 0, 0, 0};
    const int rateCode = header.U8(2) & 0x0F, bitsCode = header.U8(3) >> 6;
    sound.channels = kChannels[header.U8(2) >> 4];
    sound.sampleRate = rateCode == 1 ? 48000 : rateCode == 4 ? 96000 : rateCode == 5 ? 192000 : 0;
    sound.bitsPerSample = bitsCode == 1 ? 16 : bitsCode == 2 ? 20 : bitsCode == 3 ? 24 : 0;
    if (sound.channels && sound.sampleRate && sound.bitsPerSample)
        sound.bitrateKbps = sound.channels * sound.sampleRate / 1000 * sound.bitsPerSample;
}
}  // namespace

TransportPacketLayout FindTransportPacketLayout(ByteView bytes) {
    TransportPacketLayout best;
    uint64_t bestRun = 0;
    for (const uint32_t size : kPacketSizes) {
        for (uint32_t offset = 0; offset < size && offset < bytes.size(); ++offset) {
            if (bytes.U8(offset) != kSyncByte) continue;
            const uint64_t available = (bytes.size() - offset + size - 1) / size;
            const uint64_t wanted = std::min(kSyncsWanted, available);
            uint64_t run = 0;
            while (run < wanted && bytes.U8(offset + run * size) == kSyncByte) ++run;
            // A whole run at the first offset that has one; a longer packet
            // size wins only with a longer run.
            if (run == wanted && run >= 2 && run > bestRun) {
                best = {size, offset};
                bestRun = run;
            }
            if (run == wanted) break;
        }
    }
    return best;
}

TsStreamType DescribeStreamType(uint8_t streamType, uint8_t descriptorTag, uint32_t registration) {
    if (streamType == 0x06 || streamType >= 0x80) {
        for (const StreamTypeRow& row : kPrivateByDescriptor)
            if (row.streamType == descriptorTag && streamType == 0x06) return row.type;
        for (const RegistrationRow& row : kPrivateByRegistration)
            if (row.identifier == registration && (streamType == 0x06 || row.type.kind == kA)) return row.type;
    }
    for (const StreamTypeRow& row : kStreamTypes)
        if (row.streamType == streamType) return row.type;
    return {N_("не знаю"), kO, 0, 0, 0};
}

CSupTS::CSupTS(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupTS::~CSupTS() = default;

ReadStatus CSupTS::Analyse() {
    ContainerInfo& container = records_.container;
    layout_ = {container.tsPacketSize, container.tsSyncOffset};
    if (layout_.packetSize == 0) layout_ = FindTransportPacketLayout(reader_.Header());
    if (layout_.packetSize == 0) return ReadStatus::Damaged(0, "no run of transport packets");
    container.tsPacketSize = layout_.packetSize;
    container.tsSyncOffset = layout_.syncOffset;
    Scan();
    ReadTailPcr();
    Finish();
    const ReadStatus status = LastPacketStatus();
    return pmtsRead_.empty() ? ReadStatus(status).Merge(ReadStatus::Damaged(layout_.syncOffset, "no program map table"))
                             : status;
}

ReadStatus CSupTS::LastPacketStatus() {
    // The file ends with a whole packet: a sync byte one packet before the
    // end, after one more packet before it. Otherwise the last packet is the
    // one whose sync byte follows a packet's length after another.
    const uint64_t end = reader_.LogicalLength();
    const uint64_t size = layout_.packetSize;
    const uint64_t lead = size == kPacketSize + 4 ? 4 : 0;  // a 192-byte packet's time code comes first
    if (end < 2 * size) return ReadStatus::Ok();
    if (reader_.U8At(end - size + lead) == kSyncByte) return ReadStatus::Ok();
    for (uint64_t p = end - size + lead + 1; p < end; ++p)
        if (reader_.U8At(p) == kSyncByte && reader_.U8At(p - size) == kSyncByte)
            return CutShort(p - lead, "packet", size, end - (p - lead));
    return ReadStatus::Ok();
}

uint64_t CSupTS::Resync(uint64_t position) {
    const uint64_t end = reader_.LogicalLength();
    const uint64_t size = layout_.packetSize;
    for (uint64_t p = position, last = std::min(end, position + kResyncSearch); p < last; ++p)
        if (reader_.U8At(p) == kSyncByte && (p + size >= end || reader_.U8At(p + size) == kSyncByte)) return p;
    return end;
}

void CSupTS::Scan() {
    const uint64_t end = reader_.LogicalLength();
    const uint64_t wholeHeader = reader_.Header().size();
    uint64_t position = layout_.syncOffset;
    while (position < end && end - position >= kPacketSize) {
        // The header buffer is read whole; beyond it only while a declared
        // stream has not started yet, up to a bound.
        if (position >= wholeHeader) {
            const bool waiting = !patRead_ || pmtsRead_.size() < pmtPids_.size() ||
                                 std::any_of(streams_.begin(), streams_.end(),
                                             [](const ElementaryStream& s) { return !s.started; });
            if (!waiting || position >= kMaxScanBytes) break;
        }
        const ByteView packet = reader_.MapView(position, kPacketSize);
        if (packet.U8(0) != kSyncByte) {
            const uint64_t found = Resync(position + 1);
            if (found >= end) break;
            position = found;
            continue;
        }
        ReadPacket(packet);
        position += layout_.packetSize;
    }
    scanEnd_ = position;
}

void CSupTS::ReadPacket(ByteView packet) {
    const uint8_t b1 = packet.U8(1), b3 = packet.U8(3);
    if (b1 & 0x80) return;  // transport_error_indicator
    const bool unitStart = b1 & 0x40;
    const uint16_t pid = static_cast<uint16_t>((b1 & 0x1F) << 8 | packet.U8(2));
    const unsigned control = b3 >> 4 & 3;
    if (pid == kNullPid || control == 0) return;
    uint64_t payload = 4;
    if (control & 2) {
        const uint8_t length = packet.U8(4);
        if (length > 0) NotePcr(pid, packet, false);
        payload = 5u + length;
    }
    if (!(control & 1) || payload >= packet.size()) return;
    if (b3 & 0xC0) return;  // scrambled payloads carry nothing readable
    const ByteView bytes = packet.From(payload);
    if (pid == 0 || std::find(pmtPids_.begin(), pmtPids_.end(), pid) != pmtPids_.end()) {
        CollectSection(pid, bytes, unitStart);
        return;
    }
    for (ElementaryStream& stream : streams_) {
        if (stream.pid == pid) {
            CollectPayload(stream, bytes, unitStart);
            return;
        }
    }
}

void CSupTS::NotePcr(uint16_t pid, ByteView packet, bool tail) {
    if (packet.U8(4) < 7 || !(packet.U8(5) & 0x10)) return;
    const int64_t pcr = ReadPcr(packet.Sub(6, 6));
    auto track = std::find_if(pcrs_.begin(), pcrs_.end(), [pid](const PcrTrack& t) { return t.pid == pid; });
    if (track == pcrs_.end()) {
        if (tail || pcrs_.size() >= kMaxPcrPids) return;
        pcrs_.push_back({pid, pcr, pcr});
        return;
    }
    track->last = pcr;
}

const CSupTS::PcrTrack* CSupTS::ClockTrack() const {
    for (const PcrTrack& t : pcrs_)
        if (t.pid == pcrPid_) return &t;
    return pcrs_.empty() ? nullptr : &pcrs_.front();
}

int64_t CSupTS::FirstPcr() const {
    const PcrTrack* t = ClockTrack();
    return t ? t->first : -1;
}

int64_t CSupTS::LastPcr() const {
    const PcrTrack* t = ClockTrack();
    return t ? t->last : -1;
}

void CSupTS::CollectSection(uint16_t pid, ByteView payload, bool unitStart) {
    auto state = std::find_if(sections_.begin(), sections_.end(), [pid](const PidState& s) { return s.pid == pid; });
    if (state == sections_.end()) {
        if (sections_.size() > kMaxPrograms) return;
        sections_.push_back({pid, {}});
        state = sections_.end() - 1;
    }
    Section& section = state->section;
    uint64_t from = 0;
    if (unitStart) {
        // The pointer field says where the new section starts; bytes before it finish the last one.
        const uint8_t pointer = payload.U8(0);
        if (section.collecting) {
            const ByteView tail = payload.Sub(1, std::min<uint64_t>(pointer, payload.size() - 1));
            section.bytes.insert(section.bytes.end(), tail.data(), tail.data() + tail.size());
        }
        section.bytes.clear();
        section.collecting = true;
        from = 1u + pointer;
    } else if (!section.collecting) {
        return;
    }
    const ByteView part = payload.From(from);
    const size_t room = kMaxSectionBytes - std::min(kMaxSectionBytes, section.bytes.size());
    section.bytes.insert(section.bytes.end(), part.data(), part.data() + std::min<size_t>(part.size(), room));
    if (section.bytes.size() < 3) return;
    const size_t total = 3u + ((section.bytes[1] & 0x0F) << 8 | section.bytes[2]);
    if (section.bytes.size() < total && section.bytes.size() < kMaxSectionBytes) return;
    section.collecting = false;
    ReadSection(pid, ByteView(section.bytes.data(), std::min(total, section.bytes.size())));
}

void CSupTS::ReadSection(uint16_t pid, ByteView section) {
    if (section.size() < 12) return;
    if (pid == 0 && section.U8(0) == 0x00) ReadPat(section);
    else if (section.U8(0) == 0x02) ReadPmt(section);
}

void CSupTS::ReadPat(ByteView section) {
    if (patRead_) return;
    patRead_ = true;
    // Program entries follow the 8-byte header and precede the 4-byte CRC.
    for (uint64_t pos = 8; pos + 4 + 4 <= section.size() && pmtPids_.size() < kMaxPrograms; pos += 4) {
        const uint16_t program = section.Be16(pos);
        const uint16_t pid = section.Be16(pos + 2) & 0x1FFF;
        if (program == 0 || pid == 0 || pid == kNullPid) continue;  // the network PID
        if (std::find(pmtPids_.begin(), pmtPids_.end(), pid) == pmtPids_.end()) pmtPids_.push_back(pid);
    }
}

void CSupTS::ReadPmt(ByteView section) {
    const uint16_t program = section.Be16(3);
    if (std::find(pmtsRead_.begin(), pmtsRead_.end(), program) != pmtsRead_.end()) return;
    pmtsRead_.push_back(program);
    if (pcrPid_ < 0) pcrPid_ = section.Be16(8) & 0x1FFF;
    const uint64_t end = section.size() - 4;  // the CRC
    const uint64_t programInfo = section.Be16(10) & 0x0FFF;
    for (uint64_t pos = 12 + programInfo; pos + 5 <= end;) {
        ElementaryStream stream;
        stream.streamType = section.U8(pos);
        stream.pid = section.Be16(pos + 1) & 0x1FFF;
        const uint64_t infoLength = section.Be16(pos + 3) & 0x0FFF;
        ReadEsDescriptors(stream, section.Sub(pos + 5, std::min(infoLength, end - (pos + 5))));
        pos += 5 + infoLength;
        AddStream(std::move(stream));
    }
}

void CSupTS::ReadEsDescriptors(ElementaryStream& stream, ByteView descriptors) {
    for (uint64_t pos = 0; pos + 2 <= descriptors.size();) {
        const uint8_t tag = descriptors.U8(pos), length = descriptors.U8(pos + 1);
        const ByteView body = descriptors.Sub(pos + 2, length);
        if (body.size() != length) break;
        switch (tag) {
            case 0x05:  // registration
                if (length >= 4) stream.registration = body.Be32(0);
                break;
            case 0x0A:  // ISO 639 language: code, audio type
                if (length >= 3) {
                    std::string code(reinterpret_cast<const char*>(body.data()), 3);
                    const bool letters = std::all_of(code.begin(), code.end(), [](char c) {
                        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                    });
                    if (letters && stream.language.empty()) stream.language = code;
                }
                break;
            case 0x6A: case 0x7A: case 0x7B: case 0x7C: case 0x59: case 0x56:
                if (stream.descriptorTag == 0) stream.descriptorTag = tag;
                break;
            case 0x81:  // ATSC AC-3 audio descriptor
                if (stream.descriptorTag == 0 && stream.streamType == 0x81) stream.descriptorTag = tag;
                break;
            default: break;
        }
        pos += 2u + length;
    }
}

void CSupTS::AddStream(ElementaryStream stream) {
    if (streams_.size() >= kMaxStreams) return;
    for (const ElementaryStream& known : streams_)
        if (known.pid == stream.pid) return;
    stream.type = DescribeStreamType(stream.streamType, stream.descriptorTag, stream.registration);
    const bool firstVideo =
        stream.type.kind == TsStreamKind::kVideo &&
        std::none_of(streams_.begin(), streams_.end(), [](const ElementaryStream& s) { return s.collectsVideo; });
    if (firstVideo) {
        stream.collectsVideo = true;
    } else if (stream.type.kind == TsStreamKind::kAudio ||
               (stream.type.kind == TsStreamKind::kOther && stream.streamType == 0x06)) {
        // Sound, and private data that may turn out to be sound, get a slot in turn.
        for (size_t slot = 0; slot < kMaxStreams; ++slot) {
            if (!records_.StreamIf(slot)) {
                records_.Stream(slot);
                stream.slot = static_cast<int>(slot);
                break;
            }
        }
    }
    streams_.push_back(std::move(stream));
}

void CSupTS::CollectPayload(ElementaryStream& stream, ByteView payload, bool unitStart) {
    ElementaryBuffer* buffer = stream.collectsVideo ? &records_.video.data
                               : stream.slot >= 0   ? &records_.Stream(static_cast<size_t>(stream.slot)).data
                                                    : nullptr;
    if (unitStart) {
        // A PES packet header: start code prefix, stream id, length, flags.
        if (payload.Be24(0) != 1) return;
        const uint8_t streamId = payload.U8(3);
        uint64_t data = 6;
        if (PesHasHeader(streamId)) {
            if ((payload.U8(6) & 0xC0) != 0x80) return;
            if (payload.U8(7) & 0x80) {
                const int64_t pts = ReadTimeStamp(payload.Sub(9, 5));
                if (stream.pts.size() < kMaxPtsKept) stream.pts.push_back(pts);
                stream.lastPts = std::max(stream.lastPts, pts);
            }
            data = 9u + payload.U8(8);
        }
        stream.lastPesBytes = payload.size() > data ? payload.size() - data : 0;
        if (stream.slot >= 0) {
            StreamInfo& sound = records_.Stream(static_cast<size_t>(stream.slot));
            if (!stream.started) sound.streamId = streamId;
            // Blu-ray LPCM: each PES payload begins with its own header.
            if (stream.streamType == 0x80) {
                if (!stream.started) ReadBlurayLpcm(payload.Sub(data, 4), sound);
                data += 4;
            }
        }
        stream.started = true;
        payload = payload.From(data);
    } else if (!stream.started) {
        return;
    } else {
        stream.lastPesBytes += payload.size();
    }
    if (buffer) buffer->Append(payload);
}

void CSupTS::ReadTailPcr() {
    const uint64_t end = reader_.LogicalLength();
    if (scanEnd_ + kPacketSize >= end) return;
    // The last PCR: packets of the file's last megabyte, in their grid when it holds.
    const uint64_t size = layout_.packetSize;
    const uint64_t from = std::max(scanEnd_, end > kTailSearch ? end - kTailSearch : 0);
    uint64_t position = layout_.syncOffset + (from > layout_.syncOffset ? (from - layout_.syncOffset + size - 1) / size * size : 0);
    while (position < end && end - position >= kPacketSize) {
        const ByteView packet = reader_.MapView(position, kPacketSize);
        if (packet.U8(0) != kSyncByte) {
            position = Resync(position + 1);
            continue;
        }
        const uint8_t b1 = packet.U8(1);
        const unsigned control = packet.U8(3) >> 4 & 3;
        const auto pid = static_cast<uint16_t>((b1 & 0x1F) << 8 | packet.U8(2));
        if (!(b1 & 0x80) && (control & 2) && packet.U8(4) > 0) NotePcr(pid, packet, true);
        // The presentation time of each PES packet that starts here.
        const uint64_t payload = control & 2 ? 5u + packet.U8(4) : 4;
        if (!(b1 & 0x80) && (control & 1) && !(packet.U8(3) & 0xC0)) {
            const ByteView pes = packet.From(payload);
            for (ElementaryStream& stream : streams_) {
                if (stream.pid != pid) continue;
                if (!(b1 & 0x40)) {  // the packet goes on with the PES packet begun before
                    stream.lastPesBytes += pes.size();
                } else if (pes.Be24(0) == 1 && PesHasHeader(pes.U8(3)) && (pes.U8(7) & 0x80)) {
                    stream.lastPts = std::max(stream.lastPts, ReadTimeStamp(pes.Sub(9, 5)));
                    const uint64_t header = 9u + pes.U8(8);
                    stream.lastPesBytes = pes.size() > header ? pes.size() - header : 0;
                }
            }
        }
        position += size;
    }
}

void CSupTS::Finish() {
    ContainerInfo& container = records_.container;
    VideoInfo& video = records_.video;
    container.videoCount = container.audioCount = container.otherCount = 0;
    const ElementaryStream* videoStream = nullptr;
    for (ElementaryStream& stream : streams_) {
        StreamInfo* sound = stream.slot >= 0 ? records_.StreamIf(static_cast<size_t>(stream.slot)) : nullptr;
        bool audio = stream.type.kind == TsStreamKind::kAudio;
        if (sound) {
            // Private data of no declared kind is tried with every test.
            const unsigned tests = stream.type.kind == TsStreamKind::kAudio ? stream.type.tests : kTestAllAudio;
            ProbeCollectedAudio(tests, *sound, container);
            bool recognised = false;
            for (const AudioResult& r : sound->audio) recognised = recognised || r.codecClass > 0;
            if (stream.type.kind == TsStreamKind::kAudio && !recognised) {
                // What the program map says stands for what no test recognised.
                sound->sourceKind = kSourceContainerSound;
                sound->codecName = std::string(stream.type.name);
            }
            audio = audio || recognised;
            if (!audio) {
                records_.streams[static_cast<size_t>(stream.slot)].reset();
                stream.slot = -1;
            }
        }
        if (stream.type.kind == TsStreamKind::kVideo) ++container.videoCount;
        else if (audio) ++container.audioCount;
        else ++container.otherCount;
        if (stream.collectsVideo) videoStream = &stream;
        // Each sound stream's own span, from its first time stamps to the tail's last.
        sound = stream.slot >= 0 ? records_.StreamIf(static_cast<size_t>(stream.slot)) : nullptr;
        if (sound && !stream.pts.empty()) {
            const PtsRange head{*std::min_element(stream.pts.begin(), stream.pts.end()), stream.pts.front(), 1, -1};
            if (const int64_t span = PtsSpanTicks(head, {stream.lastPts, stream.lastPts, 1, -1}); span > 0)
                sound->stampedDurationMs = SoundSpanMs(span, *sound, stream.lastPesBytes);
        }
        if (container.tracks.size() < kMaxContainerTracks) {
            ContainerTrack track;
            track.id = stream.pid;
            track.typeCode = stream.streamType;
            track.kind = stream.type.kind == TsStreamKind::kVideo ? N_("видео")
                         : audio                                  ? N_("звук")
                         : stream.type.kind == TsStreamKind::kSubtitle ? N_("субтитры")
                                                                        : N_("данные");
            track.codec = std::string(stream.type.name);
            track.language = stream.language;
            track.slot = stream.slot;
            container.tracks.push_back(std::move(track));
        }
    }

    int64_t framePeriodUs = 0;
    if (videoStream) {
        video.fourcc = videoStream->type.fourcc;
        video.codecName = std::string(videoStream->type.name);
        ProbeCollectedVideo(static_cast<VideoCodecKind>(videoStream->type.video), records_);
        for (ContainerTrack& track : container.tracks)
            if (track.id == videoStream->pid) track.codec = video.codecName;
        // Without a frame period from the elementary headers, the smallest
        // step between presentation times gives it.
        if (video.headers[kHeaderMpegVideo].frameDurationUs == 0 && video.headers[kHeaderH264].frameDurationUs == 0) {
            std::vector<int64_t> pts = videoStream->pts;
            std::sort(pts.begin(), pts.end());
            int64_t step = 0;
            for (size_t i = 1; i < pts.size(); ++i)
                if (const int64_t d = pts[i] - pts[i - 1]; d > 0 && (step == 0 || d < step)) step = d;
            if (step > 0 && step < 90000) video.usPerFrame = static_cast<int32_t>(step * 1000000 / 90000);
        }
        framePeriodUs = video.usPerFrame ? video.usPerFrame
                        : video.headers[kHeaderMpegVideo].frameDurationUs
                            ? video.headers[kHeaderMpegVideo].frameDurationUs
                            : video.headers[kHeaderH264].frameDurationUs;
    }

    const int64_t first = FirstPcr(), last = LastPcr();
    if (first >= 0 && last >= 0 && last != first) {
        const int64_t ticks = ((last - first) % kPcrWrap + kPcrWrap) % kPcrWrap;
        // The last picture shows for one frame period after its clock reference.
        const int64_t ms = ticks / 27000 + std::max<int64_t>(framePeriodUs, 0) / 1000;
        if (ms > 0) {
            video.durationMs = container.durationMs = ms;
            container.bitrateKbps = static_cast<int32_t>(
                std::min<uint64_t>(reader_.LogicalLength() * 8 / static_cast<uint64_t>(ms), INT32_MAX));
        }
    }
}

}  // namespace torvo
