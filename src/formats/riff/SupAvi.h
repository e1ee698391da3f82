// CSupAvi: walks the chunk tree of a RIFF file (AVI, WAVE, CDXA) once from
// its start and hands every chunk to the handler for its path. The handlers
// read the AVI and WAVE headers into the shared records, copy the first data
// of every stream into its 4 MiB buffer with the order in which the streams'
// chunks follow each other, list text tags, and note the first chunk that
// does not fit into its parent.
//
// Layouts are those of the RIFF and AVI documents, OpenDML AVI 1.02 and the
// WAVEFORMATEX / BITMAPINFOHEADER structures; everything is little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// The result records a RIFF file's audio stream header fills: the class is
// also the record's index among the stream's nine.
inline constexpr int32_t kAudioClassWave = 3;  // named "WAV"
inline constexpr int32_t kAudioClassAvi = 4;   // named "AVI"

// Stream numbers of the chunk runs: audio streams 0-3, video 4.
inline constexpr int kRunStreamVideo = 4;

// A run of text characters in a block of bytes (JUNK chunks, user data).
struct TextRun {
    size_t start = 0, length = 0;
};
// The next run at or after `from`: six text characters in a row start it and
// it extends while they continue, up to 134 characters after the sixth.
// Text characters: blank ( ) . / digits, ASCII letters and '_'. length 0: none.
TextRun FindTextRun(ByteView bytes, size_t from);

// A tag text from raw chunk bytes: up to 128 characters, ending at the first
// one that is not printable with its top bit cleared; bytes above 0x7F are
// read as Windows-1251.
std::string TagText(ByteView bytes);

// "AVI " style text of a FourCC stored first byte low; a zero byte ends it.
std::string FourccText(uint32_t fourcc);

class CSupAvi {
public:
    virtual ~CSupAvi() = default;

    // Walks the RIFF tree into the records. ContainerInfo::riffWalkResult is
    // 1 when the whole tree fitted, 0 when the walk stopped at a chunk larger
    // than its parent (the records are filled up to there). The status names
    // a chunk of wrong length (damaged) or the top-level chunk the end of the
    // file cuts (truncated).
    ReadStatus WalkRiff(CFileCache& reader, AnalysisRecords& records);

    // Limits that keep hostile files cheap: nesting depth and chunks visited.
    static constexpr int kMaxDepth = 16;
    static constexpr uint32_t kMaxChunks = 200000;
    static constexpr int kMaxJunkRuns = 5;

private:
    enum class Walk { kGoOn, kStop };
    enum class CurrentStream { kNone, kAudio, kFirstVideo, kOtherVideo };

    Walk WalkChunk(uint64_t position, const std::string& parentPath, uint64_t limit, bool reload, int depth);
    void Handle(std::string_view path, uint64_t position, uint32_t size, bool reload);

    ByteView Bytes(uint64_t from, uint32_t n, bool reload);
    ByteView Data(uint64_t position, uint32_t size, uint32_t most, bool reload = true);
    void AppendChunkData(ElementaryBuffer& buffer, uint64_t position, uint32_t size, bool reload);
    void StreamHeader(ByteView d);
    void StreamFormat(ByteView d);
    void MainHeader(ByteView d);
    void AudioFormat(ByteView d, StreamInfo& stream, int32_t audioClass);
    void CopyData(int runStream, uint64_t position, uint32_t size, bool reload);
    void ListTag(std::string_view id, std::string text);
    void ListJunkRuns(uint64_t position, uint32_t size, bool reload);

    CFileCache* reader_ = nullptr;
    AnalysisRecords* records_ = nullptr;

    int lastStream_ = -1, firstStream_ = -1;
    CurrentStream current_ = CurrentStream::kNone;
    int currentAudio_ = -1;
    int junkRuns_ = 0;
    uint64_t rootLimit_ = 0;
    uint32_t chunksVisited_ = 0;
    uint32_t waveByteRate_ = 0;  // a WAVE file's average bytes per second, from its format chunk
};

}  // namespace torvo
