#include "analysis/AviSummary.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/AudioDescription.h"
#include "analysis/ContainerSummary.h"
#include "base/SizeText.h"
#include "base/Text.h"
#include "formats/riff/SupAvi.h"
#include "base/Translate.h"

namespace torvo {
namespace {

long long AsLongLong(uint64_t v) { return static_cast<long long>(std::min<uint64_t>(v, INT64_MAX)); }

// Video runs are regular when, from the third on, each has as many chunks as
// the one before (the first may differ: it often carries a preload).
bool RegularRuns(const std::vector<ChunkRun>& runs) {
    bool anyEqual = false;
    for (size_t i = 1; i < runs.size(); ++i) {
        const bool equal = runs[i].chunks == runs[i - 1].chunks;
        if (i >= 2 && !equal) return false;
        anyEqual = anyEqual || equal;
    }
    return anyEqual;
}

// Frame k (k >= 1) of an MPEG audio stream spans [frameEnds[k-1], frameEnds[k]).
struct AudioFrames {
    const std::vector<int32_t>& ends;
    size_t Count() const { return ends.size() > 1 ? ends.size() - 1 : 0; }
    int64_t Start(size_t k) const { return ends[k - 1]; }
    int64_t End(size_t k) const { return ends[k]; }
};

void Preload(InterleaveResult& r, const ChunkRun& firstRun, const AudioResult& mpeg) {
    const AudioFrames frames{mpeg.frameEnds};
    const int64_t runStart = firstRun.bufferOffset, runEnd = runStart + firstRun.bytes;
    size_t count = 0;
    int64_t lastStart = -1;
    for (size_t k = 1; k <= frames.Count(); ++k) {
        if (frames.Start(k) >= runStart && frames.Start(k) < runEnd) {
            ++count;
            lastStart = frames.Start(k);
        }
    }
    double preload = 0;
    if (count > 0) {
        const double average = double(frames.End(frames.Count()) - frames.Start(1)) / double(frames.Count());
        if (double(lastStart - runStart) + average + 1 >= double(firstRun.bytes))
            preload = double(count) * mpeg.frameDurationUs / 1000.0;
        else
            count = 0;
    }
    r.hasPreload = true;
    if (count == 0) {
        r.errorCode = 2;
        r.preloadMs = 0;
        r.text += Format("E%d/%3.0f", r.errorCode, 0.0);
    } else {
        r.preloadMs = std::llround(preload);
        r.text += Format(", preload=%lld", static_cast<long long>(r.preloadMs));
    }
}

InterleaveAlign Alignment(const std::vector<ChunkRun>& runs, const AudioResult& mpeg) {
    const AudioFrames frames{mpeg.frameEnds};
    if (frames.Count() == 0) return InterleaveAlign::kNone;
    bool judged = false;
    for (const ChunkRun& run : runs) {
        const int64_t at = run.bufferOffset;
        for (size_t k = 1; k <= frames.Count(); ++k) {
            if (at == frames.Start(k)) {
                judged = true;
                break;
            }
            if (at > frames.Start(k) && at < frames.End(k)) return InterleaveAlign::kSplit;
        }
    }
    return judged ? InterleaveAlign::kAligned : InterleaveAlign::kNone;
}

bool Recognised(const StreamInfo& s) {
    if (s.streamId >= 0xA0 && s.streamId <= 0xAF) return true;
    return std::any_of(s.audio.begin(), s.audio.end(), [](const AudioResult& r) { return r.codecClass > 0; });
}

}  // namespace

bool AviChecks(Display& display, uint64_t length, const ContainerInfo& c) {
    NotesList& notes = display.Container();
    CExport& fields = display.Fields();
    bool broken = false;
    if (c.hasMisfit) {
        if (c.moviDataSeen) {
            notes.Add(N_("Bad chunk в данных кадра: неверна длина"), kColourDamage);
        } else {
            notes.Add("Corrupt AVI header", kColourDamage);
            broken = true;
        }
        notes.Add(Format(" · Chunk: %s", c.misfitPath.c_str()));
        notes.Add(Format(" · Offset: 0x%08llx", AsLongLong(c.misfitPosition + 4)));
        notes.Add(Format(" · Value:0x%08x", c.misfitSize));
        return broken;
    }
    const uint64_t end = c.riffChainEnd;
    if (length < end) {
        fields.FormatField("CONT_BYTES_MISSING", 0, "%lld", AsLongLong(end - length));
        if (c.legacyIndex) {
            notes.Add(N_("Файл усечен в области \"legacy index\".     "), kColourDamage);
        } else {
            notes.Add(N_("Файл усечен.   "), kColourDamage);
            broken = true;
        }
        notes.Add(" · " + FullSizeText(end - length) + N_(" отсутствуют"));
    } else if (length < c.riffSize) {
        ReportLengthCheck(display, c.riffSize, length);
    } else {
        if (length == end) fields.SetField("CONT_BYTES_MISSING", 0, "0");
        ReportLengthCheck(display, end, length);
    }
    return broken;
}

InterleaveResult InterleaveAnalysis(const VideoInfo& video, const StreamInfo& audio, int32_t usPerFrame,
                                    bool firstDataWasAudio) {
    InterleaveResult r;
    const std::vector<ChunkRun>& runs = video.chunkRuns.runs;
    if (runs.size() < 2 || audio.chunkRuns.runs.size() < 2) return r;
    r.done = true;
    const int64_t period = usPerFrame;
    std::string timeText;
    if (RegularRuns(runs)) {
        const int64_t m = runs[1].chunks;
        r.timeMs = (period * m + 500) / 1000;
        timeText = Format(m == 1 ? N_("%lld вид кадр  (%lld мс)") : N_("%lld вид кадров (%lld мс)"),
                          static_cast<long long>(m), static_cast<long long>(r.timeMs));
    } else {
        // A first run that differs much from the second carries a preload.
        const bool skipFirst = runs[0].chunks + 1 < runs[1].chunks || runs[0].chunks > runs[1].chunks + 1 ||
                               runs[0].chunks < 2;
        int64_t v = 0, k = 0;
        for (size_t i = skipFirst ? 1 : 0; i < runs.size(); ++i, ++k) v += runs[i].chunks;
        r.timeMs = (v * period / k + 500) / 1000;
        timeText = Format(N_("%lld мс (%3.1f в.кадров)"), static_cast<long long>(r.timeMs), double(v) / double(k));
    }
    r.text = "Interleave: " + timeText;
    const AudioResult& mpeg = audio.audio[kAudioClassMpeg];
    if (firstDataWasAudio) Preload(r, audio.chunkRuns.runs.front(), mpeg);
    if (audio.ngValue != 0) r.text += Format(" NG=%3.0f", audio.ngValue);
    r.align = Alignment(audio.chunkRuns.runs, mpeg);
    return r;
}

bool AviSummary(Display& display, uint64_t length, const AnalysisRecords& records) {
    const ContainerInfo& c = records.container;
    const VideoInfo& v = records.video;
    NotesList& notes = display.Container();
    CExport& fields = display.Fields();

    const bool broken = AviChecks(display, length, c);
    if (c.zeroVideoChunk) display.SetLamp("AVID", LampState::kLit);

    if (c.googleData) notes.Add("Compatibility Note: Has Google Data Chunk", kColourWarning);
    if (c.packedBitstream) notes.Add(N_("DivX стиля \"packed bitstream\" AVI"), kColourMpegSummary);
    if (c.dvType1) notes.Add(N_("Compatibility Note: DV тип  1 AVI"), kColourWarning);
    else if (v.dv) notes.Add(N_("DV тип  2 AVI"));

    const int32_t parts = c.topLevelRiffCount;
    std::string subtype = parts < 2 ? (c.odmlFrameCount ? "OpenDML (AVI v2.0), " : "AVI v1.0, ")
                                    : Format(N_("Multipart OpenDML AVI (%d части), "), parts);
    fields.SetField("CONT_SUBTYPE", 0, subtype);
    if (c.segmentValue > 0) subtype += N_("Сегмент VDub, ");
    if (c.segmentValue == 1) subtype += N_("финал, ");
    if (c.recList) subtype += N_("стиль \"rec list\", ");
    subtype.resize(subtype.size() - 2);
    notes.Add(subtype, kColourMpegSummary);

    const PictureRecord& header = v.altPictures[kPictureAviHeader];
    if (parts >= 2)
        notes.Add(Format(N_("(%lld кадров в первой части, %lld кадров затем)"), static_cast<long long>(header.frameCount),
                         static_cast<long long>(v.frameCount - header.frameCount)),
                  kColourMpegSummary);

    const int shown = records.shownAudio >= 0 && records.shownAudio < int(kMaxAudioListEntries)
                          ? records.audioList[records.shownAudio]
                          : -1;
    const StreamInfo* audio = shown >= 0 ? records.StreamIf(static_cast<size_t>(shown)) : nullptr;
    if (audio && Recognised(*audio)) {
        const int32_t period = v.usPerFrame ? v.usPerFrame : header.usPerFrame;
        const InterleaveResult r = InterleaveAnalysis(v, *audio, period, c.firstDataNotVideo);
        if (r.done) {
            fields.FormatField("CONT_INTERLEAVE_TIME", 0, "%lld", static_cast<long long>(r.timeMs));
            if (r.hasPreload) fields.FormatField("CONT_INTERLEAVE_PRELOAD", 0, "%lld", static_cast<long long>(r.preloadMs));
            notes.Add(r.text);
            if (r.align == InterleaveAlign::kSplit) {
                fields.SetField("CONT_INTERLEAVE_ALIGN", 0, "Split");
                notes.Add(N_("Аудиокадры:   Split across interleaves"));
            } else if (r.align == InterleaveAlign::kAligned) {
                fields.SetField("CONT_INTERLEAVE_ALIGN", 0, "Aligned");
                notes.Add(N_("Аудиокадры:   Aligned on interleaves"));
            }
        }
    }
    if (c.mpegInStreamHeader) notes.Add(N_("Учти: данные MPEG в загол.потока AVI."));
    return broken;
}

void TagListing(Display& display, ContainerInfo& c) {
    NotesList& tags = display.UserData();
    // "[ISFT]\ttext": the tag's text after the tab is the file's.
    for (const std::string& line : c.riffTagLines) {
        const size_t tab = line.find('\t');
        tags.AddTag(line, tab == std::string::npos ? std::string::npos : tab + 1);
    }
    for (const MetadataItem& item : c.metadata) {
        std::string line = item.name;
        if (!item.name.empty() && !item.text.empty()) line += ":" + item.text;
        if (!line.empty() && !item.secondText.empty()) line += ":" + item.secondText;
        const size_t own = item.composed || item.name.empty() ? std::string::npos : item.name.size() + 1;
        if (!line.empty()) tags.AddTag(line, own);
    }

    // User data repeats (an encoder writes its name into every sequence):
    // a run equal to one of the last five seen is not listed again.
    constexpr size_t kMaxLines = 5, kRing = 5, kMaxLineChars = 127;
    std::array<std::string, kRing> recent;
    size_t ring = 0;
    const ByteView data(reinterpret_cast<const uint8_t*>(c.userData.data()), c.userData.size());
    c.userDataLines.clear();
    for (size_t from = 0; c.userDataLines.size() < kMaxLines;) {
        const TextRun run = FindTextRun(data, from);
        if (run.length == 0) break;
        from = run.start + run.length;
        std::string text(reinterpret_cast<const char*>(data.data()) + run.start, run.length);
        if (std::find(recent.begin(), recent.end(), text) != recent.end()) continue;
        recent[ring++ % kRing] = text;
        tags.Add("[USER]\t" + text);
        c.userDataLines.push_back(text.substr(0, kMaxLineChars));
    }
}

}  // namespace torvo
