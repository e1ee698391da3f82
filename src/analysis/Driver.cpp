#include "analysis/Driver.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "analysis/ContainerSummary.h"
#include "base/FileCache.h"
#include "analysis/PlayingTime.h"
#include "base/SizeText.h"
#include "base/Text.h"
#include "analysis/ContainerReport.h"
#include "formats/containers/SupFLV.h"
#include "analysis/NamedFormatReport.h"
#include "analysis/StreamReport.h"
#include "formats/containers/SupMP4QT.h"
#include "formats/containers/FormatRegistry.h"
#include "formats/containers/SupTS.h"
#include "analysis/MpegReport.h"
#include "formats/mpeg/AudioDuration.h"
#include "formats/containers/Id3Tags.h"
#include "formats/mpeg/SupAAC.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupMpg4.h"
#include "formats/mpeg/SupMpg.h"
#include "formats/mpeg/SupAC3.h"
#include "formats/mpeg/SupDV.h"
#include "records/CodecIds.h"
#include "formats/mpeg/SupMp3.h"
#include "analysis/AviSummary.h"
#include "formats/riff/SupAvi.h"
#include "inventory/CodecStatus.h"
#include "base/Translate.h"

namespace torvo {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

UserMessage CannotOpenMessage(const std::string& path, const std::string& errorText) {
    return {N_("Не открыть файл!!"), Format(N_("НеМогу открыть файл %s:\n\n"), path.c_str()) + errorText};
}

bool CAnalysisDriver::WaitForScanEnd(std::chrono::milliseconds limit) {
    return !scan_ || scan_->WaitUntilEnded(limit);
}

bool CAnalysisDriver::AnalyseFile(const std::string& path) {
    StopScan();
    display_.Reset();
    records_.Reset();
    identity_ = {};
    message_ = {};
    brokenFile_ = false;

    std::optional<CFileCache> opened(std::in_place, &spareHeader_);
    CFileCache& reader = *opened;
    if (!reader.Open(path)) {
        message_ = CannotOpenMessage(path, reader.LastErrorText());
        return false;
    }
    const std::string name = FileNameOf(path);
    display_.SetTitle(std::string(kProgramTitle) + ": " + name);

    CExport& fields = display_.Fields();
    fields.SetField("FILE_NAME_WITH_PATH", 0, path);
    fields.SetField("FILE_NAME", 0, name);
    ContainerInfo& container = records_.container;
    container.fileSize = reader.PhysicalSize();
    display_.FilePanel().Set(Display::kPathCaption, path);
    display_.FilePanel().Set(Display::kSizeCaption, FullSizeText(container.fileSize));
    fields.SetField("FILE_SIZE", 0, ByteCountText(container.fileSize));

    if (container.fileSize == 0) {
        container.typeId = identity_.typeId = kTypeEmpty;
        NotesList& notes = display_.Container();
        notes.Add(N_("Файл пуст. Его размер - ноль байт.      "));
        notes.Add("It is blank, barren and bare - vacant, vacuous, and void.");
        notes.Add("It is a degenerate case.");
    } else {
        Analyse(reader);
    }

    if (!options_.useCodecInfo)
        display_.Container().Add(N_("Рендеринг в программе отключен (включается в меню \"Настройка\" > \"Параметры\") "));
    fields.FormatField("CONT_TOTAL_BITRATE", 0, "%d", container.bitrateKbps);
    if (container.fileSize > 0) {
        // A file read whole by the header read is scanned from those bytes,
        // which the reader leaves in the spare header when it goes.
        const ByteView header = reader.Header();
        const bool whole = reader.IsFile() && reader.BaseOffset() == 0 && header.size() == reader.PhysicalSize();
        const uint8_t* bytes = whole ? header.data() : nullptr;
        const uint64_t size = reader.PhysicalSize();
        std::unique_ptr<MappedRegion> mapped = whole ? reader.ReleaseHeaderMapping() : nullptr;
        opened.reset();
        StartScan(path, bytes, size, std::move(mapped));
    }
    return true;
}

void CAnalysisDriver::Analyse(CFileCache& reader) {
    ContainerInfo& container = records_.container;
    // Identification skips an ID3v2 tag; its texts are read first.
    ReadId3v2(reader.Header(), container.metadata, &container.pictures);
    IdentifyBySignature(reader, identity_);
    container.typeId = identity_.typeId;

    const CdImageInfo cd = reader.CDImageInfo();
    if (cd.isImage) {
        container.cdImage = true;
        container.sectorSize = cd.sectorSize;
        container.baseOffset = reader.BaseOffset();
        display_.Container().Add(Format(N_("Файл-образ CD, sec size = %d"), static_cast<int>(cd.sectorSize)));
    }
    // DV frames repeat their block layout closely enough to pass for packets
    // now and then; a whole consistent DV frame settles it.
    DvInfo dv;
    if (IsTransportStream(reader.Header()) && !CSupDV().Analyse(dv, reader.Header())) {
        identity_.layout = StreamLayout::kTransportStream;
        const TransportPacketLayout packets = FindTransportPacketLayout(reader.Header());
        container.tsPacketSize = packets.packetSize;
        container.tsSyncOffset = packets.syncOffset;
    }
    TakeReadStatus(Dispatch(reader));
    if (container.layout == StreamLayout::kAudioElementary || identity_.layout == StreamLayout::kAudioElementary)
        MeasureElementaryAudio(reader);

    SettleFileType(identity_, records_.video.dv ? (records_.video.dvSmpte314M ? kTypeDvSmpte314M : kTypeDvIec61834)
                                                : kTypeUnknown);
    container.typeId = identity_.typeId;
    container.layout = identity_.layout;
    RefillAudioList(records_);
    ReportFileType();

    // The container summary: MPEG files describe their streams, others are
    // checked against the length their headers declare.
    const bool mpegAudioFile = container.typeId == kTypeMpegAudio && container.layout == StreamLayout::kAudioElementary;
    if (container.typeId == kTypeMpeg || mpegAudioFile) ReportMpegSummary(display_, records_);
    else if (container.typeId == kTypeTransportStream) ReportTransportSummary(display_, records_);
    else if (container.typeId == kTypeMatroska) {
        ReportMatroskaSummary(display_, records_);
        ReportLengthCheck(display_, container.declaredLength, reader.LogicalLength());
    }
    else if (container.typeId == kTypeAvi) brokenFile_ = AviSummary(display_, reader.LogicalLength(), records_);
    else {
        ReportNamedFormatSummary(display_, records_);
        ReportLengthCheck(display_, container.declaredLength, reader.LogicalLength());
    }
    // The AVI checks above already say where its chunks go wrong.
    if (container.typeId != kTypeAvi) ReportReadProblems(display_, records_.diagnostics);
    TagListing(display_, container);
    ReportSystemSummary(display_, records_);

    if (ReportVideoFormat(display_, records_) == VideoFormatCase::kRawDv) {
        ApplyDvPicture(records_.video);
        if (container.layout == StreamLayout::kRawDv) AddRawDvSound(reader);
        else if (container.dvType1) AddInterleavedDvSound();
    }
    WaitForInventory();
    if (container.videoCount >= 1) {
        // The H.264 record's code, else the MPEG video record's (2 MPEG-1, 3 MPEG-2).
        const VideoInfo& video = records_.video;
        const int mpegVersion = video.h264 ? kVersionH264 : video.mpeg2 ? kVersionMpeg2
                                                                     : video.headers[kHeaderMpegVideo].version;
        VideoSummary(display_, records_);
        records_.videoStatus = VideoCodecStep(display_, records_, options_.videoCodecLookup, options_.useCodecInfo, mpegVersion,
                       [this] { return VideoStatusCode(inventory_, records_, options_.useCodecInfo, false); });
    }
    ReportAudioPanel();
    ReportFilePlayingTime(display_, records_);
}

ReadStatus CAnalysisDriver::Dispatch(CFileCache& reader) {
    ReadStatus status;
    if (identity_.typeId == kTypeUnknown) {
        // Files without a signature are recognised by their content.
        const FormatDescriptor* transport = FormatById("mpeg-ts");
        const FormatDescriptor* rifx = FormatById("rifx");
        if (identity_.layout == StreamLayout::kTransportStream) return transport->read(reader, records_);
        if (identity_.layout != StreamLayout::kNone) return status;
        status = rifx->read(reader, records_);
        if (records_.container.bigEndianWave) identity_.typeId = kTypeWave;
        else if (content_) status.Merge(content_->Analyse(reader, identity_, records_));
        return status;
    }
    const FormatDescriptor* format = FormatForType(identity_.typeId);
    if (!format) return status;
    switch (format->reader) {
        case FormatReader::kOwn: return format->read(reader, records_);
        case FormatReader::kMpegSystem: return AnalyseMpeg(reader);
        case FormatReader::kMovie:
            status = AnalyseMovie(reader);
            CountContainerStreams();
            return status;
        case FormatReader::kFlv:
            status = AnalyseFlv(reader);
            CountContainerStreams();
            return status;
        case FormatReader::kRiff: return DispatchRiff(reader);
        case FormatReader::kMpegAudio:
            // MPEG audio frames that happen to start with a signature are
            // elementary audio like any other; the signature's name stays.
            if (content_) status = content_->Analyse(reader, identity_, records_);
            if (identity_.layout == StreamLayout::kAudioElementary) identity_.typeId = kTypeMpegAudio;
            return status;
        case FormatReader::kContent:
        case FormatReader::kNone: break;
    }
    return status;
}

void CAnalysisDriver::TakeReadStatus(ReadStatus status) {
    if (!status.IsOk()) records_.diagnostics.push_back(std::move(status));
}

void CAnalysisDriver::MeasureElementaryAudio(CFileCache& reader) {
    StreamInfo* stream = records_.StreamIf(0);
    if (!stream) return;
    const uint64_t length = reader.LogicalLength();
    const uint64_t tailStart = length > 128 ? length - 128 : 0;
    const ByteView tail = reader.MapView(tailStart, static_cast<uint32_t>(length - tailStart));
    ReadId3v1(tail, records_.container.metadata);
    stream->durationMs = ElementaryAudioDurationMs(reader.Header(), length - TrailingTagBytes(tail));
}

void CAnalysisDriver::AddRawDvSound(CFileCache& reader) {
    VideoInfo& video = records_.video;
    ApplyRawDvTiming(video, reader.LogicalLength());
    CSupDV::Audio audio;
    if (records_.StreamIf(0) || !CSupDV::ReadAudio(reader.Header(), audio)) return;
    // The sound is interleaved PCM inside every frame, lasting as long as the picture.
    StreamInfo& sound = records_.Stream(0);
    sound.sourceKind = kSourceContainerSound;
    sound.formatTag = 1;
    sound.sampleRate = audio.sampleRate;
    sound.channels = audio.channels;
    sound.bitsPerSample = audio.bits;
    sound.bitrateKbps = audio.sampleRate * audio.channels * audio.bits / 1000;
    sound.bitrateType = 1;
    sound.durationMs = video.durationMs;
    records_.container.audioCount = 1;
    records_.audioList[0] = 0;
}

void CAnalysisDriver::AddInterleavedDvSound() {
    // A type-1 DV AVI's one stream carries the sound inside its frames, as
    // raw DV does: the first frame's AAUX source pack tells the stream's own
    // facts; the panel keeps what the AVI headers say of it (nothing).
    StreamInfo* sound = records_.StreamIf(0);
    CSupDV::Audio audio;
    if (!sound || !sound->codecId.empty() || !CSupDV::ReadAudio(records_.video.data.View(), audio)) return;
    // Its 12-bit sound decodes to 16-bit samples.
    sound->codecId = std::string(FormatTagCodecId(1, 16));
    sound->configSampleRate = audio.sampleRate;
    sound->configChannels = audio.channels;
    sound->stampedDurationMs = records_.video.durationMs;
}

void CAnalysisDriver::CountContainerStreams() {
    // Containers that say only whether video and sound are present have one of each.
    ContainerInfo& container = records_.container;
    if (container.videoPresent && container.videoCount == 0) container.videoCount = 1;
    if (container.soundPresent && container.audioCount == 0) container.audioCount = 1;
}

void CAnalysisDriver::TestElementaryAudio(StreamInfo& stream, bool withAac) {
    const ByteView data = stream.data.View();
    CSupMp3().Analyse(data, stream.audio[kAudioClassMpeg]);
    CSupAC3().Analyse(data, stream.audio[kAudioClassAc3]);
    if (withAac) CSupAAC().Analyse(data, stream.audio[kAudioClassAac], records_.container);
}

ReadStatus CAnalysisDriver::AnalyseMovie(CFileCache& reader) {
    ContainerInfo& container = records_.container;
    CSupMP4QT movie(reader, records_);
    movie.ReadFtyp();
    ReadStatus status = movie.ReadMovie();
    if (movie.TracksRead() && container.majorBrand != 0 && options_.brandDescriber)
        AddBrandLines(display_, records_, options_.brandDescriber);
    // The elementary data the movie's tracks gave is analysed like any other.
    StreamInfo* sound = records_.StreamIf(0);
    if (records_.video.data.Count() == 0 && !(sound && sound->data.Count() > 0)) return status;
    identity_.layout = container.layout = StreamLayout::kMp4Track;
    records_.audioList[0] = 0;
    if (sound) TestElementaryAudio(*sound, true);
    VideoInfo& video = records_.video;
    if (video.data.Count() > 0 && !CSupMpg4().AnalyseCollected(container, video))
        video.h264 = CSupH264().Analyse(video.headers[kHeaderH264], video.data.View());
    return status;
}

ReadStatus CAnalysisDriver::AnalyseFlv(CFileCache& reader) {
    CSupFLV flv(records_);
    flv.SetAudioAnalysis([](StreamInfo& audio) {
        CSupMp3().Analyse(audio.data.View(), audio.audio[kAudioClassMpeg]);
    });
    ReadStatus status = flv.ReadFile(reader);
    // A tag of an unknown type stopped the walk before anything was settled.
    if (status.GetKind() == ReadStatus::Kind::kDamaged) return status;
    records_.audioList[0] = 0;
    // The sound flags of the audio tags describe the stream.
    if (StreamInfo* sound = records_.StreamIf(0); sound && sound->sourceKind == kSourceNone)
        sound->sourceKind = kSourceContainerSound;
    VideoInfo& video = records_.video;
    if (records_.video.flvCodecId == 7 && video.data.Count() > 0) {
        video.h264 = CSupH264().Analyse(video.headers[kHeaderH264], video.data.View());
        // FLV states no picture size for H.264: the one the sequence parameters show stands for it.
        if (video.h264 && (video.width == 0 || video.height == 0)) {
            video.width = video.headers[kHeaderH264].ShownWidth();
            video.height = video.headers[kHeaderH264].ShownHeight();
        }
    }
    return status;
}

ReadStatus CAnalysisDriver::AnalyseMpeg(CFileCache& reader) {
    ContainerInfo& container = records_.container;
    container.layout = identity_.layout;
    ReadStatus status = CSupMpg(records_).Analyse(reader);
    identity_.layout = container.layout;
    if (container.typeId != kTypeUnknown) identity_.typeId = container.typeId;
    // The program's mux rate is the file's overall bitrate.
    if (container.bitrateKbps == 0) container.bitrateKbps = container.muxRateKbps;
    return status;
}

// RIFF files: the walk fills the records; a CDXA wrapper's data is MPEG.
ReadStatus CAnalysisDriver::DispatchRiff(CFileCache& reader) {
    ContainerInfo& container = records_.container;
    CSupAvi avi;
    ReadStatus status = avi.WalkRiff(reader, records_);
    if (identity_.typeId == kTypeWave) container.audioCount = 1;
    const int offered = std::min(container.audioCount, static_cast<int>(kMaxAudioListEntries));
    for (int i = 0; i < offered; ++i) records_.audioList[i] = i;
    if (identity_.typeId == kTypeCdxa && container.cdxaDataOffset > 0) {
        container.mpegInCdxa = true;
        reader.Skip(container.cdxaDataOffset);
        identity_.typeId = kTypeUnknown;
        if (content_) status.Merge(content_->Analyse(reader, identity_, records_));
    }
    if (container.mpegInCdxa) return status;
    // The video and audio the walk collected are tested for MPEG content.
    CSupMpg mpeg(records_);
    if (records_.video.data.Count() > 0) mpeg.AnalyseVideoData(records_.video.data.View());
    for (const int slot : records_.audioList) {
        StreamInfo* stream = slot >= 0 ? records_.StreamIf(static_cast<size_t>(slot)) : nullptr;
        if (!stream) continue;
        TestElementaryAudio(*stream, false);
    }
    return status;
}

void CAnalysisDriver::ReportFileType() {
    const SignatureRow* row = identity_.row;
    if (!row) return;
    // AVI, MPEG and MP4 describe themselves in their own summaries.
    const int32_t type = identity_.typeId;
    if (type != kTypeAvi && type != kTypeMpeg && type != kTypeMp4) {
        display_.Container().Add(Format(N_("Тип файла: %s"), row->description));
        display_.Container().Add(Format(N_("Тип MIME:  %s"), row->mime));
    }
    display_.Fields().SetField("CONT_BASETYPE", 0, row->description);
}

void CAnalysisDriver::ReportAudioPanel() {
    const int count = records_.container.audioCount;
    display_.SetAudioButtons(std::min(count, static_cast<int>(kMaxAudioListEntries)), 0);
    if (count >= 1) display_.Fields().FormatField("CONT_AUDIO_STREAM_COUNT", 0, "%d", count);
    // Every stream the buttons offer is described, so that reports and
    // exports carry all of them; the panel shows the first. A file without
    // audio streams offers none, whatever its container prepared.
    const int offered = std::min(count, static_cast<int>(kMaxAudioListEntries));
    for (int n = offered - 1; n >= 0; --n)
        if (records_.audioList[n] >= 0) AnalyseAudioStream(n);
    display_.SetAudioButtons(std::min(count, static_cast<int>(kMaxAudioListEntries)), 0);
    // The streams beyond the buttons have no panel; the typed report lists them with their status.
    records_.audioBeyondListStatus.clear();
    for (const int slot : records_.audioBeyondList) {
        const StreamInfo* stream = records_.StreamIf(static_cast<size_t>(slot));
        records_.audioBeyondListStatus.push_back(
            stream ? StreamAudioStatusCode(inventory_, records_, options_.useCodecInfo, *stream) : 0);
    }
}

void CAnalysisDriver::WaitForInventory() {
    // Only files with streams ask for a status, so only they wait.
    inventory_ = nullptr;
    const bool streams = records_.container.videoCount >= 1 || records_.container.audioCount >= 1;
    if (!options_.useCodecInfo || !options_.waitForInventory || !streams) return;
    inventory_ = options_.waitForInventory(options_.useCodecInfo);
}

void CAnalysisDriver::AnalyseAudioStream(int n) {
    records_.shownAudio = n;
    display_.SetAudioButtons(display_.AudioButtonsEnabled(), n);
    const int status = AudioStatusCode(inventory_, records_, options_.useCodecInfo, n);
    if (n >= 0 && n < static_cast<int>(kMaxAudioListEntries)) records_.audioStatus[static_cast<size_t>(n)] = status;
    DescribeAudioStream(display_, records_, n, options_.audioFormatNamer, status);
}

}  // namespace torvo
