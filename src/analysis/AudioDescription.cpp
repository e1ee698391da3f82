#include "analysis/AudioDescription.h"

#include "analysis/PlayingTime.h"
#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr StatusTexts kStatusTexts[] = {
    {N_("Статус не определен"), 0xC0FFFF, N_("Статус кодека неопределен")},
    {N_("(отключен в настройке)"), 0xC0FFFF, N_("н.д.(отключен в настройках Torvo)")},
    {N_("Кодек не нужен   "), 0xE0FFE0, N_("Кодек не нужен   ")},
    {N_("Кодек НЕ установлен"), 0xC0C0FF, N_("Кодек(и) НЕ установлен(ы) ")},
    {N_("Статус не определен"), 0xC0FFFF, N_("Статус кодека неопределен")},
    {N_("Кодек установлен(ы)"), 0xE0FFE0, N_("Кодек(и) установлен(ы)")},
};

// Version codes shared by video and audio texts.
constexpr const char* kVersionNames[] = {N_("Не знаю"), N_("Не знаю"), "MPEG-1", "MPEG-2", "MPEG \"2.5\"", "MPEG-4", "H.264/AVC"};
constexpr const char* kLayerNames[] = {N_("нет "), N_("Не знаю"), "Layer 1", "Layer 2", "Layer 3"};
// Indexed by the result record's class; empty where a class has no name.
constexpr const char* kClassNames[] = {"",    "MP3", "AC3",       "WAV",         "AVI",  "DTS",    "AAC",
                                       "*ERROR*", "",    "",    "AVI(Main)", N_("AVI(поток) "), "MPEG", "*ERROR*"};

bool IsLpcmSubstream(const StreamInfo& s) {
    return (s.substreamId >= 0xA0 && s.substreamId <= 0xAF) || (s.streamId >= 0xA0 && s.streamId <= 0xAF);
}

template <typename T>
T FirstPositive(const std::array<AudioResult, kAudioClassCount>& records, T AudioResult::*field) {
    for (const AudioResult& r : records)
        if (r.*field > 0) return r.*field;
    return T{};
}

const std::string& FirstText(const std::array<AudioResult, kAudioClassCount>& records,
                             std::string AudioResult::*field) {
    static const std::string kEmpty;
    for (const AudioResult& r : records)
        if (!(r.*field).empty()) return r.*field;
    return kEmpty;
}

template <size_t N>
const char* NameAt(const char* const (&names)[N], int32_t code) {
    return code >= 0 && static_cast<size_t>(code) < N ? names[code] : "";
}

// Joins the parts with single blanks, leaving out empty ones.
std::string JoinParts(std::initializer_list<std::string> parts) {
    std::string out;
    bool first = true;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!first) out += ' ';
        out += part;
        first = false;
    }
    return out;
}

}  // namespace

StatusTexts TextsForStatus(int status) {
    return status >= 0 && static_cast<size_t>(status) < std::size(kStatusTexts) ? kStatusTexts[status]
                                                                                : kStatusTexts[0];
}

void RefillAudioList(AnalysisRecords& records) {
    size_t entry = 0;
    records.audioBeyondList.clear();
    for (size_t slot = 0; slot < kMaxStreams; ++slot) {
        const StreamInfo* s = records.StreamIf(slot);
        if (!s) continue;
        // A sound stream its container described counts as recognised too.
        bool recognised = IsLpcmSubstream(*s);
        for (const AudioResult& r : EffectiveResults(*s)) recognised = recognised || r.codecClass > 0;
        if (!recognised) continue;
        if (entry < kMaxAudioListEntries) records.audioList[entry++] = static_cast<int>(slot);
        else records.audioBeyondList.push_back(static_cast<int>(slot));
    }
}

std::string AudioCodecName(const StreamInfo& stream, const AudioFormatNamer& namer) {
    const auto records = EffectiveResults(stream);
    const int32_t tag = FirstPositive(records, &AudioResult::formatTag);
    const std::string tagText = tag > 0 ? Format("0x%04x", tag) : std::string();
    const std::string& codecText = FirstText(records, &AudioResult::codecText);

    std::string version, layer, className;
    for (const AudioResult& r : records)
        if (r.versionCode > 0 && version.empty()) version = NameAt(kVersionNames, r.versionCode);
    for (const AudioResult& r : records)
        if (r.layerCode > 0 && layer.empty()) layer = NameAt(kLayerNames, r.layerCode);
    if (IsLpcmSubstream(stream)) {
        className = "DVD_LPCM_AUDIO";
    } else {
        // The first recognising record names its class, unless it already
        // said more through a version or a layer.
        for (const AudioResult& r : records) {
            if (r.codecClass <= 0) continue;
            if (r.versionCode == 0 && r.layerCode == 0) className = NameAt(kClassNames, r.codecClass);
            break;
        }
    }
    const std::string& encoder = FirstText(records, &AudioResult::encoderText);

    std::string head;
    if (!version.empty() || !layer.empty()) head = tag > 0 ? tagText : codecText;
    else if (tag == 1) head = N_("Звук PCM ");
    else if (tag > 0) head = namer ? namer(tagText) : tagText + N_("(не знаю)");
    else head = codecText;
    return JoinParts({head, version, layer, className, encoder});
}

void DescribeAudioStream(Display& display, const AnalysisRecords& records, int n, const AudioFormatNamer& namer,
                         int status) {
    if (n < 0 || static_cast<size_t>(n) >= kMaxAudioListEntries) return;
    const int slot = records.audioList[n];
    const StreamInfo* stream = slot >= 0 ? records.StreamIf(static_cast<size_t>(slot)) : nullptr;
    Panel& panel = display.AudioPanel(static_cast<size_t>(n));
    panel.Clear();
    if (!stream) return;
    CExport& fields = display.Fields();
    const auto records9 = EffectiveResults(*stream);

    std::string info;
    if (stream->streamId > 0) {
        fields.FormatField("AUDIO_MPEG_STREAM_ID", n, "0x%02x", stream->streamId);
        info += Format("0x%02x", stream->streamId);
    }
    if (stream->substreamId > 0) {
        fields.FormatField("AUDIO_MPEG_SUBSTREAM_ID", n, "0x%02x", stream->substreamId);
        info += Format("[0x%02x]", stream->substreamId);
    }
    if (!info.empty()) info += ":";

    if (IsLpcmSubstream(*stream) && stream->sampleRate <= 0) {
        info += N_(" Звук PCM (подробностей нет)");
    } else if (IsLpcmSubstream(*stream)) {
        // The DVD LPCM header gave rate, sample size and channels.
        fields.FormatField("AUDIO_SAMPLE_RATE", n, "%d", stream->sampleRate);
        fields.FormatField("AUDIO_CHANNEL_COUNT", n, "%d", stream->channels);
        fields.FormatField("AUDIO_BITRATE", n, "%d", stream->bitrateKbps);
        info += Format(N_(" Звук PCM %dГц %d бит %d КБ/с "), stream->sampleRate, stream->bitsPerSample, stream->bitrateKbps);
        info += stream->channels == 1 ? N_("(1канал) ") : Format(N_("(%d канал) "), stream->channels);
    } else {
        const int32_t rate = FirstPositive(records9, &AudioResult::sampleRate);
        if (rate > 0) {
            fields.FormatField("AUDIO_SAMPLE_RATE", n, "%d", rate);
            info += Format(N_("%dГц "), rate);
        }
        const int32_t mode = FirstPositive(records9, &AudioResult::rateMode);
        const bool constant = mode == 1, variable = mode == 2;
        if (constant || variable) fields.SetField("AUDIO_BITRATE_TYPE", n, constant ? "CBR" : "VBR");
        if (n == display.ShownAudio()) {
            display.SetLamp("CBR", constant ? LampState::kLit : variable ? LampState::kDark : LampState::kHidden);
            display.SetLamp("VBR", variable ? LampState::kLit : constant ? LampState::kDark : LampState::kHidden);
        }
        int32_t bitrate = variable ? records9[kAudioClassMpeg].bitrateKbps : 0;
        if (bitrate <= 0) bitrate = FirstPositive(records9, &AudioResult::bitrateKbps);
        if (bitrate <= 0) bitrate = FirstPositive(records9, &AudioResult::secondBitrateKbps);
        const int32_t channels = FirstPositive(records9, &AudioResult::channels);
        const int32_t lfe = FirstPositive(records9, &AudioResult::lfe) > 0 ? 1 : 0;
        if (bitrate > 0) {
            fields.FormatField("AUDIO_BITRATE", n, "%d", bitrate);
            info += Format(N_("%d КБ/с "), bitrate);
            if (channels + lfe >= 2) info += N_("общ ");
        }
        const std::string& modeName = FirstText(records9, &AudioResult::channelModeText);
        if (!modeName.empty()) info += ", " + modeName + " ";
        else if (channels == 1 && !lfe) info += N_("(1канал) ");
        else if (lfe) info += Format(N_("(%d [%d.1] канал) "), channels + 1, channels);
        else if (channels > 0) info += Format(N_("(%d канал) "), channels);
        // The record's further texts: the AAC profile, the AC-3 service, and
        // whatever a container added.
        for (std::string AudioResult::*text : {&AudioResult::profileText, &AudioResult::serviceText, &AudioResult::extraText})
            if (const std::string& t = FirstText(records9, text); !t.empty()) info += t + " ";
        if (channels > 0) fields.FormatField("AUDIO_CHANNEL_COUNT", n, "%d", channels + lfe);
    }

    const std::string name = AudioCodecName(*stream, namer);
    fields.SetField("AUDIO_CODEC", n, name);
    const StatusTexts texts = TextsForStatus(status);
    fields.SetField("AUDIO_CODEC_STATUS", n, texts.field);
    panel.Set(N_("Кодек"), name);
    panel.Set(N_("Инфо"), info);
    panel.Set(N_("Сост."), texts.panel, static_cast<int>(texts.colour));
    ReportAudioPlayingTime(display, *stream, n);
}

}  // namespace torvo
