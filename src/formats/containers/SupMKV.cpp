#include "formats/containers/SupMKV.h"

#include <algorithm>
#include <cmath>

#include "base/NumberRange.h"
#include "base/Text.h"
#include "formats/containers/CodecHeaders.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/CoverPicture.h"
#include "formats/containers/Ebml.h"
#include "formats/mpeg/SupHEVC.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

namespace torvo {

namespace {

// Element ids (with their length markers) as RFC 9559 assigns them to Matroska.
enum : uint32_t {
    kSegment = 0x18538067,
    kSeekHead = 0x114D9B74,
    kInfo = 0x1549A966,
    kTracks = 0x1654AE6B,
    kCluster = 0x1F43B675,
    kCues = 0x1C53BB6B,
    kTags = 0x1254C367,
    kChapters = 0x1043A770,
    kAttachments = 0x1941A469,
    kTimecodeScale = 0x2AD7B1,
    kDuration = 0x4489,
    kTitle = 0x7BA9,
    kMuxingApp = 0x4D80,
    kWritingApp = 0x5741,
    kDateUtc = 0x4461,
    kTrackEntry = 0xAE,
    kTrackNumber = 0xD7,
    kTrackUid = 0x73C5,
    kTrackType = 0x83,
    kDefaultDuration = 0x23E383,
    kName = 0x536E,
    kLanguage = 0x22B59C,
    kLanguageBcp47 = 0x22B59D,
    kCodecId = 0x86,
    kCodecPrivate = 0x63A2,
    kCodecName = 0x258688,
    kVideo = 0xE0,
    kPixelWidth = 0xB0,
    kPixelHeight = 0xBA,
    kDisplayWidth = 0x54B0,
    kDisplayHeight = 0x54BA,
    kDisplayUnit = 0x54B2,
    kAudio = 0xE1,
    kSamplingFrequency = 0xB5,
    kOutputSamplingFrequency = 0x78B5,
    kChannels = 0x9F,
    kBitDepth = 0x6264,
    kContentEncodings = 0x6D80,
    kContentEncoding = 0x6240,
    kContentCompression = 0x5034,
    kContentCompAlgo = 0x4254,
    kContentCompSettings = 0x4255,
    kTag = 0x7373,
    kTargets = 0x63C0,
    kTagTrackUid = 0x63C5,
    kSimpleTag = 0x67C8,
    kTagName = 0x45A3,
    kTagString = 0x4487,
    kSimpleBlock = 0xA3,
    kClusterTimestamp = 0xE7,
    kCrc32 = 0xBF,
    kAttachedFile = 0x61A7,
    kFileMimeType = 0x4660,
    kFileData = 0x465C,
    kBlockDuration = 0x9B,
    kDiscardPadding = 0x75A2,
    kBlockGroup = 0xA0,
    kBlock = 0xA1,
    kDocTypeVersion = 0x4287,
    kSeek = 0x4DBB,
    kSeekId = 0x53AB,
    kSeekPosition = 0x53AC,
};
constexpr size_t kMaxSeekEntries = 64;

constexpr uint32_t kElementHeadBytes = 12;
constexpr size_t kFirstFrameBytes = 64;
constexpr int kMaxTagDepth = 4;
constexpr uint64_t kHeaderStrippingAlgo = 3;
constexpr int64_t kSeconds2001To1970 = 978307200;
// Seconds of the Matroska epoch; dates beyond the year 3000 are not shown.
constexpr uint64_t kSecondsPerNs = 1000000000;

// Ids that end a cluster of unknown size: the Segment's own children.
bool IsSegmentChild(uint32_t id) {
    return id == kCluster || id == kCues || id == kTags || id == kInfo || id == kTracks || id == kSeekHead ||
           id == kChapters || id == kAttachments;
}

constexpr uint32_t F(const char (&code)[5]) { return FourCCOf(code); }
constexpr MkvTrackKind kV = MkvTrackKind::kVideo, kA = MkvTrackKind::kAudio, kS = MkvTrackKind::kSubtitle;
constexpr VideoCodecKind kNoVideo = VideoCodecKind::kNone;

// CodecIDs of the Matroska codec mappings; an id ending in '/' names a family.
constexpr MkvCodec kCodecs[] = {
    {"V_MPEG4/ISO/AVC", "H.264/AVC", kV, VideoCodecKind::kH264, F("H264"), 0, 0},
    {"V_MPEGH/ISO/HEVC", "HEVC", kV, VideoCodecKind::kHevc, F("HEVC"), 0, 0},
    {"V_MPEG4/ISO/", "MPEG-4 Part 2", kV, VideoCodecKind::kMpeg4, F("MP4V"), 0, 0},
    {"V_MPEG4/MS/V3", "MS MPEG-4 v3", kV, VideoCodecKind::kOther, F("MP43"), 0, 0},
    {"V_MPEG1", N_("MPEG-1 видео"), kV, VideoCodecKind::kMpeg12, F("MPG1"), 0, 0},
    {"V_MPEG2", N_("MPEG-2 видео"), kV, VideoCodecKind::kMpeg12, F("MPG2"), 0, 0},
    {"V_VP8", "VP8", kV, VideoCodecKind::kOther, F("VP80"), 0, 0},
    {"V_VP9", "VP9", kV, VideoCodecKind::kOther, F("VP90"), 0, 0},
    {"V_AV1", "AV1", kV, VideoCodecKind::kOther, F("AV01"), 0, 0},
    {"V_THEORA", "Theora", kV, VideoCodecKind::kOther, F("theo"), 0, 0},
    {"V_MS/VFW/FOURCC", "Video for Windows", kV, VideoCodecKind::kOther, 0, 0, 0},
    {"V_UNCOMPRESSED", N_("без сжатия"), kV, VideoCodecKind::kOther, 0, 0, 0},
    {"V_PRORES", "Apple ProRes", kV, VideoCodecKind::kOther, F("apcn"), 0, 0},
    {"V_FFV1", "FFV1", kV, VideoCodecKind::kOther, F("FFV1"), 0, 0},
    {"V_MJPEG", "Motion JPEG", kV, VideoCodecKind::kOther, F("MJPG"), 0, 0},
    {"V_REAL/", "RealVideo", kV, VideoCodecKind::kOther, 0, 0, 0},
    {"A_MPEG/L3", "MPEG Layer 3", kA, kNoVideo, 0, kTestMpegAudio, 0x0055},
    {"A_MPEG/L2", "MPEG Layer 2", kA, kNoVideo, 0, kTestMpegAudio, 0x0050},
    {"A_MPEG/L1", "MPEG Layer 1", kA, kNoVideo, 0, kTestMpegAudio, 0x0050},
    {"A_AC3", "AC-3", kA, kNoVideo, 0, kTestAc3, 0x2000},
    {"A_EAC3", "E-AC-3", kA, kNoVideo, 0, 0, 0},
    {"A_DTS", "DTS", kA, kNoVideo, 0, kTestDts, 0x2001},
    {"A_AAC", "AAC", kA, kNoVideo, 0, 0, 0x00FF},
    {"A_VORBIS", "Vorbis", kA, kNoVideo, 0, 0, 0},
    {"A_OPUS", "Opus", kA, kNoVideo, 0, 0, 0},
    {"A_FLAC", "FLAC", kA, kNoVideo, 0, 0, 0},
    {"A_ALAC", "Apple Lossless", kA, kNoVideo, 0, 0, 0},
    {"A_TRUEHD", "Dolby TrueHD", kA, kNoVideo, 0, 0, 0},
    {"A_PCM/INT/LIT", "PCM", kA, kNoVideo, 0, 0, 0x0001},
    {"A_PCM/INT/BIG", "PCM (big-endian)", kA, kNoVideo, 0, 0, 0},
    {"A_PCM/FLOAT/IEEE", N_("PCM (плав.точка)"), kA, kNoVideo, 0, 0, 0x0003},
    {"A_MS/ACM", "Audio Compression Manager", kA, kNoVideo, 0, 0, 0},
    {"A_REAL/", "RealAudio", kA, kNoVideo, 0, 0, 0},
    {"A_WAVPACK4", "WavPack", kA, kNoVideo, 0, 0, 0},
    {"S_TEXT/UTF8", N_("текст (UTF-8)"), kS, kNoVideo, 0, 0, 0},
    {"S_TEXT/ASS", "ASS", kS, kNoVideo, 0, 0, 0},
    {"S_TEXT/SSA", "SSA", kS, kNoVideo, 0, 0, 0},
    {"S_TEXT/WEBVTT", "WebVTT", kS, kNoVideo, 0, 0, 0},
    {"S_HDMV/PGS", "PGS", kS, kNoVideo, 0, 0, 0},
    {"S_VOBSUB", "VobSub", kS, kNoVideo, 0, 0, 0},
    {"D_WEBVTT/", "WebVTT", kS, kNoVideo, 0, 0, 0},
};
constexpr MkvCodec kUnknownCodec = {"", N_("не знаю"), MkvTrackKind::kOther, kNoVideo, 0, 0, 0};

// An EBML variable-length unsigned integer at pos, marker bit dropped; pos
// moves past it.
bool ReadVint(ByteView bytes, uint64_t& pos, uint64_t& value, int& length) {
    const uint8_t first = bytes.U8(pos);
    if (first == 0) return false;
    length = 1;
    while (!(first & (0x80 >> (length - 1)))) ++length;
    if (!bytes.Has(pos, static_cast<uint64_t>(length))) return false;
    value = first & (0xFFu >> length);
    for (int i = 1; i < length; ++i) value = value << 8 | bytes.U8(pos + static_cast<uint64_t>(i));
    pos += static_cast<uint64_t>(length);
    return true;
}

// The frames of a block's data after its header, by its lacing (none, Xiph, fixed, EBML).
std::vector<ByteView> SplitLacedFrames(ByteView data, unsigned lacing) {
    if (lacing == 0) return {data};
    if (data.empty()) return {};
    if (lacing == 1) return SplitXiphLacing(data, 256);
    const size_t count = data.U8(0) + 1u;
    std::vector<uint64_t> sizes;
    uint64_t pos = 1;
    if (lacing == 3 && count > 1) {  // EBML: the first size, then differences less half their range
        uint64_t value = 0;
        int length = 0;
        if (!ReadVint(data, pos, value, length)) return {};
        int64_t size = static_cast<int64_t>(value);
        sizes.push_back(value);
        for (size_t i = 1; i + 1 < count; ++i) {
            if (!ReadVint(data, pos, value, length)) return {};
            const int64_t bias = (int64_t(1) << (7 * length - 1)) - 1;
            size += static_cast<int64_t>(value) - bias;
            if (size < 0) return {};
            sizes.push_back(static_cast<uint64_t>(size));
        }
    } else if (lacing == 2) {  // fixed: equal parts
        const uint64_t left = data.size() - 1;
        if (left % count) return {};
        sizes.assign(count - 1, left / count);
    }
    std::vector<ByteView> frames;
    for (const uint64_t size : sizes) {
        if (!data.Has(pos, size)) return {};
        frames.push_back(data.Sub(pos, size));
        pos += size;
    }
    frames.push_back(data.From(pos));
    return frames;
}

}  // namespace

namespace {
// The kind a track entry declares, or its codec's kind when it declares none.
MkvTrackKind KindOf(const CSupMKV::Track& track, const MkvCodec& codec) {
    switch (track.type) {
        case 1: return MkvTrackKind::kVideo;
        case 2: return MkvTrackKind::kAudio;
        case 17: return MkvTrackKind::kSubtitle;
        case 0: return codec.kind;
        default: return MkvTrackKind::kOther;
    }
}
}  // namespace

const MkvCodec& FindMkvCodec(std::string_view codecId) {
    for (const MkvCodec& row : kCodecs) {
        const bool family = row.id.ends_with('/');
        if (family ? codecId.starts_with(row.id) : codecId == row.id) return row;
    }
    // "A_AAC/MPEG4/LC" and its kin of older muxers.
    if (codecId.starts_with("A_AAC")) return FindMkvCodec("A_AAC");
    return kUnknownCodec;
}

CSupMKV::CSupMKV(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupMKV::~CSupMKV() = default;

bool CSupMKV::ChildAt(uint64_t position, uint64_t end, Element& element) {
    if (position >= end || ++walked_ > kMaxElementsWalked) return false;
    const auto head = static_cast<uint32_t>(std::min<uint64_t>(kElementHeadBytes, end - position));
    const ByteView bytes = reader_.MapView(position, head);
    EbmlElement e;
    if (!ReadEbmlElement(bytes, 0, e)) return false;
    element.id = e.id;
    element.start = position;
    element.payload = position + e.headerLength;
    element.unknownSize = e.unknownSize;
    if (element.payload > end) return false;
    if (e.unknownSize) {
        element.end = end;
    } else {
        if (e.size > end - element.payload) return false;
        element.end = element.payload + e.size;
    }
    return true;
}

ByteView CSupMKV::PayloadView(const Element& element, size_t maxLength) {
    const uint64_t length = std::min<uint64_t>(element.end - element.payload, maxLength);
    return reader_.MapView(element.payload, static_cast<uint32_t>(std::min<uint64_t>(length, CFileCache::kWindowSize)));
}

uint64_t CSupMKV::Unsigned(const Element& element) {
    return element.end - element.payload <= 8 ? EbmlUnsigned(PayloadView(element, 8)) : 0;
}

std::string CSupMKV::Text(const Element& element) { return EbmlText(PayloadView(element, kMaxText), kMaxText); }

ReadStatus CSupMKV::Analyse() {
    ContainerInfo& container = records_.container;
    const uint64_t fileEnd = reader_.LogicalLength();
    Element element;
    uint64_t position = 0;
    bool segmentRead = false;
    ReadStatus status;
    for (int count = 0; count < kMaxChildrenPerLevel && position < fileEnd; ++count) {
        if (!ChildAt(position, fileEnd, element)) {
            // The Segment of a file cut short claims more than is left: it is
            // read as far as the file goes, and the length it declares is kept.
            EbmlElement e;
            const ByteView head = reader_.MapView(position, static_cast<uint32_t>(std::min<uint64_t>(kElementHeadBytes, fileEnd - position)));
            const bool parsed = ReadEbmlElement(head, 0, e);
            if (segmentRead || !parsed || e.id != kSegment) {
                if (parsed && !e.unknownSize && e.headerLength + e.size > fileEnd - position)
                    status = CutShort(position, Format("element 0x%X", e.id), e.size, fileEnd - std::min(position + e.headerLength, fileEnd));
                break;
            }
            element = {e.id, position, position + e.headerLength, fileEnd, false};
            status = CutShort(position, "Segment", e.size, fileEnd - std::min(element.payload, fileEnd));
            if (element.payload >= fileEnd) break;
            container.declaredLength = std::min<uint64_t>(element.payload + e.size, UINT64_MAX / 2);
        } else if (element.id == kSegment && !element.unknownSize && !segmentRead) {
            container.declaredLength = element.end;
        }
        if (element.id == kEbmlHeaderId) {
            container.docType = EbmlDocType(reader_.MapView(element.start, static_cast<uint32_t>(std::min<uint64_t>(element.end - element.start, 256))));
            for (uint64_t p = element.payload; p < element.end;) {
                Element child;
                if (!ChildAt(p, element.end, child)) break;
                if (child.id == kDocTypeVersion) container.docTypeVersion = static_cast<uint32_t>(std::min<uint64_t>(Unsigned(child), 99));
                p = child.end;
            }
        } else if (element.id == kSegment && !segmentRead) {
            segmentRead = true;
            ReadSegment(element);
        }
        if (element.end <= position) break;
        position = element.end;
    }
    PrepareTracks();
    ReadTailBlocks();
    FinishTracks();
    if (!segmentRead) return status.Merge(ReadStatus::Damaged(position, "no Segment element"));
    if (tracks_.empty()) return status.Merge(ReadStatus::Damaged(position, "no track in the Segment"));
    return status;
}

void CSupMKV::ReadSegment(const Element& segment) {
    Element element;
    uint64_t position = segment.payload;
    std::vector<uint32_t> read;
    for (int count = 0; count < kMaxChildrenPerLevel && ChildAt(position, segment.end, element); ++count) {
        switch (element.id) {
            case kSeekHead: ReadSeekHead(element, segment); break;
            case kInfo: ReadInfo(element); break;
            case kTracks: ReadTracks(element); break;
            case kTags: ReadTags(element); break;
            case kAttachments: ReadAttachments(element); break;
            case kCluster:
                PrepareTracks();
                if (!WantsMoreBlocks()) {
                    // Once every track has its blocks, the clusters are not walked
                    // further: the seek head leads to what lies beyond them.
                    const uint64_t next = NextSeekTarget(element.start, read);
                    if (next == 0) return;
                    position = next;
                    continue;
                }
                element.end = ReadCluster(element);
                break;
            default: break;
        }
        if (element.id == kInfo || element.id == kTracks || element.id == kTags || element.id == kAttachments)
            read.push_back(element.id);
        if (element.end <= position) break;
        position = element.end;
    }
}

void CSupMKV::ReadSeekHead(const Element& seekHead, const Element& segment) {
    Element seek;
    for (uint64_t p = seekHead.payload; seeks_.size() < kMaxSeekEntries && ChildAt(p, seekHead.end, seek); p = seek.end) {
        if (seek.id != kSeek) continue;
        uint32_t id = 0;
        uint64_t offset = ~uint64_t(0);
        Element e;
        for (uint64_t q = seek.payload; ChildAt(q, seek.end, e); q = e.end) {
            if (e.id == kSeekId) id = static_cast<uint32_t>(Unsigned(e));
            else if (e.id == kSeekPosition) offset = Unsigned(e);
        }
        // Positions count from the Segment's payload.
        if ((id == kInfo || id == kTracks || id == kTags) && offset < segment.end - segment.payload)
            seeks_.push_back({id, segment.payload + offset});
    }
}

uint64_t CSupMKV::NextSeekTarget(uint64_t after, const std::vector<uint32_t>& read) const {
    uint64_t next = 0;
    for (const auto& [id, position] : seeks_) {
        if (position <= after || std::find(read.begin(), read.end(), id) != read.end()) continue;
        if (next == 0 || position < next) next = position;
    }
    return next;
}

void CSupMKV::ReadInfo(const Element& info) {
    Element e;
    std::vector<MetadataItem>& items = records_.container.metadata;
    auto addItem = [&](const char* name, const std::string& text) {
        if (!text.empty() && items.size() < kMaxMetadataItems) items.push_back({name, text, {}});
    };
    for (uint64_t p = info.payload; ChildAt(p, info.end, e); p = e.end) {
        switch (e.id) {
            case kTimecodeScale:
                if (const uint64_t scale = Unsigned(e); scale > 0) timecodeScale_ = scale;
                break;
            case kDuration: duration_ = EbmlFloat(PayloadView(e, 8)); break;
            case kTitle: addItem("Title", Text(e)); break;
            case kMuxingApp: addItem("MuxingApp", Text(e)); break;
            case kWritingApp: addItem("WritingApp", Text(e)); break;
            case kDateUtc:
                if (e.end - e.payload == 8) {
                    // Nanoseconds since 2001-01-01 00:00 UTC, signed.
                    const auto ns = static_cast<int64_t>(PayloadView(e, 8).Be64(0));
                    const int64_t seconds = ns / static_cast<int64_t>(kSecondsPerNs) + kSeconds2001To1970;
                    if (IsShowableTime(seconds)) records_.container.creationTime = seconds;
                }
                break;
            default: break;
        }
    }
    // Duration in timecode-scale units; the scale is in nanoseconds.
    if (std::isfinite(duration_) && duration_ > 0 && duration_ < 1e18) {
        const double ms = duration_ * static_cast<double>(timecodeScale_) / 1e6;
        if (ms >= 1 && ms < 9e15) records_.video.durationMs = records_.container.durationMs = static_cast<int64_t>(ms);
    }
}

void CSupMKV::ReadTracks(const Element& tracksElement) {
    Element e;
    for (uint64_t p = tracksElement.payload; ChildAt(p, tracksElement.end, e); p = e.end)
        if (e.id == kTrackEntry && tracks_.size() < kMaxTracks) ReadTrackEntry(e);
}

void CSupMKV::ReadTrackEntry(const Element& entry) {
    Track track;
    Element e;
    for (uint64_t p = entry.payload; ChildAt(p, entry.end, e); p = e.end) {
        switch (e.id) {
            case kTrackNumber: track.number = Unsigned(e); break;
            case kTrackUid: track.uid = Unsigned(e); break;
            case kTrackType: track.type = Unsigned(e); break;
            case kDefaultDuration: track.defaultDurationNs = Unsigned(e); break;
            case kName: track.name = Text(e); break;
            case kLanguage: track.language = Text(e); break;
            case kLanguageBcp47:
                if (const std::string bcp = Text(e); !bcp.empty()) track.language = bcp;
                break;
            case kCodecId: track.codecId = Text(e); break;
            case kCodecName: track.codecName = Text(e); break;
            case kCodecPrivate: {
                const ByteView bytes = PayloadView(e, kMaxCodecPrivate);
                track.codecPrivate.assign(bytes.data(), bytes.data() + bytes.size());
                break;
            }
            case kVideo: ReadVideoSettings(e, track); break;
            case kAudio: ReadAudioSettings(e, track); break;
            case kContentEncodings: ReadContentEncodings(e, track, 0); break;
            default: break;
        }
    }
    if (track.number > 0) tracks_.push_back(std::move(track));
}

void CSupMKV::ReadVideoSettings(const Element& video, Track& track) {
    Element e;
    for (uint64_t p = video.payload; ChildAt(p, video.end, e); p = e.end) {
        switch (e.id) {
            case kPixelWidth: track.pixelWidth = Unsigned(e); break;
            case kPixelHeight: track.pixelHeight = Unsigned(e); break;
            case kDisplayWidth: track.displayWidth = Unsigned(e); break;
            case kDisplayHeight: track.displayHeight = Unsigned(e); break;
            case kDisplayUnit: track.displayUnit = Unsigned(e); break;
            default: break;
        }
    }
}

void CSupMKV::ReadAudioSettings(const Element& audio, Track& track) {
    Element e;
    for (uint64_t p = audio.payload; ChildAt(p, audio.end, e); p = e.end) {
        switch (e.id) {
            case kSamplingFrequency: track.samplingFrequency = EbmlFloat(PayloadView(e, 8)); break;
            case kOutputSamplingFrequency: track.outputSamplingFrequency = EbmlFloat(PayloadView(e, 8)); break;
            case kChannels: track.channels = Unsigned(e); break;
            case kBitDepth: track.bitDepth = Unsigned(e); break;
            default: break;
        }
    }
}

void CSupMKV::ReadContentEncodings(const Element& parent, Track& track, int depth) {
    // ContentEncodings > ContentEncoding > ContentCompression > algorithm and settings.
    if (depth > 2) return;
    Element e;
    for (uint64_t p = parent.payload; ChildAt(p, parent.end, e); p = e.end) {
        if (e.id == kContentEncoding || e.id == kContentCompression) {
            if (e.id == kContentCompression && track.compression == ~uint64_t(0)) track.compression = 0;  // zlib by default
            ReadContentEncodings(e, track, depth + 1);
        } else if (e.id == kContentCompAlgo) {
            track.compression = Unsigned(e);
        } else if (e.id == kContentCompSettings) {
            const ByteView bytes = PayloadView(e, 256);
            track.strippedHeader.assign(bytes.data(), bytes.data() + bytes.size());
        }
    }
}

void CSupMKV::ReadAttachments(const Element& attachments) {
    Element file, e;
    for (uint64_t p = attachments.payload; ChildAt(p, attachments.end, file); p = file.end) {
        if (file.id != kAttachedFile) continue;
        std::string mime;
        Element data;
        for (uint64_t q = file.payload; ChildAt(q, file.end, e); q = e.end) {
            if (e.id == kFileMimeType) mime = Text(e);
            else if (e.id == kFileData) data = e;
        }
        // Fonts and other files are not pictures.
        if (mime.starts_with("image/") && data.end > data.payload)
            AddAttachedPicture(PayloadView(data, CFileCache::kWindowSize), records_.container.pictures);
    }
}

void CSupMKV::ReadTags(const Element& tags) {
    Element e;
    for (uint64_t p = tags.payload; ChildAt(p, tags.end, e); p = e.end)
        if (e.id == kTag) ReadTag(e);
}

void CSupMKV::ReadTag(const Element& tag) {
    // Tags aimed at a track describe that track; the others the whole file.
    uint64_t trackUid = 0;
    Element e;
    for (uint64_t p = tag.payload; ChildAt(p, tag.end, e); p = e.end) {
        if (e.id != kTargets) continue;
        Element t;
        for (uint64_t q = e.payload; ChildAt(q, e.end, t); q = t.end)
            if (t.id == kTagTrackUid && Unsigned(t) != 0) trackUid = Unsigned(t);
    }
    for (uint64_t p = tag.payload; ChildAt(p, tag.end, e); p = e.end)
        if (e.id == kSimpleTag) ReadSimpleTag(e, trackUid, 0);
}

void CSupMKV::ReadSimpleTag(const Element& simpleTag, uint64_t trackUid, int depth) {
    std::string name, text;
    Element e;
    for (uint64_t p = simpleTag.payload; ChildAt(p, simpleTag.end, e); p = e.end) {
        if (e.id == kTagName) name = Text(e);
        else if (e.id == kTagString) text = Text(e);
        else if (e.id == kSimpleTag && depth < kMaxTagDepth) ReadSimpleTag(e, trackUid, depth + 1);
    }
    std::vector<MetadataItem>& items = records_.container.metadata;
    if (trackUid == 0 && !name.empty() && !text.empty() && items.size() < kMaxMetadataItems)
        items.push_back({name, text, {}});
    // Writers that time each track say so in a DURATION tag ("01:02:03.456000000").
    if (const int64_t ms = ClockTextMs(text); trackUid != 0 && name == "DURATION" && ms > 0 &&
                                              trackDurations_.size() < kMaxTrackDurations)
        trackDurations_.push_back({trackUid, ms});
}

int64_t CSupMKV::ClockTextMs(std::string_view text) {
    // Hours, minutes and whole seconds, then a fraction (read without the locale).
    uint64_t parts[3] = {};
    size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        const size_t start = i;
        while (i < text.size() && i - start < 9 && text[i] >= '0' && text[i] <= '9') parts[part] = parts[part] * 10 + uint64_t(text[i++] - '0');
        if (i == start || (part < 2 && (i >= text.size() || text[i++] != ':'))) return 0;
    }
    if (parts[1] >= 60 || parts[2] >= 60) return 0;
    int64_t ms = int64_t((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 1000;
    if (i < text.size() && text[i] == '.') {
        int64_t scale = 100;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && scale > 0; ++i, scale /= 10) ms += (text[i] - '0') * scale;
    }
    return ms;
}

bool CSupMKV::WantsMoreBlocks() const {
    if (clustersRead_ >= kMaxClustersRead) return false;
    return std::any_of(tracks_.begin(), tracks_.end(), [this](const Track& t) {
        if (t.collectsVideo) return t.frames < kFramesWanted && records_.video.data.Room() > 0;
        const StreamInfo* s = t.slot >= 0 ? records_.StreamIf(static_cast<size_t>(t.slot)) : nullptr;
        return s && t.frames < kFramesWanted && s->data.Room() > 0;
    });
}

// A DiscardPadding element's nanoseconds: a signed integer, of which only
// a positive value (samples to drop at the end) shortens the block.
uint64_t CSupMKV::DiscardedNs(ByteView payload) {
    return payload.empty() || payload.size() > 8 || payload.U8(0) >= 0x80 ? 0 : EbmlUnsigned(payload);
}

uint64_t CSupMKV::ReadCluster(const Element& cluster) {
    const bool collect = WantsMoreBlocks();
    ++clustersRead_;
    Element e;
    uint64_t p = cluster.payload;
    int64_t clusterTime = -1;
    bool whole = false;
    for (int count = 0; count < kMaxChildrenPerLevel; ++count) {
        if (p >= cluster.end) whole = true;
        if (whole || !ChildAt(p, cluster.end, e)) break;
        // A cluster of unknown size ends where the next Segment child begins.
        if (cluster.unknownSize && IsSegmentChild(e.id)) {
            whole = true;
            break;
        }
        if (e.id == kClusterTimestamp) clusterTime = static_cast<int64_t>(std::min<uint64_t>(Unsigned(e), INT64_MAX / 4));
        if (e.id == kSimpleBlock) {
            NoteBlock(reader_.MapView(e.payload, static_cast<uint32_t>(std::min<uint64_t>(e.end - e.payload, 16))), 0, clusterTime, 0);
            if (collect) ReadBlock(e.payload, e.end - e.payload);
        } else if (e.id == kBlockGroup) {
            Element b, block;
            uint64_t duration = 0, discard = 0;
            for (uint64_t q = e.payload; ChildAt(q, e.end, b); q = b.end) {
                if (b.id == kBlock) block = b;
                else if (b.id == kBlockDuration) duration = Unsigned(b);
                else if (b.id == kDiscardPadding) discard = DiscardedNs(PayloadView(b, 8));
            }
            if (block.id == kBlock) {
                NoteBlock(reader_.MapView(block.payload, static_cast<uint32_t>(std::min<uint64_t>(block.end - block.payload, 16))),
                          duration, clusterTime, discard);
                if (collect) ReadBlock(block.payload, block.end - block.payload);
            }
        }
        p = e.end;
    }
    // The walk's blocks time the tracks only while it has seen every cluster up to here.
    if (walkedWhole_) {
        walkedUpTo_ = p;
        walkedWhole_ = whole || cluster.unknownSize;
    }
    return cluster.unknownSize ? p : cluster.end;
}

void CSupMKV::ReadBlock(uint64_t position, uint64_t size) {
    if (size < 4 || size > kMaxBlockBytes) return;
    // A block in the header buffer or the read window is read where it lies.
    ByteView bytes = reader_.MapView(position, static_cast<uint32_t>(size));
    if (bytes.size() != size) {
        block_.resize(static_cast<size_t>(size));
        if (reader_.ReadAt(position, block_.data(), block_.size()) != block_.size()) return;
        bytes = ByteView(block_.data(), block_.size());
    }
    uint64_t pos = 0, number = 0;
    int length = 0;
    if (!ReadVint(bytes, pos, number, length)) return;
    auto track = std::find_if(tracks_.begin(), tracks_.end(), [number](const Track& t) { return t.number == number; });
    if (track == tracks_.end() || (!track->collectsVideo && track->slot < 0)) return;
    // Relative time code (2 bytes) and flags; bits 1-2 of the flags give the lacing.
    const unsigned lacing = bytes.U8(pos + 2) >> 1 & 3;
    for (const ByteView frame : SplitLacedFrames(bytes.From(pos + 3), lacing)) CollectFrame(*track, frame);
}

void CSupMKV::NoteBlock(ByteView block, uint64_t duration, int64_t clusterTime, uint64_t discardNs) {
    uint64_t pos = 0, number = 0;
    int length = 0;
    if (clusterTime < 0 || !ReadVint(block, pos, number, length) || !block.Has(pos, 3)) return;
    const int64_t start = clusterTime + static_cast<int16_t>(block.Be16(pos));
    // Bits 1-2 of the flags give the lacing; a laced block's count of frames less one follows.
    const bool laced = (block.U8(pos + 2) >> 1 & 3) != 0;
    const int64_t frames = laced && block.Has(pos + 3, 1) ? block.U8(pos + 3) + 1 : 1;
    auto span = std::find_if(blockEnds_.begin(), blockEnds_.end(), [number](const BlockSpan& b) { return b.track == number; });
    if (span == blockEnds_.end()) {
        if (blockEnds_.size() >= kMaxTracks) return;
        span = blockEnds_.insert(blockEnds_.end(), BlockSpan{number, start, start, frames});
    }
    // Without a duration of its own, the block lasts as long as any of its
    // track; a sound track's blocks without one follow each other in time,
    // each frame as long as one of the block before it.
    auto track = std::find_if(tracks_.begin(), tracks_.end(), [number](const Track& t) { return t.number == number; });
    if (duration == 0 && track != tracks_.end()) duration = track->defaultDurationNs / timecodeScale_;
    if (start > span->lastStart) {
        if (duration == 0 && track != tracks_.end() && track->type == 2 && span->lastFrames > 0)
            duration = static_cast<uint64_t>((start - span->lastStart) * frames / span->lastFrames);
        span->lastStart = start;
        span->lastFrames = frames;
    }
    // The samples a last block's padding stands for are not played (Opus's end trimming).
    const uint64_t played = duration - std::min(duration, discardNs / timecodeScale_);
    span->end = std::max(span->end, start + static_cast<int64_t>(std::min<uint64_t>(played, UINT32_MAX)));
}

void CSupMKV::ReadTailBlocks() {
    const bool allTagged = std::all_of(tracks_.begin(), tracks_.end(), [this](const Track& t) {
        return std::any_of(trackDurations_.begin(), trackDurations_.end(), [&t](const auto& d) { return d.first == t.uid; });
    });
    if (tracks_.empty() || allTagged) return;
    const uint64_t fileEnd = reader_.LogicalLength();
    const uint64_t start = fileEnd > kTailBytes ? fileEnd - kTailBytes : 0;
    // The blocks the header walk passed end their tracks only where it went
    // on into the tail (a cluster longer than the tail begins before it):
    // otherwise blocks neither read may come after them.
    if (walkedUpTo_ < start) blockEnds_.clear();
    const ByteView tail = reader_.MapView(start, static_cast<uint32_t>(fileEnd - start));
    constexpr char kClusterId[] = "\x1F\x43\xB6\x75";
    int elements = 0;
    uint64_t next = 0;  // the search goes on after a whole cluster: its blocks' bytes are no ids
    for (uint64_t at = tail.Find(std::string_view(kClusterId, 4)); at != ByteView::npos && elements < kMaxChildrenPerLevel;
         at = tail.Find(std::string_view(kClusterId, 4), std::max(at + 4, next))) {
        EbmlElement cluster;
        if (!ReadEbmlElement(tail, at, cluster)) continue;
        const uint64_t payload = at + cluster.headerLength;
        // A cluster the tail cuts (or of unknown size) is read as far as the tail goes.
        const bool whole = !cluster.unknownSize && cluster.size <= tail.size() - std::min(payload, tail.size());
        const uint64_t end = whole ? payload + cluster.size : tail.size();
        // A cluster begins with its time stamp (after a CRC-32 element, where
        // the writer adds one); bytes that only look like its id do not.
        EbmlElement first;
        uint64_t firstAt = payload;
        if (ReadEbmlElement(tail, firstAt, first) && first.id == kCrc32 && !first.unknownSize)
            firstAt += first.headerLength + first.size;
        if (!ReadEbmlElement(tail, firstAt, first) || first.id != kClusterTimestamp) continue;
        if (whole) next = end;
        int64_t clusterTime = -1;
        EbmlElement e;
        for (uint64_t p = payload; p < end && ++elements < kMaxChildrenPerLevel && ReadEbmlElement(tail, p, e);) {
            const uint64_t body = p + e.headerLength;
            if (e.unknownSize || e.size > end - std::min(body, end)) break;
            const ByteView bytes = tail.Sub(body, e.size);
            if (e.id == kClusterTimestamp) {
                clusterTime = static_cast<int64_t>(std::min<uint64_t>(EbmlUnsigned(bytes), INT64_MAX / 4));
            } else if (clusterTime >= 0 && (e.id == kSimpleBlock || e.id == kBlockGroup)) {
                ByteView block = bytes;
                uint64_t duration = 0, discard = 0;
                if (e.id == kBlockGroup) {
                    block = {};
                    EbmlElement c;
                    for (uint64_t q = 0; q < bytes.size() && ReadEbmlElement(bytes, q, c) && !c.unknownSize &&
                                         c.size <= bytes.size() - std::min(q + c.headerLength, bytes.size());
                         q += c.headerLength + c.size) {
                        if (c.id == kBlock) block = bytes.Sub(q + c.headerLength, c.size);
                        else if (c.id == kBlockDuration) duration = EbmlUnsigned(bytes.Sub(q + c.headerLength, c.size));
                        else if (c.id == kDiscardPadding) discard = DiscardedNs(bytes.Sub(q + c.headerLength, c.size));
                    }
                }
                NoteBlock(block, duration, clusterTime, discard);
            }
            p = body + e.size;
        }
    }
}

void CSupMKV::CollectFrame(Track& track, ByteView frame) {
    if (track.frames >= kFramesWanted) return;
    // Other compressions (zlib, bzip2, LZO) cannot be read here.
    const bool stripped = track.compression == kHeaderStrippingAlgo;
    if (track.compression != ~uint64_t(0) && !stripped) return;
    std::vector<uint8_t> whole;
    if (stripped) {
        whole = track.strippedHeader;
        whole.insert(whole.end(), frame.data(), frame.data() + frame.size());
        frame = ByteView(whole.data(), whole.size());
    }
    if (track.frames == 0) track.firstFrame.assign(frame.data(), frame.data() + std::min(frame.size(), kFirstFrameBytes));
    ++track.frames;
    if (track.collectsVideo) {
        ElementaryBuffer& out = records_.video.data;
        if (track.nalLengthSize) AppendAvcSample(frame, track.nalLengthSize, out);
        else out.Append(frame);
    } else if (StreamInfo* sound = records_.StreamIf(static_cast<size_t>(track.slot))) {
        sound->data.Append(frame);
    }
}

void CSupMKV::PrepareTracks() {
    if (tracksPrepared_ || tracks_.empty()) return;
    tracksPrepared_ = true;
    VideoInfo& video = records_.video;
    size_t nextSlot = 0;
    for (Track& track : tracks_) {
        track.codec = &FindMkvCodec(track.codecId);
        const ByteView codecPrivate(track.codecPrivate.data(), track.codecPrivate.size());
        const MkvTrackKind kind = KindOf(track, *track.codec);
        const bool isVideo = kind == MkvTrackKind::kVideo, isSound = kind == MkvTrackKind::kAudio;
        if (isVideo && std::none_of(tracks_.begin(), tracks_.end(), [](const Track& t) { return t.collectsVideo; })) {
            track.collectsVideo = true;
            // The decoder configuration goes first: parameter sets, or the VOL and sequence headers.
            if (track.codec->video == VideoCodecKind::kH264) track.nalLengthSize = AppendAvcConfig(codecPrivate, video.data);
            else if (track.codec->video == VideoCodecKind::kHevc)
                track.nalLengthSize = CSupHEVC::AppendHvcConfig(codecPrivate, video.data);
            else if (track.codec->video == VideoCodecKind::kMpeg4 || track.codec->video == VideoCodecKind::kMpeg12)
                video.data.Append(codecPrivate);
        } else if (isSound && nextSlot < kMaxStreams) {
            while (nextSlot < kMaxStreams && records_.StreamIf(nextSlot)) ++nextSlot;
            if (nextSlot >= kMaxStreams) continue;
            records_.Stream(nextSlot);
            track.slot = static_cast<int>(nextSlot++);
        }
    }
}

void CSupMKV::FinishTracks() {
    ContainerInfo& container = records_.container;
    container.videoCount = container.audioCount = container.otherCount = 0;
    for (Track& track : tracks_) {
        const MkvCodec& codec = track.codec ? *track.codec : FindMkvCodec(track.codecId);
        const MkvTrackKind kind = KindOf(track, codec);
        const bool isVideo = kind == MkvTrackKind::kVideo, isSound = kind == MkvTrackKind::kAudio;
        const bool isSubtitle = kind == MkvTrackKind::kSubtitle;
        if (isVideo) ++container.videoCount;
        else if (isSound) ++container.audioCount;
        else ++container.otherCount;
        // The track's own time: its DURATION tag, else where its last block ends.
        int64_t trackMs = 0;
        for (const BlockSpan& span : blockEnds_) {
            if (span.track != track.number) continue;
            trackMs = SaturatingInt64(ScaleSaturating(static_cast<uint64_t>(std::max<int64_t>(span.end, 0)), timecodeScale_, 1000000));
        }
        for (const auto& [uid, ms] : trackDurations_)
            if (uid == track.uid) trackMs = ms;
        if (track.collectsVideo) {
            FinishVideo(track);
            records_.video.stampedDurationMs = trackMs;
        }
        if (StreamInfo* sound = track.slot >= 0 ? records_.StreamIf(static_cast<size_t>(track.slot)) : nullptr) {
            FinishSound(track, *sound);
            sound->stampedDurationMs = trackMs;
        }
        if (container.tracks.size() < kMaxContainerTracks) {
            ContainerTrack line;
            line.id = static_cast<int32_t>(std::min<uint64_t>(track.number, INT32_MAX));
            line.typeCode = static_cast<int32_t>(std::min<uint64_t>(track.type, 255));
            line.kind = isVideo ? N_("видео") : isSound ? N_("звук") : isSubtitle ? N_("субтитры") : N_("данные");
            // The video track shows what its headers added (profile, level).
            line.codec = track.collectsVideo ? records_.video.codecName
                         : codec.name == kUnknownCodec.name ? track.codecId : std::string(codec.name);
            if (track.language != "und") line.language = track.language;
            line.title = track.name;
            line.slot = track.slot;
            container.tracks.push_back(std::move(line));
        }
    }
    // The overall bitrate over the declared duration.
    if (records_.video.durationMs > 0)
        container.bitrateKbps = static_cast<int32_t>(std::min<uint64_t>(
            reader_.LogicalLength() * 8 / static_cast<uint64_t>(records_.video.durationMs), INT32_MAX));
}

// The codec ids the codec id string names beyond the table's FourCCs:
// QuickTime codecs by the sample description in the private data, RealVideo
// by the name's last part.
std::string_view CSupMKV::VideoCodecIdOf(const Track& track) {
    const ByteView codecPrivate(track.codecPrivate.data(), track.codecPrivate.size());
    if (track.codecId == "V_QUICKTIME" && codecPrivate.size() >= 8)
        return VideoFourccCodecId(FourCCText(FourCCFromBytes(codecPrivate, 4)));
    if (track.codecId.starts_with("V_REAL/")) return VideoFourccCodecId(std::string_view(track.codecId).substr(7));
    if (track.codecId == "V_UNCOMPRESSED") return "rawvideo";
    return {};
}

std::string_view CSupMKV::SoundCodecIdOf(const Track& track, int bits) {
    const ByteView codecPrivate(track.codecPrivate.data(), track.codecPrivate.size());
    if (track.codecId == "A_PCM/INT/BIG") return PcmCodecId(bits, PcmLayout::kSignedBig);
    if (track.codecId == "A_QUICKTIME" && codecPrivate.size() >= 8)
        return SoundFourccCodecId(FourCCFromBytes(codecPrivate, 4), bits);
    if (track.codecId.starts_with("A_QUICKTIME/") && track.codecId.size() == 16)
        return SoundFourccCodecId(FourCCFromBytes(ByteView(reinterpret_cast<const uint8_t*>(track.codecId.data()), 16), 12), bits);
    if (track.codecId.starts_with("A_REAL/") && track.codecId.size() == 11) {
        // RealAudio's FourCCs are lower case: A_REAL/COOK is 'cook'.
        uint32_t fourcc = 0;
        for (size_t i = 0; i < 4; ++i) {
            const char c = track.codecId[7 + i];
            fourcc |= uint32_t(static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c)) << (8 * i);
        }
        return SoundFourccCodecId(fourcc, bits);
    }
    return {};
}

void CSupMKV::FinishVideo(Track& track) {
    VideoInfo& video = records_.video;
    ContainerInfo& container = records_.container;
    const MkvCodec& codec = *track.codec;
    video.fourcc = codec.fourcc;
    if (track.codecId == "V_MS/VFW/FOURCC" && track.codecPrivate.size() >= 20)
        video.fourcc = FourCCFromBytes(ByteView(track.codecPrivate.data(), track.codecPrivate.size()), 16);
    video.codecName = codec.name == kUnknownCodec.name ? track.codecId : std::string(codec.name);
    video.codecId = std::string(VideoCodecIdOf(track));
    auto toSize = [](uint64_t v) { return static_cast<int32_t>(std::min<uint64_t>(v, 65535)); };
    video.width = toSize(track.pixelWidth);
    video.height = toSize(track.pixelHeight);
    if (track.defaultDurationNs >= 1000 && track.defaultDurationNs < 10000000000ull)
        video.usPerFrame = static_cast<int32_t>(track.defaultDurationNs / 1000);

    ProbeCollectedVideo(codec.video, records_);
    // Codecs without a parser of their own here: the size from their first key frame or header.
    PictureHeader picture;
    const ByteView first(track.firstFrame.data(), track.firstFrame.size());
    const ByteView codecPrivate(track.codecPrivate.data(), track.codecPrivate.size());
    bool read = false;
    if (track.codecId == "V_VP8") read = ReadVp8KeyFrame(first, picture);
    else if (track.codecId == "V_VP9") read = ReadVp9KeyFrame(first, picture);
    else if (track.codecId == "V_AV1") {
        // av1C: four bytes of its own, then the configuration OBUs; else the first frame.
        read = ReadAv1SequenceHeader(codecPrivate.From(4), picture) || ReadAv1SequenceHeader(first, picture);
    }
    else if (track.codecId == "V_THEORA") {
        const std::vector<ByteView> headers = SplitXiphLacing(codecPrivate);
        read = !headers.empty() && ReadTheoraIdentification(headers[0], picture);
        if (read && picture.frameRateNumerator > 0 && video.usPerFrame == 0)
            video.usPerFrame = SaturatingInt32(ScaleSaturating(uint64_t(picture.frameRateDenominator), 1000000,
                                                                uint64_t(picture.frameRateNumerator)));
    }
    if (read && (video.width == 0 || video.height == 0)) {
        video.width = picture.width;
        video.height = picture.height;
    }
    if (read && picture.profile >= 0) video.codecName += " Profile " + std::to_string(picture.profile);

    // The display size gives the shape; pixels by default.
    const uint64_t dw = track.displayWidth ? track.displayWidth : track.pixelWidth;
    const uint64_t dh = track.displayHeight ? track.displayHeight : track.pixelHeight;
    if (track.displayUnit == 0 && dw > 0 && dh > 0) {
        container.declaredWidth = toSize(dw);
        container.declaredHeight = toSize(dh);
        if (track.displayWidth && track.displayHeight) video.displayAspect = double(dw) / double(dh);
    }
}

void CSupMKV::FinishSound(Track& track, StreamInfo& sound) {
    const MkvCodec& codec = *track.codec;
    ProbeCollectedAudio(codec.tests, sound, records_.container);
    // What the track entry and the codec's own header declare stand for
    // what no elementary test recognised.
    sound.sourceKind = kSourceContainerSound;
    sound.codecName = codec.name == kUnknownCodec.name ? track.codecId : std::string(codec.name);
    sound.formatTag = codec.formatTag;
    const double rate = track.outputSamplingFrequency > 0 ? track.outputSamplingFrequency : track.samplingFrequency;
    if (const int32_t whole = SampleRateFromFloat(rate)) sound.sampleRate = whole;
    sound.channels = static_cast<int32_t>(std::min<uint64_t>(track.channels ? track.channels : 1, 255));
    sound.bitsPerSample = static_cast<int32_t>(std::min<uint64_t>(track.bitDepth, 255));
    const ByteView codecPrivate(track.codecPrivate.data(), track.codecPrivate.size());
    sound.codecId = std::string(SoundCodecIdOf(track, sound.bitsPerSample));
    SoundHeader header;
    bool read = false;
    if (track.codecId == "A_VORBIS") {
        const std::vector<ByteView> headers = SplitXiphLacing(codecPrivate);
        read = !headers.empty() && ReadVorbisIdentification(headers[0], header);
    } else if (track.codecId == "A_OPUS") {
        read = ReadOpusHead(codecPrivate, header);
    } else if (track.codecId == "A_FLAC") {
        read = ReadFlacStreamInfo(codecPrivate, header);
    } else if (codec.formatTag == 0x00FF && !codecPrivate.empty()) {
        read = ReadAudioSpecificConfig(codecPrivate, header);
    } else if (track.codecId == "A_MS/ACM" && codecPrivate.size() >= 16) {
        // A WAVEFORMATEX: tag, channels, rate, bytes per second.
        sound.formatTag = codecPrivate.Le16(0);
        header.channels = codecPrivate.Le16(2);
        header.sampleRate = static_cast<int32_t>(codecPrivate.Le32(4) & 0x7FFFFFFF);
        header.bitrateKbps = static_cast<int32_t>(uint64_t(codecPrivate.Le32(8)) * 8 / 1000);
        read = true;
    }
    // The ALAC cookie's channels and rate are the typed report's; the track entry's stay shown.
    if (SoundHeader cookie; track.codecId == "A_ALAC" && ReadAlacCookie(codecPrivate, cookie)) SetConfigFormat(sound, cookie);
    if (read) {
        if (header.sampleRate > 0) sound.sampleRate = header.sampleRate;
        if (header.channels > 0) sound.channels = header.channels;
        if (header.bitsPerSample > 0) sound.bitsPerSample = header.bitsPerSample;
        if (header.bitrateKbps > 0) sound.bitrateKbps = header.bitrateKbps;
    }
}

}  // namespace torvo
