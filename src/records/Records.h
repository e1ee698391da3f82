// The per-file records every format analyser fills and the driver reports:
// what the container says (ContainerInfo), the video stream with its
// collected elementary data (VideoInfo) and up to 100 other streams
// (StreamInfo), each with the results of the elementary audio tests.
//
// Analysers never allocate these records; the driver owns them and resets
// them before each file. Elementary data buffers grow on demand up to 4 MiB,
// so streams that never occur cost nothing.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/ByteView.h"
#include "records/SignatureTable.h"
#include "records/MpegRecords.h"
#include "records/ReadStatus.h"

namespace torvo {

inline constexpr size_t kElementaryBufferSize = 0x400000;  // 4 MiB
inline constexpr size_t kMaxStreams = 100;
inline constexpr size_t kMaxAudioListEntries = 4;
inline constexpr size_t kMaxMetadataItems = 16;
inline constexpr size_t kMaxCompatibleBrands = 8;

// Blocks of kElementaryBufferSize bytes given back by the buffers of a
// finished analysis, for the next file's streams: their pages stay mapped, so
// a run over many files does not fault them in again. A few cover the video
// and the first sound streams of a file. Not shared between threads: each
// set of records (one per worker) has its own.
class SpareBlocks {
public:
    SpareBlocks() = default;
    ~SpareBlocks();
    SpareBlocks(const SpareBlocks&) = delete;
    SpareBlocks& operator=(const SpareBlocks&) = delete;

    // A kept block, else a new one (null when memory runs out); uninitialised.
    uint8_t* Take();
    // Keeps the block for the next Take, or frees it when enough are kept.
    void GiveBack(uint8_t* block);
    size_t Kept() const { return count_; }

    static constexpr size_t kMaxKept = 3;

private:
    std::array<uint8_t*, kMaxKept> blocks_{};
    size_t count_ = 0;
};

// Elementary bytes collected from a container, at most 4 MiB. The first
// append reserves the whole 4 MiB uninitialised (the system commits only the
// pages written), so collected bytes are copied once and nothing is cleared.
class ElementaryBuffer {
public:
    ElementaryBuffer() = default;
    ElementaryBuffer(const ElementaryBuffer& other) { Append(other.View()); }
    // Moved, the bytes go and neither buffer draws on spares any more: the
    // owner of the spares may be going too.
    ElementaryBuffer(ElementaryBuffer&& other) noexcept {
        Swap(other);
        other.spares_ = nullptr;
    }
    // The bytes change hands; where this buffer takes its block from stays.
    ElementaryBuffer& operator=(ElementaryBuffer other) noexcept {
        Clear();
        Swap(other);
        return *this;
    }
    ~ElementaryBuffer() { Clear(); }

    // Takes its block from spares and gives it back there; the spares must
    // outlive the buffer. Without them the block is allocated and freed.
    void DrawFrom(SpareBlocks* spares) { spares_ = spares; }

    // Appends as much as fits; returns the bytes taken (0 when memory runs out).
    size_t Append(ByteView bytes);
    size_t Append(const uint8_t* data, size_t size) { return Append(ByteView(data, size)); }
    size_t Count() const { return size_; }
    size_t Room() const { return kElementaryBufferSize - size_; }
    ByteView View() const { return ByteView(bytes_, size_); }
    void Clear();

private:
    void Swap(ElementaryBuffer& other) noexcept {
        std::swap(bytes_, other.bytes_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }
    uint8_t* bytes_ = nullptr;
    size_t size_ = 0, capacity_ = 0;
    SpareBlocks* spares_ = nullptr;
};

// Audio codec classes: the index of a stream's result record.
enum AudioClass : int32_t {
    kAudioClassNone = 0,
    kAudioClassMpeg = 1,
    kAudioClassAc3 = 2,
    kAudioClassDts = 5,
    kAudioClassAac = 6,
};
inline constexpr size_t kAudioClassCount = 9;

// The result of one elementary audio test on one stream. codecClass is
// positive once the test recognised the stream.
struct AudioResult {
    int32_t codecClass = 0;
    int32_t channels = 0;
    int32_t lfe = 0;
    int32_t rateMode = 0;     // 0 unknown, 1 constant, 2 variable bitrate
    int32_t versionCode = 0;  // 2 MPEG-1, 3 MPEG-2, 4 MPEG "2.5"
    int32_t layerCode = 0;    // 1 unknown, 2 Layer I, 3 Layer II, 4 Layer III
    std::string profileText;
    std::string channelModeText;
    std::string serviceText;
    uint32_t frameCount = 0;
    int32_t breakCount = 0;
    int32_t frameDurationUs = 0;
    std::string encoderText;  // at most 31 characters
    int32_t bitrateKbps = 0;
    int32_t sampleRate = 0;
    int32_t adifFlag = 0;
    // What containers and the other tests add to the description.
    int32_t formatTag = 0;
    int32_t secondBitrateKbps = 0;
    std::string codecText;  // the codec named in words, when there is no format tag
    std::string extraText;  // appended to the stream description
    // frameEnds[k] = offset of the byte after frame k (k >= 1); allocated by
    // the tests that record frame positions.
    std::vector<int32_t> frameEnds;
};

// RIFF/AVI: one run of consecutive data chunks of one stream in an AVI
// 'movi' list, as the walker met them (the interleave analysis reads these).
struct ChunkRun {
    uint64_t filePosition = 0;  // data of the run's first chunk
    uint32_t bufferOffset = 0;  // where that data went in the stream's buffer
    uint32_t bytes = 0;
    uint32_t chunks = 0;
};
inline constexpr size_t kMaxChunkRuns = 4194;

// RIFF/AVI: a stream's chunk runs, capped, with the overflow noted.
struct ChunkRunList {
    std::vector<ChunkRun> runs;
    bool overflow = false;
};

// One picture description a container or header declares (AVI main header,
// ...), consulted when the main values of VideoInfo are missing.
struct PictureRecord {
    int32_t usPerFrame = 0;
    int32_t bitrateKbps = 0;
    int64_t durationMs = 0;
    int64_t frameCount = 0;
    int32_t width = 0, height = 0;
    double pixelAspect = 0, displayAspect = 0;
    uint64_t maxBitrate = 0;  // bit/s, as the AVI main header declares it
};
inline constexpr size_t kPictureAviHeader = 0;    // index among VideoInfo::altPictures
inline constexpr size_t kPictureSampleEntry = 1;  // an MP4/QuickTime visual sample entry

// Where a stream's description came from, for the audio panel's codec text.
enum StreamSource : int32_t {
    kSourceNone = 0,
    kSourceContainerSound = 8,  // a sound sample entry / stream header of the container
};

struct StreamInfo {
    ElementaryBuffer data;
    int32_t streamId = 0;       // the MPEG stream id (0xBD, 0xC0-0xDF, ...)
    int32_t substreamId = 0;    // private stream 1: the first payload byte
    int32_t substreamKind = 0;  // 0 plain, 1 AC-3, 2 DTS, 3 linear PCM
    std::array<AudioResult, kAudioClassCount> audio;

    // What the container declares about the stream. For the audio panel
    // these count as the result record of class sourceKind.
    int32_t sourceKind = kSourceNone;
    uint32_t fourcc = 0;        // as stored, first byte in the low byte
    std::string codecName;
    int32_t formatTag = 0;
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int32_t bitsPerSample = 0;
    int32_t bitrateKbps = 0;
    int32_t bitrateType = 0;    // 0 unknown, 1 CBR, 2 VBR
    // WAVE_FORMAT_EXTENSIBLE: the format tag its SubFormat GUID stands for; 0 otherwise.
    int32_t subFormatTag = 0;
    // The codec id (records/CodecIds.h) where the container names the codec
    // exactly, sample layout included; empty when the elementary tests or the
    // format tag tell it.
    std::string codecId;
    std::string channelLayoutName;
    // The stream's playing time as the container or its headers state it
    // (sample count / rate, data size / byte rate, ...); 0 when unknown.
    int64_t durationMs = 0;
    // The stream's own span by its time stamps or its duration tag, where the
    // container times its streams only so (Matroska, transport streams, FLV):
    // the typed report's duration; 0 when unknown.
    int64_t stampedDurationMs = 0;
    // A stream too short to last a whole millisecond (a file of a few
    // samples): its time in seconds to the microsecond, for the typed report;
    // 0 otherwise (durationMs times longer streams).
    double shortDurationSeconds = 0;
    // The sample rate and channels the codec's own configuration states where
    // the container's fields may differ (an FLV tag's flags before the AAC
    // AudioSpecificConfig): the typed report's; 0 when none.
    int32_t configSampleRate = 0, configChannels = 0;

    // RIFF/AVI
    ChunkRunList chunkRuns;
    int32_t riffBlockValue = 0;  // nBlockAlign of the stream's WAVEFORMATEX
    double ngValue = 0;          // appended to the interleave text when set
};

// Sets shortDurationSeconds from units / units per second (samples / sample
// rate, bytes / byte rate) when that is under a millisecond.
inline void SetShortDuration(StreamInfo& stream, uint64_t units, uint64_t perSecond) {
    if (units == 0 || perSecond == 0 || units > (perSecond - 1) / 1000) return;
    stream.shortDurationSeconds = std::round(static_cast<double>(units) * 1e6 / static_cast<double>(perSecond)) / 1e6;
}

// One elementary stream as a transport stream's program map or a Matroska
// track entry declares it; the container notes list them.
struct ContainerTrack {
    int32_t id = 0;          // transport stream: the PID; Matroska: the track number
    int32_t typeCode = 0;    // transport stream: stream_type; Matroska: TrackType
    std::string kind;        // "видео", "звук", "субтитры", ...
    std::string codec;       // the codec named in words (or the Matroska CodecID)
    std::string language;    // ISO 639-2 code, empty when not declared
    std::string title;
    int32_t slot = -1;       // the StreamInfo slot of a sound stream, -1 for none
};
inline constexpr size_t kMaxContainerTracks = 100;

// One item of container metadata (MP4 'ilst', ASF descriptors).
struct MetadataItem {
    std::string name;
    std::string text;
    // RIFF/AVI
    std::string secondText;  // the tag listing appends it after a ':'
    // The text is the program's own description of what the file holds (a
    // picture's kind, an unreadable value), not the file's words.
    bool composed = false;
};

// A picture the file carries beside its streams (a cover): its codec id as
// media tools name it ("mjpeg", "png"), empty when not known, and its size,
// 0 when not known.
struct AttachedPicture {
    std::string codec;
    int32_t width = 0, height = 0;
};
inline constexpr size_t kMaxAttachedPictures = 16;

struct VideoInfo {
    ElementaryBuffer data;

    // Decoded picture properties.
    int32_t width = 0, height = 0;
    double pixelAspect = 0, displayAspect = 0;

    // MPEG-4 Part 2.
    bool mpeg4Vol = false, mpeg4BVop = false, mpeg4NVop = false, mpeg4Qpel = false, mpeg4Gmc = false;
    std::array<uint32_t, 4> mpeg4VopCounts{};
    // H.264.
    bool h264 = false;
    // An H.265/HEVC Annex B elementary stream (its SPS in headers[kHeaderHevc]).
    bool hevc = false;
    // MPEG-2 video.
    bool mpeg2 = false, mpeg2Interlaced = false, mpeg2Tff = false, mpeg2Bff = false, mpeg2Ppf = false,
         mpeg2Pulldown = false;
    // Raw DV.
    bool dv = false, dvPal = false, dvWide = false, dvSmpte314M = false;

    // What the container declares about the video stream.
    uint32_t fourcc = 0;  // as stored, first byte in the low byte
    int32_t usPerFrame = 0;
    int64_t frameCount = 0;
    int64_t durationMs = 0;
    // The stream's own playing time where the container times it apart from
    // the display's (an MP4 edit list, the last block or time stamp of the
    // track): the typed report's duration; 0 when unknown.
    int64_t stampedDurationMs = 0;
    int32_t bitrateKbps = 0;
    int32_t codedWidth = 0, codedHeight = 0;
    uint32_t timeScale = 0;
    int32_t flvCodecId = 0;
    // The codec id (records/CodecIds.h) where the container names the codec
    // without a FourCC of its own; empty otherwise.
    std::string codecId;
    // The codec named in words where the container has no FourCC for it, or
    // the database does not know the FourCC (transport streams, Matroska).
    std::string codecName;

    // MPEG analysis: the picture description by source (see VideoHeaderIndex)
    // and the decoded results of the MPEG-2, MPEG-4 Part 2 and DV parsers.
    std::array<VideoHeader, kVideoHeaderCount> headers{};
    Mpeg2Summary mpeg2Summary;
    Mpeg4Summary mpeg4Summary;
    DvInfo dvInfo;

    // RIFF/AVI
    std::array<PictureRecord, 4> altPictures{};  // kPictureAviHeader: the AVI main header
    uint32_t handler = 0;                        // stream header handler FourCC, first byte low
    ChunkRunList chunkRuns;
};

struct ContainerInfo {
    int32_t typeId = kTypeUnknown;
    StreamLayout layout = StreamLayout::kNone;
    uint64_t fileSize = 0;
    bool cdImage = false;
    uint32_t sectorSize = 0;
    uint64_t baseOffset = 0;

    int32_t audioCount = 0;
    int32_t videoCount = 0;
    int32_t otherCount = 0;
    bool videoPresent = false, soundPresent = false;

    int32_t riffWalkResult = 0;
    int32_t topLevelRiffCount = 0;
    bool mpegInCdxa = false;
    bool dvdFormat = false;  // an MPEG-2 program stream with private stream 1 substreams

    int32_t bitrateKbps = 0;
    bool variableRate = false;
    int32_t secondBitrateKbps = 0;
    bool drm = false;
    int32_t declaredWidth = 0, declaredHeight = 0;
    int64_t creationTime = 0, modificationTime = 0;  // seconds since 1970, 0 when unknown
    uint64_t declaredLength = 0;                     // file length the headers declare, 0 when none

    uint32_t majorBrand = 0, minorVersion = 0;
    std::vector<uint32_t> compatibleBrands;  // at most eight
    std::vector<MetadataItem> metadata;      // at most sixteen
    std::vector<AttachedPicture> pictures;   // covers and other attached pictures

    // MPEG analysis (layout and audio/video/other counts above are shared).
    int32_t muxRateKbps = 0;       // program mux rate of the first pack that has one
    int32_t scrDurationMs = 0;     // duration extrapolated from the clock references
    std::string userData;          // user data blocks, each followed by a NUL, at most 16,383 bytes

    // RIFF/AVI
    uint32_t riffSize = 0;            // declared size of the first RIFF chunk
    bool bigEndianWave = false;       // the WAVE form under "RIFX", numbers big-endian
    uint64_t riffComputedSize = 0;    // 12 + the padded sizes of its children
    uint64_t moviAndPartsSize = 0;    // 'movi' list size plus size + 8 of each further RIFF part
    uint64_t riffChainEnd = 0;        // end of the top-level RIFF/JUNK chain
    bool moviDataSeen = false, legacyIndex = false, firstDataNotVideo = false;
    bool hasMisfit = false;           // a chunk did not fit its parent
    uint64_t misfitPosition = 0;
    uint32_t misfitSize = 0;
    std::string misfitId, misfitPath;
    uint32_t odmlFrameCount = 0;      // 'dmlh' total frames
    int32_t segmentValue = 0;         // 'segm' first byte + 1
    bool googleData = false, recList = false, dvType1 = false, mpegInStreamHeader = false, zeroVideoChunk = false;
    bool packedBitstream = false;     // set by the MPEG-4 probe
    uint64_t cdxaDataOffset = 0;
    uint32_t cdxaDataSize = 0;
    std::vector<std::string> riffTagLines;  // "[ID]\ttext" lines the walk listed
    std::vector<std::string> userDataLines; // at most five, each up to 127 characters

    // The file's playing time as the container states it (or the longest
    // stream's when it states none); 0 when unknown.
    int64_t durationMs = 0;

    // MP4/QuickTime, FLV, ASF
    int64_t playDurationMs = 0;

    // Transport streams: the packet size (188, 192, 204) and the first sync byte.
    uint32_t tsPacketSize = 0, tsSyncOffset = 0;
    // Matroska: the EBML header's DocType ("matroska", "webm") and its version.
    std::string docType;
    uint32_t docTypeVersion = 0;
    // Transport streams and Matroska: the streams the container declares, at most 100.
    std::vector<ContainerTrack> tracks;  // the ASF play duration (preroll included), 0 when unknown
};

// The records of one analysis, reset before each file.
struct AnalysisRecords {
    AnalysisRecords() { video.data.DrawFrom(spares.get()); }

    // The blocks the elementary buffers below draw on, kept from file to
    // file. Declared first, so that it outlives them; held by pointer, so
    // that the streams of moved records still find it.
    std::unique_ptr<SpareBlocks> spares = std::make_unique<SpareBlocks>();
    ContainerInfo container;
    VideoInfo video;
    std::array<std::unique_ptr<StreamInfo>, kMaxStreams> streams;
    // The streams the audio panel offers (indexes into streams), and the one shown.
    std::array<int, kMaxAudioListEntries> audioList{-1, -1, -1, -1};
    int shownAudio = 0;
    // The codec status codes the codec steps gave the video stream and each
    // audio list entry (0, undetermined, until a step has run).
    int videoStatus = 0;
    std::array<int, kMaxAudioListEntries> audioStatus{};
    // Sound streams the records hold beyond the four the list offers (slots,
    // in order) and their codec status codes, for the reports.
    std::vector<int> audioBeyondList;
    std::vector<int> audioBeyondListStatus;
    // What the container readers found wrong with the file, in the order met.
    std::vector<ReadStatus> diagnostics;

    // The stream in slot i, created (zero-filled) when the slot is empty.
    StreamInfo& Stream(size_t slot);
    // A new zero-filled stream whose buffer draws on these records' spares.
    std::unique_ptr<StreamInfo> NewStream();
    StreamInfo* StreamIf(size_t slot) const { return slot < kMaxStreams ? streams[slot].get() : nullptr; }
    void Reset();
};

// The nine result records of a stream, with what the container declared
// standing in for the record of its source kind when that one is empty.
std::array<AudioResult, kAudioClassCount> EffectiveResults(const StreamInfo& stream);

}  // namespace torvo
