#include "formats/containers/SupOgg.h"

#include <algorithm>

#include "base/Text.h"
#include "formats/containers/CodecHeaders.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/containers/SoundFormat.h"
#include "formats/containers/SupFLAC.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint64_t kPageHeader = 27;
constexpr uint8_t kContinued = 1, kFirstPage = 2, kLastPage = 4;
constexpr uint32_t kOpusRate = 48000;
constexpr size_t kHeaderPacketsKept = 2;  // identification and comments

struct CodecRow {
    const char* magic;
    size_t length;
    OggCodec codec;
    const char* name;
};
constexpr CodecRow kCodecs[] = {
    {"\x80theora", 7, OggCodec::kTheora, "Theora"},
    {"\x01vorbis", 7, OggCodec::kVorbis, "Vorbis"},
    {"OpusHead", 8, OggCodec::kOpus, "Opus"},
    {"\x7F" "FLAC", 5, OggCodec::kFlac, "FLAC"},
    {"Speex   ", 8, OggCodec::kSpeex, "Speex"},
    {"fishead", 7, OggCodec::kSkeleton, "Skeleton"},
};

const char* CodecName(OggCodec codec) {
    for (const CodecRow& row : kCodecs)
        if (row.codec == codec) return row.name;
    return N_("не знаю");
}

ByteView PacketView(const std::vector<uint8_t>& packet) { return ByteView(packet.data(), packet.size()); }
}  // namespace

bool ReadOggPage(ByteView bytes, uint64_t pos, OggPage& page) {
    if (!bytes.Equals(pos, "OggS") || bytes.U8(pos + 4) != 0 || !bytes.Has(pos, kPageHeader)) return false;
    page.flags = bytes.U8(pos + 5);
    page.granule = bytes.Le64(pos + 6);
    page.serial = bytes.Le32(pos + 14);
    page.sequence = bytes.Le32(pos + 18);
    page.segments = bytes.U8(pos + 26);
    if (!bytes.Has(pos + kPageHeader, page.segments)) return false;
    page.headerSize = kPageHeader + page.segments;
    uint64_t body = 0;
    for (uint32_t i = 0; i < page.segments; ++i) body += bytes.U8(pos + kPageHeader + i);
    page.size = page.headerSize + body;
    return true;
}

CSupOgg::CSupOgg(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupOgg::~CSupOgg() = default;

CSupOgg::Stream* CSupOgg::StreamFor(uint32_t serial, bool create) {
    for (Stream& s : streams_)
        if (s.serial == serial) return &s;
    if (!create || streams_.size() >= kMaxStreams) return nullptr;
    streams_.push_back({});
    streams_.back().serial = serial;
    return &streams_.back();
}

ReadStatus CSupOgg::Analyse() {
    const uint64_t fileEnd = reader_.LogicalLength();
    uint64_t position = 0;
    ReadStatus status;
    for (int count = 0; count < kMaxPagesRead && position + kPageHeader <= fileEnd; ++count) {
        OggPage page;
        if (!ReadOggPage(ViewAt(reader_, position, kPageHeader + 255), 0, page)) {
            if (position == 0) return ReadStatus::Ok();  // not Ogg after all
            status = ReadStatus::Damaged(position, "no page header where the previous page ends");
            break;
        }
        if (page.size > fileEnd - position) {  // a page cut short ends the walk
            status = CutShort(position, "page", page.size, fileEnd - position);
            break;
        }
        TakePage(ViewAt(reader_, position, page.size), page);
        position += page.size;
        // Every stream begins on the first pages; once all have their headers
        // the rest of the file is data.
        const bool allDone = std::all_of(streams_.begin(), streams_.end(), [](const Stream& s) { return s.headersDone; });
        if (!(page.flags & kFirstPage) && allDone) break;
    }
    if (status.IsOk() && position < fileEnd && position + kPageHeader > fileEnd)
        status = CutShort(position, "page header", kPageHeader, fileEnd - position);
    if (streams_.empty()) return status.Merge(ReadStatus::Damaged(0, "no logical stream"));
    for (Stream& s : streams_) Decode(s);
    if (ReadTail()) chainedMs_ = ChainedMs(position);
    Finish();
    return status.Merge(tailStatus_);
}

void CSupOgg::TakePage(ByteView page, const OggPage& header) {
    Stream* stream = StreamFor(header.serial, header.flags & kFirstPage);
    if (!stream || stream->headersDone || page.size() != header.size) return;
    if (!(header.flags & kContinued)) stream->partial.clear();
    uint64_t offset = header.headerSize;
    for (uint32_t i = 0; i < header.segments && !stream->headersDone; ++i) {
        const uint8_t lacing = page.U8(kPageHeader + i);
        const ByteView segment = page.Sub(offset, lacing);
        offset += lacing;
        if (stream->partial.size() + segment.size() <= kMaxHeaderPacket)
            stream->partial.insert(stream->partial.end(), segment.data(), segment.data() + segment.size());
        if (lacing == 255) continue;  // the packet goes on
        stream->packets.push_back(std::move(stream->partial));
        stream->partial.clear();
        if (stream->packets.size() == 1) {
            const ByteView first = PacketView(stream->packets[0]);
            for (const CodecRow& row : kCodecs)
                if (first.Equals(0, std::string_view(row.magic, row.length))) stream->codec = row.codec;
        }
        // Streams of unknown codecs keep only their first packet.
        stream->headersDone = stream->packets.size() >= kHeaderPacketsKept ||
                              (stream->codec == OggCodec::kUnknown || stream->codec == OggCodec::kSkeleton);
    }
}

void CSupOgg::Decode(Stream& s) {
    if (s.packets.empty()) return;
    const ByteView id = PacketView(s.packets[0]);
    const ByteView comments = s.packets.size() > 1 ? PacketView(s.packets[1]) : ByteView();
    std::vector<MetadataItem>& items = records_.container.metadata;
    std::string vendor;
    switch (s.codec) {
        case OggCodec::kTheora: {
            PictureHeader picture;
            if (ReadTheoraIdentification(id, picture)) {
                s.width = picture.width;
                s.height = picture.height;
                s.frameRateNumerator = static_cast<uint32_t>(picture.frameRateNumerator);
                s.frameRateDenominator = static_cast<uint32_t>(picture.frameRateDenominator);
            }
            s.aspectNumerator = id.Be24(30);
            s.aspectDenominator = id.Be24(33);
            s.granuleShift = id.Be16(40) >> 5 & 0x1F;
            if (comments.Equals(0, "\x81theora")) vendor = ReadVorbisComments(comments.From(7), items);
            break;
        }
        case OggCodec::kVorbis: {
            SoundHeader sound;
            if (ReadVorbisIdentification(id, sound)) {
                s.sampleRate = static_cast<uint32_t>(sound.sampleRate);
                s.channels = static_cast<uint32_t>(sound.channels);
                s.bitrateKbps = static_cast<uint32_t>(sound.bitrateKbps);
            }
            if (comments.Equals(0, "\x03vorbis")) vendor = ReadVorbisComments(comments.From(7), items);
            break;
        }
        case OggCodec::kOpus:
            if (id.size() >= 19) {
                // Opus always decodes at 48 kHz; the header keeps the rate the source had.
                s.sampleRate = kOpusRate;
                s.channels = id.U8(9);
                s.preSkip = id.Le16(10);
                s.inputRate = id.Le32(12);
            }
            if (comments.Equals(0, "OpusTags")) vendor = ReadVorbisComments(comments.From(8), items);
            break;
        case OggCodec::kFlac: {
            // 0x7F "FLAC", version, header count, "fLaC", then the STREAMINFO block.
            FlacStreamInfo info;
            if (id.Equals(9, "fLaC") && ReadFlacStreamInfoBody(id.From(17), info)) {
                s.sampleRate = info.sampleRate;
                s.channels = info.channels;
                s.bitsPerSample = info.bitsPerSample;
            }
            if ((comments.U8(0) & 0x7F) == CSupFLAC::kVorbisComment) vendor = ReadVorbisComments(comments.From(4), items);
            break;
        }
        case OggCodec::kSpeex:
            s.sampleRate = id.Le32(36);
            s.channels = id.Le32(48);
            if (const auto bitrate = static_cast<int32_t>(id.Le32(52)); bitrate > 0)
                s.bitrateKbps = static_cast<uint32_t>(bitrate) / 1000;
            vendor = ReadVorbisComments(comments, items);
            break;
        default: break;
    }
    AddMetadataItem(items, "ENCODER_VENDOR", vendor);
}

bool CSupOgg::ReadTail() {
    const uint64_t fileEnd = reader_.LogicalLength();
    const uint64_t start = fileEnd > kTailBytes ? fileEnd - kTailBytes : 0;
    const ByteView tail = ViewAt(reader_, start, fileEnd - start);
    bool strangers = false;
    uint64_t lastPos = ByteView::npos;
    OggPage last;
    std::vector<std::pair<uint32_t, bool>> ended;  // each serial in the tail: whether its last page there ends it
    for (uint64_t pos = tail.Find("OggS"); pos != ByteView::npos; pos = tail.Find("OggS", pos + 1)) {
        OggPage page;
        if (!ReadOggPage(tail, pos, page)) continue;
        lastPos = pos;
        last = page;
        auto seen = std::find_if(ended.begin(), ended.end(), [&page](const auto& e) { return e.first == page.serial; });
        if (seen == ended.end() && ended.size() < kMaxStreams) seen = ended.insert(ended.end(), {page.serial, false});
        if (seen != ended.end()) seen->second = page.flags & kLastPage;
        Stream* stream = StreamFor(page.serial, false);
        // A granule of all ones marks a page on which no packet ends.
        if (stream && page.granule != UINT64_MAX) stream->lastGranule = page.granule;
        // A first page in the tail begins another link, as does a stream never seen
        // (with room left for it: a file of more streams than are kept is no chain).
        if ((page.flags & kFirstPage) || (!stream && streams_.size() < kMaxStreams)) strangers = true;
    }
    // The file ends with a whole page, and every stream with pages in the
    // tail ends there.
    if (lastPos != ByteView::npos) {
        const bool open = std::any_of(ended.begin(), ended.end(), [](const auto& e) { return !e.second; });
        if (last.size > tail.size() - lastPos) tailStatus_ = CutShort(start + lastPos, "page", last.size, tail.size() - lastPos);
        else if (open) tailStatus_ = ReadStatus::Truncated(start + lastPos + last.size, "a stream's last page does not end it");
    }
    return strangers;
}

int64_t CSupOgg::ChainedMs(uint64_t position) {
    // Each link's streams begin on consecutive first pages; a granule belongs
    // to the stream of its serial in the current link.
    std::vector<Stream> link(streams_);
    for (Stream& s : link) s.lastGranule = UINT64_MAX;  // the tail's may be a later link's
    int64_t totalMs = 0;
    auto linkMs = [&] {
        int64_t longest = 0;
        for (const Stream& s : link) longest = std::max(longest, DurationMs(s));
        return longest;
    };
    bool previousFirst = true;
    int links = 1;
    const uint64_t fileEnd = reader_.LogicalLength();
    for (int count = 0; count < kMaxPagesWalked && position + kPageHeader <= fileEnd; ++count) {
        OggPage page;
        if (!ReadOggPage(ViewAt(reader_, position, kPageHeader + 255), 0, page) || page.size > fileEnd - position) break;
        const bool first = page.flags & kFirstPage;
        if (first && !previousFirst) {
            // The first link's streams are the ones reported: they last to its end.
            if (links == 1)
                for (size_t i = 0; i < streams_.size() && i < link.size(); ++i) streams_[i].lastGranule = link[i].lastGranule;
            totalMs += linkMs();
            link.clear();
            ++links;
        }
        previousFirst = first;
        if (first && link.size() < kMaxStreams) {
            // The identification packet fills the first page on its own.
            Stream s;
            s.serial = page.serial;
            const ByteView body = ViewAt(reader_, position + page.headerSize, page.size - page.headerSize);
            s.packets.emplace_back(body.data(), body.data() + body.size());
            for (const CodecRow& row : kCodecs)
                if (body.Equals(0, std::string_view(row.magic, row.length))) s.codec = row.codec;
            Decode(s);  // the id packet alone: no comments reach the list
            link.push_back(std::move(s));
        }
        for (Stream& s : link)
            if (s.serial == page.serial && page.granule != UINT64_MAX) s.lastGranule = page.granule;
        position += page.size;
    }
    totalMs += linkMs();
    return links > 1 ? totalMs : 0;
}

int64_t CSupOgg::DurationMs(const Stream& s) const {
    if (s.lastGranule == UINT64_MAX) return 0;
    const uint64_t g = s.lastGranule;
    switch (s.codec) {
        case OggCodec::kTheora: {
            if (s.frameRateNumerator == 0 || s.granuleShift >= 63) return 0;
            // The key frame's number above the shift, the frames since it below.
            const uint64_t frames = (g >> s.granuleShift) + (g & ((uint64_t(1) << s.granuleShift) - 1));
            const uint64_t denominator = std::max<uint32_t>(s.frameRateDenominator, 1);
            if (frames > UINT64_MAX / denominator) return 0;
            return SamplesToMs(frames * denominator, s.frameRateNumerator);
        }
        case OggCodec::kOpus: return SamplesToMs(g > s.preSkip ? g - s.preSkip : 0, kOpusRate);
        case OggCodec::kVorbis:
        case OggCodec::kFlac:
        case OggCodec::kSpeex: return SamplesToMs(g, s.sampleRate);
        default: return 0;
    }
}

void CSupOgg::Finish() {
    ContainerInfo& container = records_.container;
    VideoInfo& video = records_.video;
    // A chain plays its links one after another: the file lasts them all, each stream its own link.
    container.durationMs = std::max(container.durationMs, chainedMs_);
    bool videoTaken = false;
    for (Stream& s : streams_) {
        const int64_t durationMs = DurationMs(s);
        ContainerTrack track;
        track.id = static_cast<int32_t>(s.serial);  // shown again as the unsigned serial
        track.codec = CodecName(s.codec);
        if (s.codec == OggCodec::kTheora) {
            track.kind = N_("видео");
            ++container.videoCount;
            container.videoPresent = true;
            if (!videoTaken) {
                videoTaken = true;
                video.fourcc = FourCCOf("theo");
                video.codecName = "Theora";
                video.width = s.width;
                video.height = s.height;
                if (s.frameRateNumerator > 0 && s.frameRateDenominator > 0)
                    video.usPerFrame = static_cast<int32_t>(std::min<uint64_t>(
                        uint64_t(s.frameRateDenominator) * 1000000 / s.frameRateNumerator, INT32_MAX));
                if (s.aspectNumerator > 0 && s.aspectDenominator > 0)
                    video.pixelAspect = double(s.aspectNumerator) / s.aspectDenominator;
                video.durationMs = durationMs;
                if (durationMs > 0 && video.usPerFrame > 0) video.frameCount = durationMs * 1000 / video.usPerFrame;
                container.durationMs = std::max(container.durationMs, durationMs);
            }
        } else if (s.codec == OggCodec::kVorbis || s.codec == OggCodec::kOpus || s.codec == OggCodec::kFlac ||
                   s.codec == OggCodec::kSpeex) {
            track.kind = N_("звук");
            StreamInfo* sound = AddSoundStream(records_, CodecName(s.codec), 0);
            if (sound) {
                for (size_t slot = 0; slot < kMaxStreams; ++slot)
                    if (records_.StreamIf(slot) == sound) s.slot = track.slot = static_cast<int>(slot);
                sound->sampleRate = static_cast<int32_t>(std::min<uint32_t>(s.sampleRate, INT32_MAX));
                sound->channels = static_cast<int32_t>(std::min<uint32_t>(s.channels, 255));
                sound->bitsPerSample = static_cast<int32_t>(std::min<uint32_t>(s.bitsPerSample, 255));
                sound->bitrateKbps = static_cast<int32_t>(std::min<uint32_t>(s.bitrateKbps, INT32_MAX));
                sound->bitrateType = 2;
                if (s.codec == OggCodec::kOpus && s.inputRate > 0)
                    sound->audio[kSourceContainerSound].extraText =
                        Format(N_("(исходно %u Гц, пропуск %u) "), s.inputRate, s.preSkip);
                SetSoundDuration(records_, *sound, durationMs, 0);
            }
        } else {
            track.kind = N_("данные");
            if (s.codec != OggCodec::kSkeleton) ++container.otherCount;
        }
        if (container.tracks.size() < kMaxContainerTracks) container.tracks.push_back(std::move(track));
    }
    if (container.bitrateKbps == 0 && container.durationMs > 0 && container.fileSize > 0)
        container.bitrateKbps = static_cast<int32_t>(
            std::min<uint64_t>(container.fileSize * 8 / static_cast<uint64_t>(container.durationMs), INT32_MAX));
}

}  // namespace torvo
