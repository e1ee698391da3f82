// CSupTS: MPEG-2 transport streams (ISO/IEC 13818-1) with 188-byte packets,
// 192-byte M2TS packets (a 4-byte arrival time stamp before each) and
// 204-byte packets (16 bytes of Reed-Solomon parity after each).
//
// The program association and program map tables name the elementary
// streams; their PES packets are reassembled into the VideoInfo and
// StreamInfo buffers, where the elementary-stream parsers take over. The
// first and the last program clock reference give the duration.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// Where the packets stand: their size and the offset of the first sync byte.
struct TransportPacketLayout {
    uint32_t packetSize = 0;  // 188, 192 or 204; 0 when no size fits
    uint32_t syncOffset = 0;  // of the first 0x47 of the first whole packet
};

// The packet size whose sync bytes line up best from the start of the bytes.
TransportPacketLayout FindTransportPacketLayout(ByteView bytes);

enum class TsStreamKind { kVideo, kAudio, kSubtitle, kOther };

// What a stream_type (with its descriptors) means.
struct TsStreamType {
    std::string_view name;
    TsStreamKind kind = TsStreamKind::kOther;
    int video = 0;        // a VideoCodecKind
    unsigned tests = 0;   // the elementary audio tests that fit
    uint32_t fourcc = 0;  // video: the FourCC the codec database names
};

// stream_type 0x06 (private data) and others are refined by the descriptors:
// the AC-3/E-AC-3/DTS/AAC/subtitle descriptor tag or the registration's
// format identifier (0 when absent).
TsStreamType DescribeStreamType(uint8_t streamType, uint8_t descriptorTag, uint32_t registration);

class CSupTS {
public:
    static constexpr size_t kPacketSize = 188;
    static constexpr uint64_t kMaxScanBytes = 0x2000000;  // 32 MiB when streams have not started
    static constexpr size_t kMaxPrograms = 16;
    static constexpr size_t kMaxSectionBytes = 4096;
    static constexpr size_t kMaxPtsKept = 64;

    struct ElementaryStream {
        uint16_t pid = 0;
        uint8_t streamType = 0;
        uint8_t descriptorTag = 0;  // the codec descriptor met (0x6A AC-3, 0x7A E-AC-3, ...)
        uint32_t registration = 0;  // registration descriptor's format identifier, first byte high
        std::string language;
        TsStreamType type;
        int slot = -1;            // StreamInfo slot, -1 for none
        bool collectsVideo = false;
        bool started = false;     // a PES packet start was met
        std::vector<int64_t> pts;
        int64_t lastPts = -1;     // the latest presentation time, of the tail read too
        uint64_t lastPesBytes = 0; // the payload of the last PES packet seen (the last one's frames)
    };

    CSupTS(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupTS();

    // The whole analysis; the status says where the last packet is cut short,
    // or that no program map table was read.
    ReadStatus Analyse();

    const std::vector<ElementaryStream>& Streams() const { return streams_; }
    // The clock references of the PCR PID (another one when the program map
    // names none that carries them), in 27 MHz units; -1 when none was seen.
    int64_t FirstPcr() const;
    int64_t LastPcr() const;

private:
    // Whether the file ends with a whole packet.
    ReadStatus LastPacketStatus();
    struct Section {
        std::vector<uint8_t> bytes;
        bool collecting = false;
    };
    struct PcrTrack {
        uint16_t pid = 0;
        int64_t first = -1, last = -1;
    };
    struct PidState {
        uint16_t pid = 0;
        Section section;
    };

    void Scan();
    void ReadPacket(ByteView packet);
    void CollectSection(uint16_t pid, ByteView payload, bool unitStart);
    void ReadSection(uint16_t pid, ByteView section);
    void ReadPat(ByteView section);
    void ReadPmt(ByteView section);
    void ReadEsDescriptors(ElementaryStream& stream, ByteView descriptors);
    void AddStream(ElementaryStream stream);
    void CollectPayload(ElementaryStream& stream, ByteView payload, bool unitStart);
    void NotePcr(uint16_t pid, ByteView packet, bool tail);
    void ReadTailPcr();
    uint64_t Resync(uint64_t position);
    void Finish();

    CFileCache& reader_;
    AnalysisRecords& records_;
    TransportPacketLayout layout_;
    std::vector<uint16_t> pmtPids_;
    std::vector<uint16_t> pmtsRead_;
    std::vector<PidState> sections_;
    std::vector<ElementaryStream> streams_;
    bool patRead_ = false;
    int pcrPid_ = -1;
    std::vector<PcrTrack> pcrs_;
    const PcrTrack* ClockTrack() const;
    uint64_t scanEnd_ = 0;
};

}  // namespace torvo
