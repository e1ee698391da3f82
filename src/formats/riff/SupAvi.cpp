#include "formats/riff/SupAvi.h"

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>

#include "base/Text.h"

namespace torvo {
namespace {

// What the walker does with a chunk, chosen by its exact path.
enum class Action {
    kWaveFormat,
    kWaveData,
    kCdxaData,
    kOdmlHeader,
    kSegment,
    kGoogleData,
    kStreamHeader,
    kStreamFormat,
    kMainHeader,
    kVideoData,
    kVideoDataInRec,
    kAudioData,
    kTag,
    kLegacyIndex,
};

struct Route {
    std::string_view path;
    Action action;
    int audioStream = 0;  // for kAudioData
};

// Paths compare exactly, trailing blanks included ("fmt ", "AVI ", "rec ").
constexpr Route kRoutes[] = {
    {"/RIFF:WAVE/fmt ", Action::kWaveFormat},
    {"/RIFF:WAVE/data", Action::kWaveData},
    {"/RIFF:CDXA/data", Action::kCdxaData},
    {"/RIFF:AVI /LIST:hdrl/LIST:odml/dmlh", Action::kOdmlHeader},
    {"/RIFF:AVI /LIST:hdrl/segm", Action::kSegment},
    {"/RIFF:AVI /LIST:goog/GDAT", Action::kGoogleData},
    {"/RIFF:AVI /LIST:hdrl/LIST:strl/strh", Action::kStreamHeader},
    {"/RIFF:AVI /LIST:hdrl/LIST:strl/strf", Action::kStreamFormat},
    {"/RIFF:AVI /LIST:hdrl/avih", Action::kMainHeader},
    {"/RIFF:AVI /LIST:movi/00dc", Action::kVideoData},
    {"/RIFF:AVI /LIST:movi/00db", Action::kVideoData},
    {"/RIFF:AVI /LIST:movi/00__", Action::kVideoData},
    {"/RIFF:AVI /LIST:movi/LIST:rec /00dc", Action::kVideoDataInRec},
    {"/RIFF:AVI /LIST:movi/01wb", Action::kAudioData, 0},
    {"/RIFF:AVI /LIST:movi/02wb", Action::kAudioData, 1},
    {"/RIFF:AVI /LIST:movi/03wb", Action::kAudioData, 2},
    {"/RIFF:AVI /LIST:movi/LIST:rec /01wb", Action::kAudioData, 0},
    {"/RIFF:AVI /LIST:movi/LIST:rec /02wb", Action::kAudioData, 1},
    {"/RIFF:AVI /LIST:movi/LIST:rec /03wb", Action::kAudioData, 2},
    {"/RIFF:AVI /LIST:hdrl/ISFT", Action::kTag},
    {"/RIFF:AVI /idx1", Action::kLegacyIndex},
};

constexpr const Route* FindRoute(std::string_view path) {
    for (const Route& r : kRoutes)
        if (r.path == path) return &r;
    return nullptr;
}

// Windows-1251 0x80-0xBF as code points (0x98 is unassigned); 0xC0-0xFF are
// U+0410-U+044F in order.
constexpr std::array<char16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

void AppendCp1251(std::string& out, uint8_t b) {
    if (b < 0x80) {
        out += static_cast<char>(b);
        return;
    }
    const uint32_t cp = b >= 0xC0 ? 0x0410u + (b - 0xC0u) : kCp1251High[b - 0x80u];
    if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
}

// The characters of a text run, as a table: the runs are looked for byte by
// byte through whole JUNK chunks and user data.
constexpr std::array<bool, 256> kTextChars = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view(" ()./_")) table[static_cast<uint8_t>(c)] = true;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = true;
    for (int c = 'A'; c <= 'Z'; ++c) table[static_cast<size_t>(c)] = table[static_cast<size_t>(c - 'A' + 'a')] = true;
    return table;
}();

constexpr bool IsTextChar(uint8_t c) { return kTextChars[c]; }

uint64_t Padded(uint32_t size) { return uint64_t(size) + (size & 1); }

std::string IdText(ByteView bytes) {
    std::string id;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t c = bytes.U8(i);
        id += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return id;
}

int32_t ClampToInt(uint64_t value) { return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value); }

constexpr uint32_t Fourcc(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

}  // namespace

TextRun FindTextRun(ByteView bytes, size_t from) {
    constexpr size_t kStartRun = 6, kMostAfterStart = 134;
    size_t inRow = 0;
    for (size_t i = from; i < bytes.size(); ++i) {
        inRow = IsTextChar(bytes.U8(i)) ? inRow + 1 : 0;
        if (inRow < kStartRun) continue;
        size_t end = i + 1;
        while (end < bytes.size() && end - i <= kMostAfterStart && IsTextChar(bytes.U8(end))) ++end;
        return {i + 1 - kStartRun, end - (i + 1 - kStartRun)};
    }
    return {};
}

std::string TagText(ByteView bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < 128; ++i) {
        const uint8_t c = bytes.U8(i);
        if ((c & 0x7F) < 0x20 || (c & 0x7F) == 0x7F) break;
        AppendCp1251(text, c);
    }
    return text;
}

std::string FourccText(uint32_t fourcc) {
    const uint8_t b[4] = {uint8_t(fourcc), uint8_t(fourcc >> 8), uint8_t(fourcc >> 16), uint8_t(fourcc >> 24)};
    const size_t length = static_cast<size_t>(std::find(b, b + 4, 0) - b);  // a zero byte ends the text
    return IdText(ByteView(b, 4)).substr(0, length);
}

ReadStatus CSupAvi::WalkRiff(CFileCache& reader, AnalysisRecords& records) {
    reader_ = &reader;
    records_ = &records;
    lastStream_ = firstStream_ = -1;
    current_ = CurrentStream::kNone;
    currentAudio_ = -1;
    junkRuns_ = 0;
    chunksVisited_ = 0;
    for (size_t i = 0; i < 4; ++i) records.Stream(i) = StreamInfo{};

    ContainerInfo& c = records.container;
    const uint64_t length = reader.LogicalLength();
    c.riffSize = reader.MapView(0, 8).Le32(4);
    c.riffComputedSize = 12;
    rootLimit_ = std::min<uint64_t>(c.riffSize, length >= 8 ? length - 8 : 0);
    const int result = WalkChunk(0, "", rootLimit_, true, 0) == Walk::kStop ? 0 : 1;

    // Further RIFF parts (OpenDML 'AVIX') and JUNK after the first RIFF chunk.
    uint64_t pos = uint64_t(c.riffSize) + 8;
    for (uint32_t n = 0; n < kMaxChunks; ++n) {
        const ByteView h = reader.MapView(pos, 8);
        if (h.empty()) break;
        const std::string id = IdText(h);
        const bool riff = EqualsIgnoreAsciiCase(id, "RIFF");
        if (!riff && !EqualsIgnoreAsciiCase(id, "JUNK")) break;
        if (riff) c.moviAndPartsSize += uint64_t(h.Le32(4)) + 8;
        pos += uint64_t(h.Le32(4)) + 8;
    }

    // The chain of top-level RIFF and JUNK chunks, this time padded.
    pos = 0;
    int32_t parts = 0;
    uint64_t lastPart = 0;
    std::string lastId;
    for (uint32_t n = 0; n < kMaxChunks && pos < length; ++n) {
        const ByteView h = reader.MapView(pos, 8);
        if (h.empty()) break;
        const std::string id = IdText(h);
        const bool riff = EqualsIgnoreAsciiCase(id, "RIFF");
        if (!riff && !EqualsIgnoreAsciiCase(id, "JUNK")) break;
        parts += riff ? 1 : 0;
        lastPart = pos;
        lastId = id;
        pos += Padded(h.Le32(4)) + 8;
    }
    c.topLevelRiffCount = parts;
    c.riffChainEnd = pos;

    c.firstDataNotVideo = firstStream_ >= 0 && firstStream_ != kRunStreamVideo;
    VideoInfo& v = records.video;
    if (lastStream_ == kRunStreamVideo && !v.chunkRuns.runs.empty()) v.chunkRuns.runs.pop_back();
    if (v.fourcc && v.width && v.height) {
        c.videoPresent = true;
        if (v.pixelAspect == 0) v.pixelAspect = 1.0;
    }
    c.riffWalkResult = result;
    if (c.hasMisfit)
        return ReadStatus::Damaged(c.misfitPosition, Format("chunk %s has a wrong length (0x%08x)", c.misfitPath.c_str(),
                                                            static_cast<unsigned>(c.misfitSize)));
    if (length < c.riffChainEnd) return CutShort(lastPart, "chunk " + lastId, c.riffChainEnd - lastPart, length - lastPart);
    return ReadStatus::Ok();
}

CSupAvi::Walk CSupAvi::WalkChunk(uint64_t position, const std::string& parentPath, uint64_t limit, bool reload,
                                 int depth) {
    if (++chunksVisited_ > kMaxChunks) return Walk::kGoOn;
    const ByteView h = reader_->MapView(position, 8, reload);
    if (h.empty()) return Walk::kGoOn;
    ContainerInfo& c = records_->container;
    const std::string id = IdText(h);
    const uint32_t size = h.Le32(4);
    const bool list = id == "RIFF" || id == "LIST";
    const std::string type = list ? IdText(reader_->MapView(position + 8, 4, reload)) : std::string();
    const std::string path = list ? parentPath + "/" + id + ":" + type : parentPath + "/" + id;

    if (!parentPath.empty() && limit < size) {
        // A WAVE writer that streamed the file may have left a data size
        // larger than anything the file holds: the sound present plays. The
        // stated time stays unknown; the stream's own is that of its bytes.
        if (path == "/RIFF:WAVE/data" && waveByteRate_ > 0) {
            const uint64_t length = reader_->LogicalLength();
            const uint64_t present = length > position + 8 ? length - position - 8 : 0;
            records_->Stream(0).stampedDurationMs = static_cast<int64_t>(present * 1000 / waveByteRate_);
        }
        c.hasMisfit = true;
        c.misfitPosition = position;
        c.misfitSize = size;
        c.misfitId = id;
        c.misfitPath = std::string(TruncateUtf8(path, 127));
        return Walk::kStop;
    }
    if (EqualsIgnoreAsciiCase(parentPath, "/RIFF:AVI ")) c.riffComputedSize += Padded(size) + 8;
    if (!list) {
        Handle(path, position, size, reload);
        return Walk::kGoOn;
    }

    bool childReload = reload;
    if (type == "movi") {
        // Only what the reader already holds is visited; the frame scan reads the rest.
        c.moviAndPartsSize = size;
        childReload = false;
    }
    // The root's children are judged against what the file can hold.
    const uint64_t childLimit = depth == 0 ? limit : size;
    int64_t left = static_cast<int64_t>(Padded(size)) - 4;
    if (left == 0 || depth >= kMaxDepth) return Walk::kGoOn;
    // Children that overshoot the list's end are walked on until one cannot
    // be mapped or does not fit: the cursor always moves by a whole chunk.
    for (uint64_t child = position + 12; left != 0 && chunksVisited_ < kMaxChunks;) {
        const ByteView ch = reader_->MapView(child, 16, childReload);
        if (ch.empty()) break;
        if (WalkChunk(child, path, childLimit, childReload, depth + 1) == Walk::kStop) return Walk::kStop;
        const uint64_t step = Padded(ch.Le32(4)) + 8;
        child += step;
        left -= static_cast<int64_t>(step);
    }
    return Walk::kGoOn;
}

ByteView CSupAvi::Bytes(uint64_t from, uint32_t n, bool reload) {
    const ByteView mapped = reader_->MapView(from, n, reload);
    if (!mapped.empty()) return mapped;
    // Bytes that straddle the end of the header buffer or of the file: what is held.
    const ByteView held = reader_->Header().From(from);
    return held.Sub(0, std::min<uint64_t>(n, held.size()));
}

ByteView CSupAvi::Data(uint64_t position, uint32_t size, uint32_t most, bool reload) {
    return Bytes(position + 8, std::min({size, most, CFileCache::kWindowSize}), reload);
}

void CSupAvi::Handle(std::string_view path, uint64_t position, uint32_t size, bool reload) {
    ContainerInfo& c = records_->container;
    const Route* route = FindRoute(path);
    if (!route) {
        if (path.find("/LIST:INFO/") != std::string_view::npos)
            ListTag(path.substr(path.size() - 4), TagText(Data(position, size, 128, reload)));
        else if (path.size() >= 5 && EqualsIgnoreAsciiCase(path.substr(path.size() - 5), "/JUNK"))
            ListJunkRuns(position, size, reload);
        return;
    }
    switch (route->action) {
        case Action::kWaveFormat: {
            const ByteView format = Data(position, size, 40);
            AudioFormat(format, records_->Stream(0), kAudioClassWave);
            waveByteRate_ = format.size() >= 14 ? format.Le32(8) : 0;
            break;
        }
        case Action::kWaveData: {
            StreamInfo& stream = records_->Stream(0);
            AppendChunkData(stream.data, position, size, reload);
            // A writer that streamed the file may leave the size too large
            // (0xFFFFFFFF): only the bytes present play.
            const uint64_t length = reader_ ? reader_->LogicalLength() : c.fileSize;
            const uint64_t present = length > position + 8 ? length - position - 8 : 0;
            const uint64_t bytes = std::min<uint64_t>(size, present);
            if (waveByteRate_ > 0) stream.durationMs = static_cast<int64_t>(bytes * 1000 / waveByteRate_);
            SetShortDuration(stream, bytes, waveByteRate_);
            break;
        }
        case Action::kCdxaData:
            c.cdxaDataOffset = position + 8;
            c.cdxaDataSize = size;
            break;
        case Action::kOdmlHeader:
            c.odmlFrameCount = Data(position, size, 4).Le32(0);
            break;
        case Action::kSegment:
            c.segmentValue = Data(position, size, 1).U8(0) + 1;
            break;
        case Action::kGoogleData:
            c.googleData = true;
            break;
        case Action::kStreamHeader:
            StreamHeader(Data(position, size, 56));
            break;
        case Action::kStreamFormat:
            StreamFormat(Data(position, size, CFileCache::kWindowSize));
            break;
        case Action::kMainHeader:
            MainHeader(Data(position, size, 40));
            break;
        case Action::kVideoDataInRec:
            c.recList = true;
            [[fallthrough]];
        case Action::kVideoData:
            if (size == 0) c.zeroVideoChunk = true;
            CopyData(kRunStreamVideo, position, size, reload);
            break;
        case Action::kAudioData:
            CopyData(route->audioStream, position, size, reload);
            break;
        case Action::kTag:
            ListTag(path.substr(path.size() - 4), TagText(Data(position, size, 128, reload)));
            break;
        case Action::kLegacyIndex:
            c.legacyIndex = true;
            break;
    }
}

void CSupAvi::StreamHeader(ByteView d) {
    ContainerInfo& c = records_->container;
    VideoInfo& v = records_->video;
    const uint32_t type = d.Le32(0), handler = d.Le32(4), scale = d.Le32(20), rate = d.Le32(24);
    const uint32_t length = d.Le32(32), sampleSize = d.Le32(44);
    current_ = CurrentStream::kNone;

    if (type == Fourcc("vids") || type == Fourcc("iavs")) {
        const bool interleavedDv = type == Fourcc("iavs");
        current_ = c.videoCount == 0 ? CurrentStream::kFirstVideo : CurrentStream::kOtherVideo;
        if (interleavedDv) {
            // A type-1 DV stream carries the sound inside the video frames.
            c.videoCount = std::max(c.videoCount, 1);
            c.audioCount = std::max(c.audioCount, 1);
        } else {
            ++c.videoCount;
        }
        if (current_ != CurrentStream::kFirstVideo) return;
        v.handler = handler;
        v.frameCount = length;
        if (rate) v.usPerFrame = ClampToInt((uint64_t(scale) * 1000000 + rate / 2) / rate);
        v.durationMs = (int64_t(v.usPerFrame) * length + 500) / 1000;
        const std::string name = FourccText(handler);
        if (interleavedDv && (name.starts_with("dv") || name.starts_with("DV"))) {
            c.dvType1 = true;
            v.width = 720;
            v.height = v.usPerFrame == 40000 ? 576 : 480;
        }
    } else if (type == Fourcc("auds")) {
        if (c.audioCount >= 4) return;  // a fifth audio stream is neither counted nor read
        current_ = CurrentStream::kAudio;
        currentAudio_ = c.audioCount++;
        StreamInfo& stream = records_->Stream(static_cast<size_t>(currentAudio_));
        // dwLength counts units of dwScale / dwRate seconds (samples, blocks or bytes).
        if (rate) stream.durationMs = static_cast<int64_t>(uint64_t(length) * scale / rate * 1000 +
                                                           uint64_t(length) * scale % rate * 1000 / rate);
        AudioResult& r = stream.audio[kAudioClassAvi];
        if (r.bitrateKbps && stream.riffBlockValue && scale) {
            r.bitrateKbps = ClampToInt((uint64_t(rate) * 8 / scale + 500) / 1000);
            stream.riffBlockValue = static_cast<int32_t>(std::min<uint32_t>(sampleSize, INT32_MAX));
        }
    }
}

void CSupAvi::StreamFormat(ByteView d) {
    if (current_ == CurrentStream::kAudio) {
        AudioFormat(d, records_->Stream(static_cast<size_t>(currentAudio_)), kAudioClassAvi);
        return;
    }
    if (current_ != CurrentStream::kFirstVideo) return;
    constexpr size_t kBitmapHeader = 40;
    VideoInfo& v = records_->video;
    if (d.size() >= 20 && v.width == 0 && v.height == 0 && v.fourcc == 0) {
        const auto width = static_cast<int32_t>(d.Le32(4));
        const auto height = static_cast<int32_t>(d.Le32(8));
        // A top-down bitmap declares a negative height.
        v.width = width;
        v.height = height == INT32_MIN ? INT32_MAX : height < 0 ? -height : height;
        v.fourcc = d.Le32(16);
    }
    const ByteView extra = d.From(kBitmapHeader);
    if (extra.size() >= 3 && extra.Be24(0) == 1) {
        v.data.Append(extra);
        records_->container.mpegInStreamHeader = true;
    }
}

void CSupAvi::MainHeader(ByteView d) {
    PictureRecord& p = records_->video.altPictures[kPictureAviHeader];
    const uint32_t period = d.Le32(0), frames = d.Le32(16);
    p.usPerFrame = ClampToInt(period);
    p.maxBitrate = uint64_t(d.Le32(4)) * 8;
    p.frameCount = frames;
    p.width = ClampToInt(d.Le32(32));
    p.height = ClampToInt(d.Le32(36));
    p.durationMs = static_cast<int64_t>((uint64_t(frames) * period + 500) / 1000);
}

void CSupAvi::AudioFormat(ByteView d, StreamInfo& stream, int32_t audioClass) {
    if (d.size() < 14) return;  // shorter than WAVEFORMAT
    AudioResult& r = stream.audio[static_cast<size_t>(audioClass)];
    r.codecClass = audioClass;
    r.formatTag = d.Le16(0);
    r.channels = d.Le16(2);
    r.sampleRate = ClampToInt(d.Le32(4));
    r.bitrateKbps = ClampToInt((uint64_t(d.Le32(8)) + 62) / 125);
    stream.riffBlockValue = d.Le16(12);
    if (d.size() >= 16) stream.bitsPerSample = d.Le16(14);
    // WAVE_FORMAT_EXTENSIBLE names the coding by the first two bytes of its
    // SubFormat GUID (after cbSize, valid bits and the channel mask).
    constexpr uint16_t kExtensible = 0xFFFE;
    if (r.formatTag == kExtensible && d.size() >= 26 && d.Le16(16) >= 22) stream.subFormatTag = d.Le16(24);
}

void CSupAvi::AppendChunkData(ElementaryBuffer& buffer, uint64_t position, uint32_t size, bool reload) {
    uint64_t from = position + 8;
    uint64_t left = std::min<uint64_t>(size, buffer.Room());
    while (left > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(left, CFileCache::kWindowSize));
        const ByteView piece = Bytes(from, n, reload);
        if (piece.empty()) break;
        const size_t took = buffer.Append(piece);
        if (took == 0) break;
        from += took;
        left -= took;
    }
}

void CSupAvi::CopyData(int runStream, uint64_t position, uint32_t size, bool reload) {
    records_->container.moviDataSeen = true;
    const bool video = runStream == kRunStreamVideo;
    StreamInfo* stream = video ? nullptr : &records_->Stream(static_cast<size_t>(runStream));
    ElementaryBuffer& buffer = video ? records_->video.data : stream->data;
    ChunkRunList& list = video ? records_->video.chunkRuns : stream->chunkRuns;

    const auto offset = static_cast<uint32_t>(buffer.Count());
    AppendChunkData(buffer, position, size, reload);
    if (runStream == lastStream_ && !list.runs.empty() && !list.overflow) {
        ChunkRun& run = list.runs.back();
        run.bytes = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(run.bytes) + size, UINT32_MAX));
        ++run.chunks;
    } else if (list.runs.size() < kMaxChunkRuns) {
        list.runs.push_back({position + 8, offset, size, 1});
    } else {
        list.overflow = true;
    }
    lastStream_ = runStream;
    if (firstStream_ < 0) firstStream_ = runStream;
}

void CSupAvi::ListTag(std::string_view id, std::string text) {
    constexpr size_t kMaxTagLines = 256;
    std::vector<std::string>& lines = records_->container.riffTagLines;
    if (lines.size() < kMaxTagLines) lines.push_back("[" + std::string(id) + "]\t" + text);
}

void CSupAvi::ListJunkRuns(uint64_t position, uint32_t size, bool reload) {
    constexpr uint32_t kJunkSearch = 8192;
    const ByteView d = Data(position, size, kJunkSearch, reload);
    for (size_t from = 0; junkRuns_ < kMaxJunkRuns; ++junkRuns_) {
        const TextRun run = FindTextRun(d, from);
        if (run.length == 0) break;
        ListTag("JUNK", std::string(reinterpret_cast<const char*>(d.data()) + run.start, run.length));
        from = run.start + run.length;
    }
}

}  // namespace torvo
