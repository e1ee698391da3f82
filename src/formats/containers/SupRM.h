// CSupRM: RealMedia and bare RealAudio files (".RMF", then PROP, MDPR, CONT, DATA and INDX
// chunks with big-endian sizes): the file properties with the playing time,
// each media stream's type-specific data (RealVideo's picture size and frame
// rate, RealAudio's ".ra" header with rate, channels and codec), and the
// content description as metadata.
#pragma once

#include <cstdint>
#include <string>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// A RealAudio header (".ra" 0xFD and version 3, 4 or 5).
struct RealAudioHeader {
    uint16_t version = 0;
    uint32_t sampleRate = 0, channels = 0, bitsPerSample = 0;
    uint32_t fourcc = 0;  // first byte in the low byte
    // Versions 4 and 5: the stream's bytes per minute, and where the header
    // (its metadata included) ends and the data of a bare file begins; 0 when not stated.
    uint32_t bytesPerMinute = 0;
    uint64_t dataStart = 0;
};
bool ReadRealAudioHeader(ByteView header, RealAudioHeader& out);

// The codec name, WAVE format tag (0 for none) of a RealAudio FourCC.
struct RealAudioCodec {
    const char* name = "";
    int32_t formatTag = 0;
};
RealAudioCodec FindRealAudioCodec(uint32_t fourcc);

class CSupRM {
public:
    static constexpr int kMaxChunks = 1024;
    static constexpr uint32_t kChunkHeader = 10;  // id, size, object version

    CSupRM(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupRM();

    // Walks the chunks of the file header, or (for a bare RealAudio file)
    // reads the stream header.
    // The status says where the file stops short or stops making sense; a
    // file without the format's own signature is left alone and is ok.
    ReadStatus Analyse();

private:
    void ReadProperties(ByteView prop);
    void ReadMediaProperties(ByteView mdpr);
    void ReadContent(ByteView cont);
    void ReadVideo(ByteView specific, uint32_t avgBitrate, uint32_t durationMs);
    void ReadAudio(ByteView specific, uint32_t avgBitrate, uint32_t durationMs, const std::string& mime);

    CFileCache& reader_;
    AnalysisRecords& records_;
    bool videoTaken_ = false;
    uint32_t fileDurationMs_ = 0;  // PROP's, for streams that state none of their own
};

}  // namespace torvo
