// CSupMKV: Matroska and WebM files (the EBML element tree of RFC 8794 /
// RFC 9559): Segment Info, Tracks, Tags, and the first blocks of each
// track, which go into the VideoInfo and StreamInfo buffers where the
// elementary-stream parsers take over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/FileCache.h"
#include "records/Records.h"
#include "formats/containers/ElementaryProbe.h"

namespace torvo {

enum class MkvTrackKind { kOther, kVideo, kAudio, kSubtitle };

// What a CodecID means: its name, the kind of track, and what runs over its data.
struct MkvCodec {
    std::string_view id;   // "V_MPEG4/ISO/AVC"; ids ending in '/' match as prefixes
    std::string_view name;
    MkvTrackKind kind = MkvTrackKind::kOther;
    VideoCodecKind video = VideoCodecKind::kNone;
    uint32_t fourcc = 0;   // video: the FourCC the codec database names
    unsigned tests = 0;    // sound: the elementary audio tests that fit
    int32_t formatTag = 0; // sound: the WAVE format tag the codec database names
};

// The row for a CodecID (a row named "не знаю" of kind other when unlisted).
const MkvCodec& FindMkvCodec(std::string_view codecId);

// The walk's depth is bounded by the element structure it knows (nested
// simple tags and content encodings have caps of their own); every level
// caps the children it looks at, and the whole walk the elements it reads.
class CSupMKV {
public:
    static constexpr int kMaxChildrenPerLevel = 1 << 16;
    static constexpr uint64_t kMaxElementsWalked = 1 << 20;
    static constexpr size_t kMaxTracks = 64;
    static constexpr size_t kMaxCodecPrivate = 0x10000;
    static constexpr size_t kMaxText = 255;
    static constexpr uint32_t kFramesWanted = 48;     // blocks collected per track
    static constexpr int kMaxClustersRead = 512;
    static constexpr size_t kMaxBlockBytes = 0x400000;

    struct Track {
        uint64_t number = 0, uid = 0;
        uint64_t type = 0;  // 1 video, 2 audio, 17 subtitle
        std::string codecId, codecName, name, language = "eng";
        std::vector<uint8_t> codecPrivate;
        uint64_t pixelWidth = 0, pixelHeight = 0, displayWidth = 0, displayHeight = 0, displayUnit = 0;
        uint64_t defaultDurationNs = 0;
        double samplingFrequency = 0, outputSamplingFrequency = 0;
        uint64_t channels = 0, bitDepth = 0;
        uint64_t compression = ~uint64_t(0);  // ContentCompAlgo; none when all bits set
        std::vector<uint8_t> strippedHeader;  // header stripping: bytes removed from each frame
        // Collection.
        const MkvCodec* codec = nullptr;
        int slot = -1;                 // StreamInfo slot of a sound track
        bool collectsVideo = false;
        int nalLengthSize = 0;         // AVC/HEVC frames: NAL length-prefix size
        uint32_t frames = 0;
        std::vector<uint8_t> firstFrame;  // the first bytes of the first frame
    };

    CSupMKV(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupMKV();

    // The whole analysis; the status says where the file stops short (a
    // Segment or header cut off) or that it holds no Segment with a track.
    ReadStatus Analyse();

    const std::vector<Track>& Tracks() const { return tracks_; }
    uint64_t TimecodeScale() const { return timecodeScale_; }
    double Duration() const { return duration_; }  // in timecode-scale units

private:
    struct Element {
        uint32_t id = 0;
        uint64_t start = 0, payload = 0, end = 0;
        bool unknownSize = false;
    };
    // The child at position within [position, end): false when its header is
    // malformed or its size exceeds what the parent has left.
    bool ChildAt(uint64_t position, uint64_t end, Element& element);
    ByteView PayloadView(const Element& element, size_t maxLength);
    uint64_t Unsigned(const Element& element);
    std::string Text(const Element& element);

    void ReadSegment(const Element& segment);
    void ReadSeekHead(const Element& seekHead, const Element& segment);
    // The nearest position after `after` that the seek head names for a
    // Segment child not read yet; 0 when there is none.
    uint64_t NextSeekTarget(uint64_t after, const std::vector<uint32_t>& read) const;
    void ReadInfo(const Element& info);
    void ReadTracks(const Element& tracks);
    void ReadTrackEntry(const Element& entry);
    void ReadVideoSettings(const Element& video, Track& track);
    void ReadAudioSettings(const Element& audio, Track& track);
    void ReadContentEncodings(const Element& encodings, Track& track, int depth);
    void ReadTags(const Element& tags);
    // Attached pictures (covers); other attachments are passed over.
    void ReadAttachments(const Element& attachments);
    void ReadTag(const Element& tag);
    // A simple tag of the track of that UID, or of the whole file for 0.
    void ReadSimpleTag(const Element& simpleTag, uint64_t trackUid, int depth);
    // "h:mm:ss.fffffffff" as milliseconds; 0 for anything else.
    static int64_t ClockTextMs(std::string_view text);
    uint64_t ReadCluster(const Element& cluster);
    void ReadBlock(uint64_t position, uint64_t size);
    void CollectFrame(Track& track, ByteView frame);
    bool WantsMoreBlocks() const;
    // The end of each track's last block among the clusters that begin in
    // the file's last kTailBytes (and those the header walk read, where it
    // reached the tail), for tracks no DURATION tag times.
    void ReadTailBlocks();
    // A block's end from its first bytes (track number, relative time,
    // lacing), its BlockDuration (0 for none), its cluster's time (-1 when
    // not known) and the nanoseconds its DiscardPadding drops.
    void NoteBlock(ByteView block, uint64_t duration, int64_t clusterTime, uint64_t discardNs);
    static uint64_t DiscardedNs(ByteView payload);

    void PrepareTracks();
    void FinishTracks();
    void FinishVideo(Track& track);
    static std::string_view VideoCodecIdOf(const Track& track);
    static std::string_view SoundCodecIdOf(const Track& track, int bits);
    void FinishSound(Track& track, StreamInfo& sound);

    CFileCache& reader_;
    AnalysisRecords& records_;
    std::vector<Track> tracks_;
    std::vector<std::pair<uint32_t, uint64_t>> seeks_;  // Segment children by id and position
    bool tracksPrepared_ = false;
    uint64_t timecodeScale_ = 1000000;
    double duration_ = 0;
    uint64_t walked_ = 0;
    int clustersRead_ = 0;
    // The DURATION tags of the tracks, by track UID, in milliseconds.
    static constexpr size_t kMaxTrackDurations = 128;
    std::vector<std::pair<uint64_t, int64_t>> trackDurations_;
    // The end of each track's last block in the tail, and in the clusters the
    // header walk read, by track number, in timecode-scale units.
    struct BlockSpan {
        uint64_t track = 0;
        int64_t end = 0, lastStart = 0;  // the latest block end and block start seen
        int64_t lastFrames = 0;          // the frames laced in the block that starts last
    };
    std::vector<BlockSpan> blockEnds_;
    // How far the header walk read the clusters without a gap, and whether it still has none.
    uint64_t walkedUpTo_ = 0;
    bool walkedWhole_ = true;
    static constexpr uint64_t kTailBytes = 0x40000;
    std::vector<uint8_t> block_;
};

}  // namespace torvo
