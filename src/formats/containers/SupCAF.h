// CSupCAF: Apple's Core Audio Format (".caf": the "caff" header, then chunks
// of a four-character type and a signed 64-bit big-endian size). The audio
// description chunk comes first; the data, packet table and information
// chunks follow in any order. A data chunk of size -1 runs to the file's end.
#pragma once

#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "formats/containers/CodecHeaders.h"
#include "records/ReadStatus.h"
#include "records/Records.h"

namespace torvo {

// What a CAF format id (with its flags, for linear PCM) stands for: the WAVE
// format tag (0 for none) and the name the report gives it.
struct CafCodec {
    int32_t formatTag = 0;
    std::string name;
};
CafCodec FindCafCodec(uint32_t formatId, uint32_t formatFlags, uint32_t bitsPerChannel);

class CSupCAF {
public:
    static constexpr int kMaxChunks = 4096;
    static constexpr uint64_t kFileHeaderSize = 8;
    static constexpr uint64_t kChunkHeaderSize = 12;

    CSupCAF(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupCAF();

    // True when the audio description was read; the sound stream is then in the records.
    ReadStatus Analyse();

private:
    void ReadDescription(ByteView desc);
    void ReadPacketTable(ByteView pakt);
    void ReadCookie(ByteView kuki);
    void ReadInformation(ByteView info);
    int64_t DurationMs(uint64_t dataBytes) const;

    CFileCache& reader_;
    AnalysisRecords& records_;
    bool described_ = false;
    uint32_t rate_ = 0;
    uint32_t formatId_ = 0;  // first byte in the low byte, as FourCCs are kept
    uint32_t formatFlags_ = 0, bytesPerPacket_ = 0, framesPerPacket_ = 0, channels_ = 0, bits_ = 0;
    SoundHeader cookie_;  // an ALAC cookie's bit depth, channels and rate (0 for none)
    int64_t validFrames_ = -1;  // the packet table's count, -1 without one
};

}  // namespace torvo
