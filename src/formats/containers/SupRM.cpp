#include "formats/containers/SupRM.h"

#include <algorithm>

#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/ElementaryProbe.h"
#include "formats/containers/SoundFormat.h"
#include "records/CodecIds.h"
#include "base/Translate.h"

namespace torvo {

namespace {
constexpr uint32_t F(const char (&code)[5]) { return FourCCOf(code); }
constexpr uint32_t kMaxChunkRead = 0x10000;  // header chunks are small; DATA and INDX are never read whole
constexpr size_t kMaxText = 255;

struct AudioRow {
    uint32_t fourcc;
    RealAudioCodec facts;
};
constexpr AudioRow kAudioCodecs[] = {
    {F("lpcJ"), {"RealAudio 1.0 (14.4)", 0}},
    {F("14_4"), {"RealAudio 1.0 (14.4)", 0}},
    {F("28_8"), {"RealAudio 2.0 (28.8)", 0}},
    {F("cook"), {"RealAudio G2 (Cook)", 0}},
    {F("sipr"), {"RealAudio Sipro", 0}},
    {F("atrc"), {"ATRAC3", 0}},
    {F("raac"), {"AAC", 0x00FF}},
    {F("racp"), {"HE-AAC", 0x00FF}},
    {F("dnet"), {"AC-3", 0x2000}},
    {F("ralf"), {"RealAudio Lossless", 0}},
};

constexpr const char* kVideoNames[][2] = {
    {"RV10", "RealVideo 1.0"}, {"RV13", "RealVideo 1.3"}, {"RV20", "RealVideo G2"},
    {"RV30", "RealVideo 8"},   {"RV40", "RealVideo 9/10"}, {"RV60", "RealVideo 11"}};

// A text of a 16-bit (or 8-bit) length and that many bytes; pos moves past it.
std::string LengthText(ByteView bytes, uint64_t& pos, bool wide) {
    const uint32_t length = wide ? bytes.Be16(pos) : bytes.U8(pos);
    pos += wide ? 2 : 1;
    const ByteView text = bytes.Sub(pos, length);
    pos += length;
    std::string value(reinterpret_cast<const char*>(text.data()), std::min<size_t>(text.size(), kMaxText));
    if (const size_t nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
    return IsValidUtf8(value) ? value : Latin1ToUtf8(value);
}
}  // namespace

bool ReadRealAudioHeader(ByteView h, RealAudioHeader& out) {
    if (!h.Equals(0, ".ra\xFD")) return false;
    out.version = h.Be16(4);
    if (out.version == 3) {
        // The first RealAudio: 14.4 kbit/s at 8 kHz, one channel. The header
        // names no codec; it is the one later headers call "14_4".
        out.sampleRate = 8000;
        out.channels = 1;
        out.bitsPerSample = 16;
        out.fourcc = F("14_4");
        return true;
    }
    if (out.version != 4 && out.version != 5) return false;
    // The header's size counts from its second version field on.
    out.dataStart = h.Has(18, 4) ? 16 + uint64_t(h.Be32(18)) : 0;
    out.bytesPerMinute = h.Be32(32);
    const uint64_t at = out.version == 5 ? 54 : 48;
    out.sampleRate = h.Be16(at);
    out.bitsPerSample = h.Be16(at + 4);
    out.channels = h.Be16(at + 6);
    if (out.version == 5) {
        out.fourcc = h.Le32(at + 12);
    } else {
        // Two texts of an 8-bit length: the interleaver, then the FourCC.
        const uint64_t interleaver = at + 8;
        const uint64_t fourcc = interleaver + 1 + h.U8(interleaver);
        if (h.U8(fourcc) == 4) out.fourcc = h.Le32(fourcc + 1);
    }
    return out.sampleRate > 0 && h.Has(0, at + 8);
}

RealAudioCodec FindRealAudioCodec(uint32_t fourcc) {
    for (const AudioRow& row : kAudioCodecs)
        if (row.fourcc == fourcc) return row.facts;
    return {};
}

CSupRM::CSupRM(CFileCache& reader, AnalysisRecords& records) : reader_(reader), records_(records) {}

CSupRM::~CSupRM() = default;

ReadStatus CSupRM::Analyse() {
    const uint64_t fileEnd = reader_.LogicalLength();
    const ByteView head = ViewAt(reader_, 0, 8);
    // A bare RealAudio file is one stream's header followed by its data.
    if (head.Equals(0, ".ra\xFD")) {
        const ByteView header = ViewAt(reader_, 0, kMaxChunkRead);
        ReadAudio(header, 0, 0, "");
        // It states no time: its data's bytes at the stated bytes per minute
        // play for as long, the stream's own time (the shown time stays unstated).
        RealAudioHeader h;
        if (StreamInfo* sound = records_.StreamIf(0); sound && ReadRealAudioHeader(header, h) && h.bytesPerMinute > 0 &&
                                                      h.dataStart > 0 && h.dataStart < fileEnd)
            sound->stampedDurationMs = static_cast<int64_t>((fileEnd - h.dataStart) * 60000 / h.bytesPerMinute);
        if (records_.container.audioCount > 0) return ReadStatus::Ok();
        return ReadStatus::Damaged(0, "RealAudio stream header unreadable");
    }
    if (!head.Equals(0, ".RMF")) return ReadStatus::Ok();
    ReadStatus status;
    uint64_t position = std::max<uint64_t>(head.Be32(4), 8);
    int read = 0;
    bool dataSeen = false;
    for (int count = 0; count < kMaxChunks && position + kChunkHeader <= fileEnd; ++count) {
        const ByteView chunkHead = ViewAt(reader_, position, kChunkHeader);
        const uint32_t id = chunkHead.Le32(0);
        const uint64_t size = chunkHead.Be32(4);
        if (size < kChunkHeader) {
            status = ReadStatus::Damaged(position, "chunk " + FourCCText(id) + " is smaller than its header");
            break;
        }
        const ByteView chunk = ViewAt(reader_, position, std::min<uint64_t>(size, kMaxChunkRead));
        ++read;
        if (id == F("PROP")) ReadProperties(chunk);
        else if (id == F("MDPR")) ReadMediaProperties(chunk);
        else if (id == F("CONT")) ReadContent(chunk);
        else if (id == F("DATA")) {
            dataSeen = true;
            // The header chunks come first; an index may follow the data.
            // Files in use declare up to one chunk header more DATA than
            // they hold; only a larger shortfall is a cut.
            if (size > fileEnd - position) {
                if (size - (fileEnd - position) > kChunkHeader)
                    status = CutShort(position, "chunk DATA", size, fileEnd - position);
                break;
            }
        } else if (id != F("INDX")) {
            --read;
            break;  // not a RealMedia chunk: the walk has lost its way
        }
        if (size > fileEnd - position) {
            status = CutShort(position, "chunk " + FourCCText(id), size, fileEnd - position);
            break;
        }
        position += size;
    }
    if (status.IsOk() && position < fileEnd && position + kChunkHeader > fileEnd)
        status = CutShort(position, "chunk header", kChunkHeader, fileEnd - position);
    if (read == 0) return status.Merge(ReadStatus::Damaged(position, "no RealMedia chunk"));
    if (!dataSeen) status.Merge(ReadStatus::Truncated(position, "no DATA chunk before the end of the file"));
    return status;
}

void CSupRM::ReadProperties(ByteView prop) {
    ContainerInfo& container = records_.container;
    const uint32_t averageBitrate = prop.Be32(14);
    const uint32_t durationMs = prop.Be32(30);
    if (averageBitrate > 0) container.bitrateKbps = static_cast<int32_t>(averageBitrate / 1000);
    if (durationMs > 0 && prop.Has(30, 4)) container.durationMs = std::max<int64_t>(container.durationMs, durationMs);
    fileDurationMs_ = durationMs;
}

void CSupRM::ReadMediaProperties(ByteView mdpr) {
    const uint32_t averageBitrate = mdpr.Be32(16);
    const uint32_t durationMs = mdpr.Be32(36) ? mdpr.Be32(36) : fileDurationMs_;
    uint64_t pos = 40;
    const std::string name = LengthText(mdpr, pos, false);
    const std::string mime = LengthText(mdpr, pos, false);
    const uint32_t specificLength = mdpr.Be32(pos);
    const ByteView specific = mdpr.Sub(pos + 4, std::min<uint64_t>(specificLength, mdpr.size() - std::min<uint64_t>(mdpr.size(), pos + 4)));
    if (mime.starts_with("video/") || specific.Equals(4, "VIDO")) ReadVideo(specific, averageBitrate, durationMs);
    else if (mime.starts_with("audio/") || specific.Equals(0, ".ra\xFD")) ReadAudio(specific, averageBitrate, durationMs, mime);
    else if (records_.container.tracks.size() < kMaxContainerTracks) {
        ++records_.container.otherCount;
        ContainerTrack track;
        track.id = mdpr.Be16(10);
        track.kind = N_("данные");
        track.codec = mime;
        track.title = name;
        records_.container.tracks.push_back(std::move(track));
    }
}

void CSupRM::ReadVideo(ByteView specific, uint32_t averageBitrate, uint32_t durationMs) {
    ContainerInfo& container = records_.container;
    ++container.videoCount;
    container.videoPresent = true;
    const uint32_t fourcc = specific.Equals(4, "VIDO") ? specific.Le32(8) : 0;
    const std::string fourccText = fourcc ? FourCCText(fourcc) : std::string();
    std::string name = fourccText.empty() ? "RealVideo" : fourccText;
    for (const auto& row : kVideoNames)
        if (fourccText == row[0]) name = row[1];
    if (container.tracks.size() < kMaxContainerTracks) {
        ContainerTrack track;
        track.id = static_cast<int32_t>(container.tracks.size());
        track.kind = N_("видео");
        track.codec = fourccText.empty() ? name : fourccText + ": " + name;
        container.tracks.push_back(std::move(track));
    }
    if (videoTaken_) return;
    videoTaken_ = true;
    VideoInfo& video = records_.video;
    video.fourcc = fourcc;
    video.codecName = name;
    video.width = specific.Be16(12);
    video.height = specific.Be16(14);
    // Frames per second as a 16.16 fixed-point number.
    const uint32_t fps = specific.Be32(22);
    if (fps >= 0x1000) video.usPerFrame = static_cast<int32_t>(std::min<uint64_t>(1000000ull * 65536 / fps, INT32_MAX));
    video.bitrateKbps = static_cast<int32_t>(averageBitrate / 1000);
    if (durationMs > 0) video.durationMs = durationMs;
    if (durationMs > 0 && video.usPerFrame > 0) video.frameCount = int64_t(durationMs) * 1000 / video.usPerFrame;
}

void CSupRM::ReadAudio(ByteView specific, uint32_t averageBitrate, uint32_t durationMs, const std::string& mime) {
    RealAudioHeader header;
    const bool known = ReadRealAudioHeader(specific, header);
    const RealAudioCodec codec = FindRealAudioCodec(header.fourcc);
    std::string name = codec.name[0] ? codec.name : known ? FourCCText(header.fourcc) : mime;
    StreamInfo* sound = AddSoundStream(records_, name, codec.formatTag);
    ContainerInfo& container = records_.container;
    if (container.tracks.size() < kMaxContainerTracks) {
        ContainerTrack track;
        track.id = static_cast<int32_t>(container.tracks.size());
        track.kind = N_("звук");
        track.codec = header.fourcc ? FourCCText(header.fourcc) + ": " + name : name;
        track.slot = -1;
        for (size_t slot = 0; sound && slot < kMaxStreams; ++slot)
            if (records_.StreamIf(slot) == sound) track.slot = static_cast<int>(slot);
        container.tracks.push_back(std::move(track));
    }
    if (!sound) return;
    sound->fourcc = header.fourcc;
    sound->codecId = std::string(SoundFourccCodecId(header.fourcc, static_cast<int>(header.bitsPerSample)));
    sound->sampleRate = static_cast<int32_t>(header.sampleRate);
    sound->channels = static_cast<int32_t>(std::min<uint32_t>(header.channels, 255));
    sound->bitsPerSample = static_cast<int32_t>(std::min<uint32_t>(header.bitsPerSample, 255));
    sound->bitrateKbps = static_cast<int32_t>(averageBitrate / 1000);
    sound->bitrateType = 1;
    if (durationMs > 0) SetSoundDuration(records_, *sound, durationMs, 0);
}

void CSupRM::ReadContent(ByteView cont) {
    static constexpr const char* kNames[] = {"TITLE", "AUTHOR", "COPYRIGHT", "COMMENT"};
    uint64_t pos = kChunkHeader;
    for (const char* name : kNames) AddMetadataItem(records_.container.metadata, name, LengthText(cont, pos, true));
}

}  // namespace torvo
