#include "formats/containers/SupMP4QT.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <string>

#include "base/NumberRange.h"
#include "formats/containers/CodecHeaders.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/CoverPicture.h"
#include "formats/containers/FourCCNames.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

namespace torvo {

namespace {

// Box types as FourCCs: first byte in the low byte, as they are stored.
constexpr uint32_t Tag(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}
constexpr uint32_t Tag(std::string_view code) {
    return code.size() == 4 ? uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
                                  uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24
                            : 0;
}

// The 1904-based times of the movie header, in seconds since 1970.
constexpr int64_t kSeconds1904To1970 = 2082758400;

// A 1904-based header time in seconds since 1970; -1 (never showable) when a
// 64-bit field holds more than a signed count can take.
int64_t SecondsSince1970(uint64_t since1904) {
    if (since1904 > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return -1;
    return static_cast<int64_t>(since1904) - kSeconds1904To1970;
}
// Boxes looked at on one level; keeps hostile files with millions of tiny boxes cheap.
constexpr int kMaxBoxesPerLevel = 1 << 16;
constexpr int kMaxSampleEntries = 64;
constexpr size_t kMaxMetadataItemsWalked = 4096;

// value × multiplier ÷ divisor, truncating; a 64-bit duration times 1000 can
// exceed 64 bits, so the result is held at the largest int64_t instead.
int64_t Scale(uint64_t value, uint64_t multiplier, uint32_t divisor) {
    return SaturatingInt64(ScaleSaturating(value, multiplier, divisor));
}

// A box inside a mapped view: [start, end) and its payload.
struct ViewBox {
    uint32_t type = 0;
    uint64_t start = 0, payload = 0, end = 0;
};

// The header of a box whose first bytes are in head, with `left` bytes left
// in its parent from its start; offsets in box are relative to its start.
bool ParseBoxHeader(ByteView head, uint64_t left, ViewBox& box) {
    if (left < 8 || !head.Has(0, 8)) return false;
    uint64_t size = head.Be32(0);
    box.type = head.Le32(4);
    box.start = 0;
    box.payload = 8;
    if (size == 1) {
        // A 64-bit size; only sizes that fit in 32 bits are followed.
        if (!head.Has(8, 8) || head.Be64(8) >> 32) return false;
        size = head.Be64(8);
        box.payload = 16;
    }
    if (size < 8 || size > left || box.payload > size) return false;
    box.end = size;
    return true;
}

bool ViewBoxAt(ByteView view, uint64_t position, uint64_t end, ViewBox& box) {
    end = std::min<uint64_t>(end, view.size());
    if (position > end || !ParseBoxHeader(view.From(position), end - position, box)) return false;
    box.start += position;
    box.payload += position;
    box.end += position;
    return true;
}

// The first child box of the given type in [from, to) of a view.
bool FindChild(ByteView view, uint64_t from, uint64_t to, uint32_t type, ViewBox& found) {
    ViewBox box;
    for (int count = 0; count < kMaxBoxesPerLevel && ViewBoxAt(view, from, to, box); ++count) {
        if (box.type == type) {
            found = box;
            return true;
        }
        from = box.end;
    }
    return false;
}

constexpr int32_t kAacSampleRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                         24000, 22050, 16000, 12000, 11025, 8000};

std::string_view ObjectTypeName(uint8_t objectType) {
    switch (objectType) {
        case 0x40: return "MPEG-4 AAC LC";
        case 0x66: return "MPEG-2 AAC MP";
        case 0x67: return "MPEG-2 AAC LC";
        case 0x68: return "MPEG-2 AAC SSRP";
        case 0x69: return "MPEG-2";
        case 0x6B: return "MPEG-1";
        default: return "? ? ?";
    }
}

constexpr std::string_view kChannelLayouts[8] = {
    N_("не знаю"),       N_("моно (1/0)"),       N_("стерео (2/0)"),        N_("3 канала(3/0)"),
    N_("4 канала(3/1)"), N_("5 канал.(3/2)"), N_("6 канал.(3/2 .1)"), N_("8 канал.(3/2/2 .1)"),
};

bool IsPrintableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

}  // namespace

CSupMP4QT::CSupMP4QT(CFileCache& reader, AnalysisRecords& records, size_t audioSlot)
    : reader_(reader), records_(records), audioSlot_(std::min(audioSlot, kMaxStreams - 1)) {}

CSupMP4QT::~CSupMP4QT() = default;

bool CSupMP4QT::BoxAt(uint64_t position, uint64_t end, Box& box) {
    if (end < position) return false;
    ByteView head = reader_.MapView(position, 16);
    if (head.empty()) head = reader_.MapView(position, 8);
    ViewBox vb;
    if (!ParseBoxHeader(head, end - position, vb)) return false;
    box.type = vb.type;
    box.start = position;
    box.payload = position + vb.payload;
    box.end = position + vb.end;
    // A meta box is a full box: version and flags come before its children.
    if (box.type == Tag("meta")) {
        box.payload += 4;
        if (box.payload > box.end) return false;
    }
    return true;
}

bool CSupMP4QT::FindBox(std::string_view path, uint64_t start, uint64_t end, uint64_t& payloadStart,
                        uint64_t& payloadEnd) {
    const size_t slash = path.find('\\');
    const uint32_t wanted = Tag(path.substr(0, slash));
    if (wanted == 0) return false;
    Box box;
    for (int count = 0; count < kMaxBoxesPerLevel && start < end && end - start > 8; ++count) {
        if (!BoxAt(start, end, box)) return false;
        if (box.type == wanted) {
            if (slash == std::string_view::npos) {
                payloadStart = box.payload;
                payloadEnd = box.end;
                return true;
            }
            return FindBox(path.substr(slash + 1), box.payload, box.end, payloadStart, payloadEnd);
        }
        start = box.end;
    }
    return false;
}

bool CSupMP4QT::ReadFtyp() {
    uint64_t start = 0, end = 0;
    if (!FindBox("ftyp", 0, reader_.LogicalLength(), start, end)) return false;
    ContainerInfo& container = records_.container;
    const uint64_t n = (end - start) / 4;
    const ByteView brands = reader_.MapView(start, static_cast<uint32_t>(std::min<uint64_t>(
                                                       end - start, 4 * (2 + kMaxCompatibleBrands))));
    if (n >= 1) container.majorBrand = FourCCFromBytes(brands, 0);
    if (n >= 2) container.minorVersion = brands.Be32(4);
    container.compatibleBrands.clear();
    for (uint64_t i = 2; i < n && container.compatibleBrands.size() < kMaxCompatibleBrands; ++i)
        container.compatibleBrands.push_back(FourCCFromBytes(brands, 4 * i));
    return true;
}

ReadStatus CSupMP4QT::CheckTopLevel(bool& moovSeen) {
    const uint64_t end = reader_.LogicalLength();
    uint64_t position = 0;
    moovSeen = false;
    for (int count = 0; count < kMaxBoxesPerLevel && position < end; ++count) {
        const uint64_t left = end - position;
        if (left < 8) return CutShort(position, "box header", 8, left);
        const ByteView head = reader_.MapView(position, 16);
        uint64_t size = head.Be32(0), header = 8;
        const std::string name = "box '" + FourCCText(head.Le32(4)) + "'";
        if (head.Le32(4) == Tag("moov")) moovSeen = true;
        if (size == 0) return ReadStatus::Ok();  // the last box runs to the end of the file
        if (size == 1) {
            if (left < 16) return CutShort(position, "box header", 16, left);
            size = head.Be64(8);
            header = 16;
        }
        if (size < header) return ReadStatus::Damaged(position, name + " is smaller than its header");
        if (size > left) return CutShort(position, name, size, left);
        position += size;
    }
    return ReadStatus::Ok();
}

ReadStatus CSupMP4QT::ReadMovie() {
    tracksRead_ = false;
    bool moovSeen = false;
    ReadStatus status = CheckTopLevel(moovSeen);
    uint64_t moovStart = 0, moovEnd = 0;
    if (!FindBox("moov", 0, reader_.LogicalLength(), moovStart, moovEnd)) {
        if (!moovSeen) status.Merge(ReadStatus::Truncated(reader_.LogicalLength(), "no 'moov' box before the end of the file"));
        return status;
    }
    ReadMovieHeader(moovStart, moovEnd);
    ReadMetadataList(moovStart, moovEnd);

    bool anyTrack = false;
    Box box;
    uint64_t position = moovStart;
    for (int count = 0; count < kMaxBoxesPerLevel && BoxAt(position, moovEnd, box); ++count) {
        if (box.type == Tag("trak") && ReadTrack(box)) anyTrack = true;
        position = box.end;
    }

    CollectSamples(tables_[kVideo], records_.video.data);
    if (StreamInfo* sound = records_.StreamIf(audioSlot_)) CollectSamples(tables_[kSound], sound->data);
    tracksRead_ = anyTrack;
    // The tracks' chunks lie in the file: one cut after its movie box keeps the index alone.
    uint64_t lastChunk = 0;
    for (const SampleTables& tables : tables_)
        for (const uint64_t offset : tables.chunkOffsets) lastChunk = std::max(lastChunk, offset);
    if (lastChunk >= reader_.LogicalLength())
        status.Merge(ReadStatus::Truncated(reader_.LogicalLength(), "sample chunk at " + std::to_string(lastChunk) +
                                                                        " lies beyond the end of the file"));
    return status;
}

void CSupMP4QT::ReadMovieHeader(uint64_t moovStart, uint64_t moovEnd) {
    uint64_t start = 0, end = 0;
    if (!FindBox("mvhd", moovStart, moovEnd, start, end)) return;
    const ByteView mvhd = reader_.MapView(start, static_cast<uint32_t>(std::min<uint64_t>(end - start, 32)));
    const bool wide = mvhd.U8(0) != 0;
    auto field = [&](uint64_t pos) { return wide ? mvhd.Be64(pos) : mvhd.Be32(pos); };
    const uint64_t width = wide ? 8 : 4;
    ContainerInfo& container = records_.container;
    const int64_t created = SecondsSince1970(field(4));
    const int64_t modified = SecondsSince1970(field(4 + width));
    if (IsShowableTime(created)) container.creationTime = created;
    if (IsShowableTime(modified)) container.modificationTime = modified;
    const uint32_t timeScale = mvhd.Be32(4 + 2 * width);
    const uint64_t duration = field(8 + 2 * width);
    movieTimeScale_ = timeScale;
    if (timeScale) {
        records_.video.durationMs = Scale(duration, 1000, timeScale);
        // The movie lasts as long as its longest track, sound included.
        container.durationMs = records_.video.durationMs;
    }
}

void CSupMP4QT::ReadMetadataList(uint64_t moovStart, uint64_t moovEnd) {
    uint64_t start = 0, end = 0;
    if (!FindBox("udta\\meta\\ilst", moovStart, moovEnd, start, end)) return;
    std::vector<MetadataItem>& items = records_.container.metadata;
    uint64_t position = start;
    for (size_t walked = 0; walked < kMaxMetadataItemsWalked && items.size() < kMaxMetadataItems &&
                            position < end && end - position >= 8;
         ++walked) {
        const ByteView head = reader_.MapView(position, 8);
        const uint32_t size = head.Be32(0);
        if (size < 8 || size > end - position) break;
        // A cover item holds one 'data' box per picture: type and locale, then the picture's bytes.
        if (head.Le32(4) == Tag("covr")) {
            Box data;
            uint64_t at = position + 8;
            for (int i = 0; i < kMaxSampleEntries && BoxAt(at, position + size, data); ++i, at = data.end)
                if (data.type == Tag("data") && data.end - data.payload > 8)
                    AddAttachedPicture(reader_.MapView(data.payload + 8, static_cast<uint32_t>(std::min<uint64_t>(
                                                                            data.end - data.payload - 8, CFileCache::kWindowSize))),
                                       records_.container.pictures);
            position += size;
            continue;
        }
        // Item header, "data" box header, type and locale come before the text.
        std::string text;
        const size_t length = size > 24 ? std::min<size_t>(size - 24, kMaxMetadataText) : 0;
        if (length == 0 || ReadExactly(reader_, position + 24, length, text)) {
            if (IsPrintableAscii(text)) {
                const ByteView name = head.Sub(4, 4);
                items.push_back({Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(name.data()),
                                                               name.size())),
                                 text, {}});
            }
        }
        position += size;
    }
}

bool CSupMP4QT::ReadTrack(const Box& trak) {
    uint64_t start = 0, end = 0;
    if (!FindBox("mdia\\hdlr", trak.payload, trak.end, start, end)) return false;
    const uint32_t handler = end - start >= 12 ? reader_.MapView(start + 8, 4).Le32(0) : 0;
    if (handler == Tag("vide")) ReadVideoTrack(trak);
    else if (handler == Tag("soun")) ReadSoundTrack(trak);
    else return false;
    return true;
}

uint32_t CSupMP4QT::ReadMediaTimeScale(const Box& trak, uint64_t* durationOut) {
    uint64_t start = 0, end = 0;
    if (!FindBox("mdia\\mdhd", trak.payload, trak.end, start, end)) return 0;
    const ByteView mdhd = reader_.MapView(start, static_cast<uint32_t>(std::min<uint64_t>(end - start, 32)));
    const bool wide = mdhd.U8(0) == 1;
    if (durationOut) *durationOut = wide ? mdhd.Be64(24) : mdhd.Be32(16);
    return wide ? mdhd.Be32(20) : mdhd.Be32(12);
}

uint32_t CSupMP4QT::ReadLastSampleDelta(const Box& trak) {
    uint64_t start = 0, end = 0;
    if (!FindBox("mdia\\minf\\stbl\\stts", trak.payload, trak.end, start, end)) return 0;
    const ByteView stts = reader_.MapView(start, static_cast<uint32_t>(std::min<uint64_t>(end - start, 24)));
    // Entries are (sample count, sample delta) pairs after version, flags and the entry count.
    return stts.Be32(4) >= 2 ? stts.Be32(20) : stts.Be32(12);
}

int64_t CSupMP4QT::EditedDurationMs(const Box& trak) {
    // ISO/IEC 14496-12 8.6.6: the track plays its edits, each lasting its
    // segment duration in the movie's time scale; an empty edit (media time
    // -1) only delays the start. Without an edit list the media plays whole.
    constexpr uint32_t kMaxEdits = 64;
    uint64_t start = 0, end = 0;
    if (movieTimeScale_ == 0 || !FindBox("edts\\elst", trak.payload, trak.end, start, end) || end - start < 8)
        return 0;
    const bool wide = reader_.MapView(start, 1).U8(0) == 1;
    const uint64_t entrySize = wide ? 20 : 12;
    const uint32_t entries = reader_.Be32At(start + 4);
    uint64_t ticks = 0;
    uint64_t position = start + 8;
    for (uint32_t i = 0; i < entries && i < kMaxEdits && end - position >= entrySize; ++i, position += entrySize) {
        const ByteView entry = reader_.MapView(position, static_cast<uint32_t>(entrySize));
        const uint64_t segment = wide ? entry.Be64(0) : entry.Be32(0);
        const bool empty = wide ? entry.Be64(8) == UINT64_MAX : entry.Be32(4) == UINT32_MAX;
        if (!empty) ticks = segment > UINT64_MAX - ticks ? UINT64_MAX : ticks + segment;
    }
    return Scale(ticks, 1000, movieTimeScale_);
}

CSupMP4QT::SampleTiming CSupMP4QT::ReadSampleTiming(const Box& trak) {
    SampleTiming timing;
    uint64_t start = 0, end = 0;
    if (!FindBox("mdia\\minf\\stbl\\stts", trak.payload, trak.end, start, end) || end - start < 8) return timing;
    const uint32_t entries = reader_.Be32At(start + 4);
    uint64_t position = start + 8;
    for (uint32_t i = 0; i < entries && i < kMaxTableEntries && end - position >= 8; ++i, position += 8) {
        const uint32_t count = reader_.Be32At(position), delta = reader_.Be32At(position + 4);
        timing.samples += count;
        timing.ticks += uint64_t(count) * delta;
    }
    return timing;
}

void CSupMP4QT::ReadVideoTrack(const Box& trak) {
    ContainerInfo& container = records_.container;
    VideoInfo& video = records_.video;
    container.videoPresent = true;

    uint64_t duration = 0, start = 0, end = 0;
    if (FindBox("mdia\\mdhd", trak.payload, trak.end, start, end)) {
        video.timeScale = ReadMediaTimeScale(trak, &duration);
        if (video.timeScale) video.durationMs = Scale(duration, 1000, video.timeScale);
    }
    video.stampedDurationMs = EditedDurationMs(trak);
    if (FindBox("mdia\\minf\\stbl\\stts", trak.payload, trak.end, start, end) && video.timeScale) {
        // The average over the whole table: a last sample held longer (or a
        // first one cut short) says nothing about the frame rate.
        const SampleTiming timing = ReadSampleTiming(trak);
        if (timing.samples > 0 && timing.ticks > 0)
            video.usPerFrame = SaturatingInt32(ScaleSaturating(timing.ticks, 1000000, video.timeScale) / timing.samples);
        else
            video.usPerFrame = SaturatingInt32(ScaleSaturating(ReadLastSampleDelta(trak), 1000000, video.timeScale));
    }
    if (FindBox("tkhd", trak.payload, trak.end, start, end)) {
        const ByteView tkhd = reader_.MapView(start, static_cast<uint32_t>(std::min<uint64_t>(end - start, 96)));
        // Version 1 widens three time fields, moving the size by 12 bytes.
        const uint64_t at = tkhd.U8(0) == 1 ? 88 : 76;
        container.declaredWidth = tkhd.Be16(at);
        container.declaredHeight = tkhd.Be16(at + 4);
    }
    ReadVideoEntry(trak);
}

void CSupMP4QT::ReadVideoEntry(const Box& trak) {
    uint64_t start = 0, end = 0;
    int avcLengthSize = 0;
    if (FindBox("mdia\\minf\\stbl\\stsd", trak.payload, trak.end, start, end)) {
        const ByteView stsd = reader_.MapView(
            start, static_cast<uint32_t>(std::min<uint64_t>(end - start, CFileCache::kWindowSize)));
        VideoInfo& video = records_.video;
        // The first sample entry follows version, flags and the entry count.
        constexpr uint64_t kEntry = 8;
        video.codedWidth = stsd.Be16(40);
        video.codedHeight = stsd.Be16(42);
        // The entry's size is the movie's frame size, whatever the codec; the
        // stream parsers' sizes (an H.264 SPS counts whole macroblocks) come after it.
        PictureRecord& declared = video.altPictures[kPictureSampleEntry];
        declared.width = video.codedWidth;
        declared.height = video.codedHeight;
        video.fourcc = FourCCFromBytes(stsd, kEntry + 4);
        const uint32_t entrySize = stsd.Be32(kEntry);
        const uint64_t entryEnd = entrySize >= 8 ? std::min<uint64_t>(kEntry + entrySize, stsd.size()) : stsd.size();
        // Children of a visual sample entry follow its 86 fixed bytes.
        constexpr uint64_t kChildren = kEntry + 86;
        ViewBox child;
        if ((FourCCEqualsNoCase(video.fourcc, "mp4v") || FourCCEqualsNoCase(video.fourcc, "mp4s")) &&
            stsd.size() > kEntry + 78 && FindChild(stsd, kChildren, entryEnd, Tag("esds"), child)) {
            const size_t length = ReadEsdsVideo(stsd.Sub(child.start, child.end - child.start));
            if (length) {
                video.bitrateKbps = static_cast<int32_t>((uint64_t(es_.avgBitrate) + 500) / 1000);
                video.data.Append(es_.specificInfo.data(), length);
            }
        } else if ((video.fourcc == Tag("avc1") || video.fourcc == Tag("avc3")) &&
                   FindChild(stsd, kChildren, entryEnd, Tag("avcC"), child)) {
            avcLengthSize = AppendAvcConfig(stsd.Sub(child.payload, child.end - child.payload), video.data);
        }
    }
    ReadSampleTables(trak, tables_[kVideo], true);
    tables_[kVideo].avcLengthSize = avcLengthSize;
}

void CSupMP4QT::ReadSoundTrack(const Box& trak) {
    records_.Stream(audioSlot_) = StreamInfo{};
    StreamInfo& sound = records_.Stream(audioSlot_);
    records_.container.soundPresent = true;
    uint64_t duration = 0;
    const uint32_t timeScale = ReadMediaTimeScale(trak, &duration);
    const uint32_t delta = ReadLastSampleDelta(trak);
    if (delta && timeScale) sound.sampleRate = SaturatingInt32(uint64_t(timeScale));
    if (timeScale) sound.durationMs = SaturatingInt64(ScaleSaturating(duration, 1000, timeScale));
    sound.stampedDurationMs = EditedDurationMs(trak);
    ReadSoundEntry(trak);
    ReadSampleTables(trak, tables_[kSound], false);
}

void CSupMP4QT::ReadSoundEntry(const Box& trak) {
    uint64_t start = 0, end = 0;
    if (!FindBox("mdia\\minf\\stbl\\stsd", trak.payload, trak.end, start, end)) return;
    const ByteView stsd =
        reader_.MapView(start, static_cast<uint32_t>(std::min<uint64_t>(end - start, CFileCache::kWindowSize)));
    StreamInfo& sound = records_.Stream(audioSlot_);
    constexpr uint64_t kEntry = 8;

    ViewBox entry;
    uint64_t position = kEntry;
    for (int i = 0; i < kMaxSampleEntries && ViewBoxAt(stsd, position, stsd.size(), entry); ++i) {
        if (entry.type == Tag("drms")) records_.container.drm = true;
        position = entry.end;
    }
    if (stsd.size() < kEntry + 34) return;

    sound.fourcc = FourCCFromBytes(stsd, kEntry + 4);
    sound.codecName = std::string(FindFourCCName(kSoundEntryNames, sound.fourcc));
    sound.sourceKind = kSourceContainerSound;
    // The sound description of the QuickTime file format; MP4 keeps its layout.
    const ByteView body = stsd.From(kEntry);
    if (body.Be16(16) == 2 && body.size() >= 60) {
        // Version 2 keeps the rate as a 64-bit float and widens channels and bits.
        // Any 64 bits can arrive here; NaN, infinities and absurd rates keep
        // the rate of the media time scale.
        if (const int32_t rate = SampleRateFromFloat(std::bit_cast<double>(body.Be64(40)))) sound.sampleRate = rate;
        sound.channels = static_cast<int32_t>(std::min<uint32_t>(body.Be32(48), 0xFFFF));
        sound.bitsPerSample = static_cast<int32_t>(std::min<uint32_t>(body.Be32(56), 0xFFFF));
    } else {
        sound.channels = body.Be16(24);
        sound.bitsPerSample = body.Be16(26);
        sound.sampleRate = body.Be16(32);
    }
    // AMR is mono at a fixed rate whatever the entry's fixed fields say
    // (3GPP TS 26.244 leaves them at 2 channels, 16 bits).
    if (sound.fourcc == Tag("samr") || sound.fourcc == Tag("sawb")) {
        sound.channels = 1;
        sound.sampleRate = sound.fourcc == Tag("samr") ? 8000 : 16000;
    }
    const uint32_t entrySize = body.Be32(0);
    const ByteView entryBytes = entrySize >= 8 && entrySize <= body.size() ? body.Sub(0, entrySize) : body;
    sound.codecId = SoundEntryCodecId(body, entryBytes, sound);
    if (FourCCEqualsNoCase(sound.fourcc, "mp4a")) {
        const uint64_t at = entryBytes.Find("esds");
        if (at != ByteView::npos && at >= 4) ReadEsdsSound(entryBytes.From(at - 4), sound);
    } else if (sound.fourcc == Tag("alac")) {
        // The magic cookie's "alac" box follows the entry's own fixed fields
        // (QuickTime puts it in a "wave" box, after a "frma" naming "alac"):
        // the source's bit depth, where the entry's sample size may say 16,
        // and its channels and rate (a 16.16 rate field holds none above 65535).
        SoundHeader cookie;
        uint64_t at = 8;
        for (int i = 0; i < 4 && (at = entryBytes.Find("alac", at)) != ByteView::npos; ++i, at += 4) {
            const uint32_t size = entryBytes.Be32(at - 4);
            if (size >= 36 && size <= entryBytes.size() && ReadAlacCookie(entryBytes.From(at - 4), cookie)) {
                sound.bitsPerSample = cookie.bitsPerSample;
                SetConfigFormat(sound, cookie);
                break;
            }
        }
    } else {
        ReadWaveFormat(entryBytes, sound);
    }
}

std::string CSupMP4QT::SoundEntryCodecId(ByteView body, ByteView entry, const StreamInfo& sound) {
    // Version 2 'lpcm' states its layout in flags (float, big-endian, signed).
    if (sound.fourcc == Tag("lpcm") && body.Be16(16) == 2) return std::string(LpcmCodecId(body.Be32(60), sound.bitsPerSample));
    // An 'enda' atom of 1 makes in24, in32, fl32 and fl64 little-endian.
    const uint64_t enda = entry.Find("enda");
    const bool little = enda != ByteView::npos && entry.Be16(enda + 4) == 1;
    return std::string(SoundFourccCodecId(sound.fourcc, sound.bitsPerSample, little));
}

void CSupMP4QT::ReadWaveFormat(ByteView entry, StreamInfo& sound) {
    const uint64_t at = entry.Find("wave");
    ViewBox wave;
    if (at == ByteView::npos || at < 4 || !ViewBoxAt(entry, at - 4, entry.size(), wave)) return;
    // The WAVEFORMATEX is the payload of the child named like the sample entry
    // ("ms" and the format tag); "frma" and the terminator box come around it.
    ViewBox child;
    uint64_t position = wave.payload;
    ByteView format;
    for (int i = 0; i < kMaxSampleEntries && ViewBoxAt(entry, position, wave.end, child); ++i) {
        if (child.type == sound.fourcc || (child.type & 0xFFFF) == Tag("ms\0\0")) {
            format = entry.Sub(child.payload, child.end - child.payload);
            break;
        }
        position = child.end;
    }
    if (format.size() < 16) return;

    struct WaveFormat {
        uint32_t tag, channels, rate, bytesPerSecond;
        bool Valid() const { return (channels == 1 || channels == 2) && rate >= 5512 && rate <= 48000; }
    };
    // Little-endian as Windows writes it; some writers stored it big-endian.
    WaveFormat little{format.Le16(0), format.Le16(2), format.Le32(4), format.Le32(8)};
    WaveFormat big{format.Be16(0), format.Be16(2), format.Be32(4), format.Be32(8)};
    const WaveFormat* valid = little.Valid() ? &little : big.Valid() ? &big : nullptr;
    if (!valid) return;
    sound.channels = static_cast<int32_t>(valid->channels);
    sound.sampleRate = static_cast<int32_t>(valid->rate);
    sound.bitrateKbps = static_cast<int32_t>(uint64_t(valid->bytesPerSecond) * 8 / 1000);
    sound.formatTag = static_cast<int32_t>(valid->tag);
}

void CSupMP4QT::ReadSampleTables(const Box& trak, SampleTables& tables, bool countFrames) {
    tables = SampleTables{};
    uint64_t start = 0, end = 0;
    const bool wideOffsets = !FindBox("mdia\\minf\\stbl\\stco", trak.payload, trak.end, start, end) &&
                             FindBox("mdia\\minf\\stbl\\co64", trak.payload, trak.end, start, end);
    if (end > start) {
        const uint64_t width = wideOffsets ? 8 : 4;
        tables.chunkCount = reader_.Be32At(start + 4);
        for (uint64_t i = 0, pos = start + 8; i < tables.chunkCount && i < kMaxTableEntries && pos + width <= end;
             ++i, pos += width) {
            const uint64_t offset = wideOffsets ? reader_.Be64At(pos) : reader_.Be32At(pos);
            tables.chunkOffsets.push_back(offset);
            if (offset > kOffsetStoreLimit) break;
        }
    }
    if (FindBox("mdia\\minf\\stbl\\stsz", trak.payload, trak.end, start, end)) {
        const uint32_t common = reader_.Be32At(start + 4);
        tables.sampleCount = reader_.Be32At(start + 8);
        if (common) {
            tables.sampleSizes.assign(std::min<size_t>(tables.sampleCount, kMaxTableEntries), common);
            tables.totalSize = uint64_t(common) * tables.sampleCount;
        } else {
            for (uint64_t i = 0, pos = start + 12; i < tables.sampleCount && pos + 4 <= end; ++i, pos += 4) {
                const uint32_t size = reader_.Be32At(pos);
                if (i < kMaxTableEntries) tables.sampleSizes.push_back(size);
                tables.totalSize += size;
            }
        }
        if (countFrames && tables.sampleCount) records_.video.frameCount = tables.sampleCount;
    }
    if (FindBox("mdia\\minf\\stbl\\stsc", trak.payload, trak.end, start, end)) {
        tables.runCount = reader_.Be32At(start + 4);
        for (uint64_t i = 0, pos = start + 8; i < tables.runCount && i < kMaxTableEntries && pos + 12 <= end;
             ++i, pos += 12)
            tables.runs.push_back({reader_.Be32At(pos), reader_.Be32At(pos + 4), reader_.Be32At(pos + 8)});
    }
}

void CSupMP4QT::CollectSamples(const SampleTables& tables, ElementaryBuffer& out) {
    std::string sample;
    size_t index = 0;
    const size_t samples = std::min<size_t>(tables.sampleCount, tables.sampleSizes.size());
    for (size_t run = 0; run < tables.runs.size(); ++run) {
        const ChunkRun& current = tables.runs[run];
        if (current.samplesPerChunk == 0) continue;
        const uint64_t last = run + 1 < tables.runs.size() ? uint64_t(tables.runs[run + 1].firstChunk) - 1
                                                            : kMaxTableEntries;
        for (uint64_t chunk = current.firstChunk; chunk <= last; ++chunk) {
            if (chunk == 0 || chunk > tables.chunkOffsets.size()) return;
            uint64_t position = tables.chunkOffsets[chunk - 1];
            for (uint32_t s = 0; s < current.samplesPerChunk; ++s, ++index) {
                if (index >= samples) return;
                const uint32_t size = tables.sampleSizes[index];
                if (size > out.Room() || size > reader_.LogicalLength() ||
                    position > reader_.LogicalLength() - size)
                    return;
                if (tables.avcLengthSize) {
                    // A sample in the header buffer or the read window is taken where it lies.
                    ByteView bytes = reader_.MapView(position, size);
                    if (bytes.size() != size) {
                        if (!ReadExactly(reader_, position, size, sample)) return;
                        bytes = ByteView(reinterpret_cast<const uint8_t*>(sample.data()), sample.size());
                    }
                    if (!AppendAvcSample(bytes, tables.avcLengthSize, out)) return;
                } else if (AppendFromReader(reader_, position, size, out) != size) {
                    return;
                }
                position += size;
            }
        }
    }
}

namespace {
// Skips the extra length bytes some writers put before a descriptor's size byte.
uint64_t SkipSizePrefix(ByteView box, uint64_t pos, bool soundForm) {
    for (int i = 0; i < 3; ++i) {
        const uint8_t b = box.U8(pos);
        const bool skip = soundForm ? (b & 0x80) != 0 : (b == 0x80 || b == 0x81 || b == 0xFE);
        if (!skip || !box.Has(pos, 1)) break;
        ++pos;
    }
    return pos;
}

// Reads the descriptor chain of an "esds" box into es. The sound form stops
// at the first unexpected tag; the video form reads on regardless.
void ParseEsds(ByteView box, bool soundForm, CSupMP4QT::EsDescriptor& es) {
    es = CSupMP4QT::EsDescriptor{};
    es.boxSize = box.Be32(0);
    es.boxType = box.Le32(4);
    if (es.boxType != Tag("esds")) return;
    if (es.boxSize >= 8 && es.boxSize < box.size()) box = box.Sub(0, es.boxSize);
    es.version = box.U8(8);
    es.flags = box.Be24(9);
    uint64_t pos = 12;
    es.esTag = box.U8(pos++);
    if (soundForm && es.esTag != 3) return;
    pos = SkipSizePrefix(box, pos, soundForm);
    es.esSize = box.U8(pos++);
    es.esId = box.Be16(pos);
    pos += 2;
    es.esFlags = box.U8(pos++);
    // Optional fields announced by the flags (ISO/IEC 14496-1): depends-on id, URL, OCR id.
    if (es.esFlags & 0x80) pos += 2;
    if (es.esFlags & 0x40) pos += 1u + box.U8(pos);
    if (es.esFlags & 0x20) pos += 2;
    es.configTag = box.U8(pos++);
    if (soundForm && es.configTag != 4) return;
    pos = SkipSizePrefix(box, pos, soundForm);
    es.configSize = box.U8(pos++);
    es.objectType = box.U8(pos);
    es.streamType = box.U8(pos + 1);
    es.bufferSizeDB = box.Be24(pos + 2);
    es.maxBitrate = box.Be32(pos + 5);
    es.avgBitrate = box.Be32(pos + 9);
    pos += 13;
    es.specificTag = box.U8(pos++);
    if (soundForm && es.specificTag != 5) return;
    pos = SkipSizePrefix(box, pos, soundForm);
    es.specificSize = box.U8(pos++);
    // The information is as long as its descriptor says; what follows (the
    // SL configuration) is not part of it.
    const ByteView rest = box.From(pos);
    es.specificLength = std::min<size_t>({rest.size(), es.specificSize, CSupMP4QT::kMaxDecoderInfo});
    rest.Copy(0, es.specificInfo.data(), es.specificLength);
}
}  // namespace

size_t CSupMP4QT::ReadEsdsVideo(ByteView box) {
    ParseEsds(box, false, es_);
    const bool startCode = es_.specificLength >= 3 && es_.specificInfo[0] == 0 && es_.specificInfo[1] == 0 &&
                           es_.specificInfo[2] == 1;
    return es_.esTag == 3 && es_.configTag == 4 && es_.specificTag == 5 && startCode ? es_.specificLength : 0;
}

void CSupMP4QT::ReadEsdsSound(ByteView box, StreamInfo& sound) {
    ParseEsds(box, true, es_);
    if (es_.configTag != 4) return;
    sound.codecName = std::string(ObjectTypeName(es_.objectType));
    sound.bitrateKbps = static_cast<int32_t>((uint64_t(es_.avgBitrate) + 500) / 1000);
    if (es_.specificTag != 5 || es_.specificLength < 2) return;
    // AudioSpecificConfig: 5 bits object type, 4 bits frequency index, 4 bits channels.
    const auto& info = es_.specificInfo;
    const int index = (info[0] & 7) << 1 | info[1] >> 7;
    if (index < 12) sound.sampleRate = kAacSampleRates[index];
    const int configuration = index == 15 ? (es_.specificLength > 4 ? info[4] >> 3 & 0xF : 0) : info[1] >> 3 & 0xF;
    sound.channels = configuration;
    const bool aac = es_.objectType == 0x40 || (es_.objectType >= 0x66 && es_.objectType <= 0x68);
    if (aac && configuration >= 1 && configuration <= 7) sound.channelLayoutName = std::string(kChannelLayouts[configuration]);
    // HE-AAC plays at the rate spectral band replication restores, and
    // parametric stereo in two channels.
    SoundHeader decoded;
    const ByteView config(info.data(), std::min<size_t>(es_.specificLength, info.size()));
    if (aac && ReadAudioSpecificConfig(config, decoded)) {
        if (decoded.spectralBandReplication) sound.sampleRate = decoded.sampleRate;
        if (decoded.parametricStereo && configuration == 1) {
            sound.channels = 2;
            sound.channelLayoutName = std::string(kChannelLayouts[2]);
        }
    }
}

}  // namespace torvo
