// CSupMpg: MPEG system, program and elementary streams in the bytes the
// reader holds. It tells which kind of MPEG data it is, demultiplexes
// program-stream packets into per-stream buffers, measures the system
// bitrate and the duration, and hands the collected bytes to the
// elementary-stream parsers.
//
// The driver calls Analyse() for MPEG files (type 18) and for the data chunk
// of a RIFF CDXA wrapper; files without a signature go through
// AnalyseContent() (see MpegContent.h), which tries raw DV first.
#pragma once

#include <cstdint>
#include <optional>

#include "base/FileCache.h"
#include "records/Records.h"
#include "formats/mpeg/StartCodes.h"
#include "formats/mpeg/SupAAC.h"
#include "formats/mpeg/SupAC3.h"
#include "formats/mpeg/SupDTS.h"
#include "formats/mpeg/SupMp3.h"
#include "formats/mpeg/SupMpg2.h"

namespace torvo {

class CSupMpg {
public:
    // ScanSystemStream / ParseItem results.
    enum ItemResult : int {
        kStop = 0,          // a picture start code outside elementary mode
        kProgramEnd = -1,
        kDamaged = -2,      // resynchronise on the next start code
        kSearchOn = -3,
        kNoMoreData = -5,
    };
    // Substream kinds of private stream 1.
    enum SubstreamKind : int32_t { kPlain = 0, kAc3 = 1, kDts = 2, kLinearPcm = 3 };

    explicit CSupMpg(AnalysisRecords& records);
    virtual ~CSupMpg() = default;

    // The whole analysis of the reader's header buffer; the status says
    // whether the file ends with a whole pack, frame or DV frame (files
    // inside a CD image or CDXA wrapper are not judged).
    ReadStatus Analyse(CFileCache& reader);
    void Analyse(ByteView data, uint64_t fileSize);
    // The content stage of identification: raw DV first, then Analyse().
    ReadStatus AnalyseContent(CFileCache& reader);

    // Whether a byte range is video elementary data; fills VideoInfo.
    bool AnalyseVideoData(ByteView data);

    int ScanSystemStream(ByteView data);
    // The item whose start code is at p in the range being scanned.
    int ParseItem(uint64_t p);
    // A sequence header (B3), GOP header (B8) or user data (B2) at the start of
    // item (which runs to the end of its range): bytes covered; outcome gets 0
    // when the item is none of them, +1 when the error flag is clear, else -1.
    int ParseVideoHeader(ByteView item, int* outcome = nullptr);

    StreamInfo* GetSlot(int streamId, int firstPayloadByte);
    void AnalyseSlot(StreamInfo& slot);
    void ResetSlots();
    // The slot index of a stream (and kind of a private-stream-1 substream); -1 for none.
    static int SlotIndex(int streamId, int firstPayloadByte, int32_t* kind = nullptr);

    // Where a PES packet's payload starts (offset from the packet start) and how long it is.
    struct Payload {
        uint64_t offset = 0;
        int64_t length = 0;
    };
    Payload PesPayload(ByteView packet);
    // The same with the checks reported to the given flag.
    static Payload ReadPesPayload(ByteView packet, ParseErrorFlag& errors);
    static uint64_t PackHeaderLength(ByteView pack);
    static int64_t ReadScr(ByteView pack);
    // The marker bits of an MPEG-1 or MPEG-2 pack header.
    static bool PackMarkersValid(ByteView pack);
    static uint32_t ReadMuxRate(ByteView pack);
    static uint64_t SystemHeaderLength(ByteView header) { return 6 + uint64_t(header.Be16(4)); }
    // The marker bits of a system header (bytes 6, 8 and 10).
    static bool SystemHeaderMarkersValid(ByteView header) {
        return (header.U8(6) & 0x80) && (header.U8(8) & 1) && (header.U8(10) & 0x20);
    }

    ParseErrorFlag& Errors() { return errors_; }
    bool ElementaryMode() const { return esMode_; }
    int FirstGopSeconds() const { return firstGopSeconds_; }

private:
    int PackHeader(uint64_t p);
    int SystemHeader(uint64_t p);
    int VideoPacket(uint64_t p);
    int AudioPacket(uint64_t p);
    int SkipByLength(uint64_t p) const { return static_cast<int>(6 + data_.Be16(p + 4)); }
    int SequenceHeader(ByteView item);
    int GopHeader(ByteView item);
    // The audio elementary stream test over the whole data.
    void AnalyseAudioElementary(ByteView data);
    bool RunAudioParsers(ByteView data, StreamInfo& slot);
    bool RawDv(ByteView data);
    // An H.265/HEVC elementary stream: its SPS into the video record, and its
    // pictures counted when the data is the whole file.
    bool AnalyseHevc(ByteView data, bool wholeFile);
    // The DV frame test into video_.dvInfo. The content stage asks it up to
    // three times about the same bytes; the answer is searched for once.
    bool TestDv(ByteView data);
    void SetLayout(StreamLayout layout) { records_.container.layout = layout; }
    StreamLayout Layout() const { return records_.container.layout; }
    ReadStatus TailStatus(CFileCache& reader) const;

    CSupMp3 mp3_;
    CSupAC3 ac3_;
    CSupDTS dts_;
    CSupAAC aac_;
    ParseErrorFlag errors_;
    CSupMpg2 mpg2_{&errors_};

    AnalysisRecords& records_;
    ContainerInfo& container_;
    VideoInfo& video_;
    bool esMode_ = false;
    int64_t firstScr_ = -1;
    int firstGopSeconds_ = -1;
    ByteView data_;  // the range being scanned
    // The start codes of the bytes under analysis, while Analyse or
    // AnalyseVideoData runs: the parsers look them up instead of searching.
    StartCodeIndex* index_ = nullptr;
    struct DvAnswer {
        const uint8_t* data = nullptr;
        size_t size = 0;
        bool found = false;
        DvInfo info;
    };
    std::optional<DvAnswer> dvAnswer_;
    // The bytes the H.264 test last turned down: the answer depends on them
    // alone, so the video tests need not walk them again.
    const uint8_t* h264RejectedData_ = nullptr;
    size_t h264RejectedSize_ = 0;
    uint64_t fileSize_ = 0;
};

}  // namespace torvo
