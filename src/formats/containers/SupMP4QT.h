// CSupMP4QT: the box (atom) structure of MP4 and QuickTime files (ISO/IEC
// 14496-12/14, the QuickTime file format): file type, movie header, iTunes
// metadata, and per track the handler, media header, track header and sample
// tables. The first samples of the video and sound tracks are collected into
// the elementary buffers, where the elementary-stream parsers take over.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

class CSupMP4QT {
public:
    static constexpr size_t kMaxTableEntries = 4096;
    static constexpr uint64_t kOffsetStoreLimit = 0x400000;  // chunk offsets are kept up to the first one beyond
    static constexpr size_t kMaxDecoderInfo = 256;
    static constexpr size_t kMaxMetadataText = 64;

    // The elementary-stream descriptor of the last "esds" box read (ISO/IEC 14496-1).
    struct EsDescriptor {
        uint32_t boxSize = 0, boxType = 0;
        uint8_t version = 0;
        uint32_t flags = 0;
        uint8_t esTag = 0, esSize = 0;
        uint16_t esId = 0;
        uint8_t esFlags = 0;
        uint8_t configTag = 0, configSize = 0;
        uint8_t objectType = 0, streamType = 0;
        uint32_t bufferSizeDB = 0, maxBitrate = 0, avgBitrate = 0;
        uint8_t specificTag = 0, specificSize = 0;
        std::array<uint8_t, kMaxDecoderInfo> specificInfo{};
        size_t specificLength = 0;  // bytes held in specificInfo
    };

    struct ChunkRun {
        uint32_t firstChunk = 0, samplesPerChunk = 0, descriptionIndex = 0;
    };

    // The sample tables of one track kind, as far as they are kept.
    struct SampleTables {
        uint32_t chunkCount = 0;
        std::vector<uint64_t> chunkOffsets;  // at most 4096
        uint32_t sampleCount = 0;
        std::vector<uint32_t> sampleSizes;  // at most 4096
        uint64_t totalSize = 0;
        uint32_t runCount = 0;
        std::vector<ChunkRun> runs;  // at most 4096
        int avcLengthSize = 0;       // H.264 samples: NAL length-prefix size; 0 copies samples as they are
    };

    enum TrackKind { kVideo = 0, kSound = 1 };

    // The audio stream goes to records.Stream(audioSlot), created when the slot is empty.
    CSupMP4QT(CFileCache& reader, AnalysisRecords& records, size_t audioSlot = 0);
    virtual ~CSupMP4QT();

    // True when an "ftyp" box was found at the top level: brands into ContainerInfo.
    bool ReadFtyp();
    // Reads the movie box's tracks and says where the file's top-level boxes
    // stop short or go wrong (a file without "moov" is cut before it).
    ReadStatus ReadMovie();
    // Whether ReadMovie read at least one video or sound track.
    bool TracksRead() const { return tracksRead_; }

    // Follows a backslash-separated path of box types ("moov\\mvhd") from the
    // level of [start, end); on success the payload range of the last box.
    bool FindBox(std::string_view path, uint64_t start, uint64_t end, uint64_t& payloadStart, uint64_t& payloadEnd);

    const EsDescriptor& LastEsDescriptor() const { return es_; }
    const SampleTables& Tables(TrackKind kind) const { return tables_[kind]; }

private:
    struct Box {
        uint32_t type = 0;
        uint64_t start = 0, payload = 0, end = 0;
    };
    // The box at position within [position, end), when its header and size are sound.
    bool BoxAt(uint64_t position, uint64_t end, Box& box);

    void ReadMovieHeader(uint64_t moovStart, uint64_t moovEnd);
    void ReadMetadataList(uint64_t moovStart, uint64_t moovEnd);
    bool ReadTrack(const Box& trak);
    void ReadVideoTrack(const Box& trak);
    void ReadSoundTrack(const Box& trak);
    uint32_t ReadMediaTimeScale(const Box& trak, uint64_t* durationOut);
    uint32_t ReadLastSampleDelta(const Box& trak);
    int64_t EditedDurationMs(const Box& trak);
    // The sample count and total duration (in media time units) of the time-to-sample table.
    struct SampleTiming {
        uint64_t samples = 0, ticks = 0;
    };
    SampleTiming ReadSampleTiming(const Box& trak);
    void ReadVideoEntry(const Box& trak);
    void ReadSoundEntry(const Box& trak);
    // The codec id a sound sample entry states: its type, with the sample
    // layout for PCM.
    static std::string SoundEntryCodecId(ByteView body, ByteView entry, const StreamInfo& sound);
    void ReadWaveFormat(ByteView entry, StreamInfo& sound);
    void ReadSampleTables(const Box& trak, SampleTables& tables, bool countFrames);
    void CollectSamples(const SampleTables& tables, ElementaryBuffer& out);

    // The two forms of the elementary-stream descriptor; the video form
    // returns the length of the decoder-specific information it accepted.
    size_t ReadEsdsVideo(ByteView box);
    void ReadEsdsSound(ByteView box, StreamInfo& sound);
    // Walks the top-level boxes to the end of the file; `moovSeen` tells
    // whether one of them was "moov".
    ReadStatus CheckTopLevel(bool& moovSeen);

    CFileCache& reader_;
    AnalysisRecords& records_;
    size_t audioSlot_;
    EsDescriptor es_;
    std::array<SampleTables, 2> tables_;
    bool tracksRead_ = false;
    uint32_t movieTimeScale_ = 0;
};

}  // namespace torvo
