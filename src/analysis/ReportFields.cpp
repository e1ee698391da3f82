#include "analysis/ReportFields.h"

#include <cstdarg>

#include "base/Text.h"

namespace torvo {
namespace {

#define TORVO_AUDIO_KEYS(suffix)                                                                          \
    "%AUDIO_BITRATE" suffix "%", "%AUDIO_BITRATE_TYPE" suffix "%", "%AUDIO_CHANNEL_COUNT" suffix "%",     \
        "%AUDIO_CODEC" suffix "%", "%AUDIO_CODEC_STATUS" suffix "%", "%AUDIO_MPEG_STREAM_ID" suffix "%", \
        "%AUDIO_MPEG_SUBSTREAM_ID" suffix "%", "%AUDIO_SAMPLE_RATE" suffix "%"

constexpr std::string_view kKeys[] = {
    "%FILE_NAME%",
    "%FILE_NAME_WITH_PATH%",
    "%FILE_SIZE%",
    "%CONT_AUDIO_STREAM_COUNT%",
    "%CONT_BASETYPE%",
    "%CONT_BYTES_MISSING%",
    "%CONT_INTERLEAVE_ALIGN%",
    "%CONT_INTERLEAVE_PRELOAD%",
    "%CONT_INTERLEAVE_TIME%",
    "%CONT_SUBTYPE%",
    "%CONT_TOTAL_BITRATE%",
    "%VIDEO_ASPECT_CONVERT_AVI1%",
    "%VIDEO_ASPECT_CONVERT_AVI2%",
    "%VIDEO_ASPECT_CONVERT_CVD1%",
    "%VIDEO_ASPECT_CONVERT_CVD2%",
    "%VIDEO_ASPECT_CONVERT_DVD1%",
    "%VIDEO_ASPECT_CONVERT_DVD2%",
    "%VIDEO_ASPECT_CONVERT_SVCD1%",
    "%VIDEO_ASPECT_CONVERT_SVCD2%",
    "%VIDEO_ASPECT_CONVERT_VCD1%",
    "%VIDEO_ASPECT_CONVERT_VCD2%",
    "%VIDEO_ASPECT_SOURCE_MATCH%",
    "%VIDEO_ASPECT_TYPE_NTSC%",
    "%VIDEO_ASPECT_TYPE_PAL%",
    "%VIDEO_BITRATE%",
    "%VIDEO_CODEC_NAME%",
    "%VIDEO_CODEC_STATUS%",
    "%VIDEO_CODEC_TYPE%",
    "%VIDEO_DAR%",
    "%VIDEO_DURATION%",
    "%VIDEO_FIELDS_PER_SEC%",
    "%VIDEO_FRAME_COUNT%",
    "%VIDEO_FRAMES_PER_SEC%",
    "%VIDEO_H264%",
    "%VIDEO_MPEG2%",
    "%VIDEO_MPEG2_3X2%",
    "%VIDEO_MPEG2_BFF%",
    "%VIDEO_MPEG2_I_L%",
    "%VIDEO_MPEG2_PPF%",
    "%VIDEO_MPEG2_PROG%",
    "%VIDEO_MPEG2_TFF%",
    "%VIDEO_MPEG4%",
    "%VIDEO_MPEG4_BVOP%",
    "%VIDEO_MPEG4_GMC%",
    "%VIDEO_MPEG4_NVOP%",
    "%VIDEO_MPEG4_QPEL%",
    "%VIDEO_PAR%",
    "%VIDEO_PICS_PER_SEC%",
    "%VIDEO_QF%",
    "%VIDEO_SAR%",
    "%VIDEO_SIZE_X%",
    "%VIDEO_SIZE_Y%",
    TORVO_AUDIO_KEYS(""),
    TORVO_AUDIO_KEYS("_2"),
    TORVO_AUDIO_KEYS("_3"),
    // Playing times, kept after the original keys so that the generated
    // header and template texts stay as they were.
    "%CONT_DURATION%",
    "%AUDIO_DURATION%",
    "%AUDIO_DURATION_2%",
    "%AUDIO_DURATION_3%",
};
#undef TORVO_AUDIO_KEYS

static_assert(std::size(kKeys) == CExport::kKeyCount);

constexpr size_t kTemplateNameWidth = 31;

}  // namespace

std::span<const std::string_view> CExport::Keys() { return kKeys; }

namespace {

// The texts generated from the key list, built once: they are the same for
// every file, and a report is made for each file analysed.
struct GeneratedTexts {
    std::string keyHeader, nameHeader, defaultTemplate;

    GeneratedTexts() {
        // Only the single-instance keys appear in the generated texts.
        for (size_t i = 0; i < CExport::kSingleInstanceKeys; ++i) {
            const std::string_view key = kKeys[i];
            const std::string_view name = CExport::BareName(key);
            keyHeader.append(key).append("\t");
            nameHeader.append(name).append("\t");
            defaultTemplate.append(name);
            if (name.size() < kTemplateNameWidth) defaultTemplate.append(kTemplateNameWidth - name.size(), ' ');
            defaultTemplate.append(key).append("\\r\\n");
        }
        keyHeader.append(".\\r\\n");
        nameHeader.append("EndOfRec\r\n");
        defaultTemplate.append("\\r\\n");
    }
};

const GeneratedTexts& Generated() {
    static const GeneratedTexts texts;
    return texts;
}

}  // namespace

const std::string& CExport::KeyHeader() { return Generated().keyHeader; }
const std::string& CExport::NameHeader() { return Generated().nameHeader; }
const std::string& CExport::DefaultTemplate() { return Generated().defaultTemplate; }

std::optional<size_t> CExport::Lookup(std::string_view text) {
    for (size_t i = 0; i < kKeyCount; ++i) {
        const std::string_view key = kKeys[i];
        if (text.size() >= key.size() && EqualsIgnoreAsciiCase(text.substr(0, key.size()), key)) return i;
    }
    return std::nullopt;
}

std::optional<size_t> CExport::SlotFor(std::string_view name, int streamIndex) {
    static constexpr std::string_view kSuffix[] = {"", "_2", "_3"};
    if (streamIndex < 0 || streamIndex > 2) return std::nullopt;
    const std::string_view suffix = kSuffix[streamIndex];
    // Writers must name a whole key (NAME plus the stream's suffix, in any
    // case): a prefix match alone is for templates. Compared in place, since
    // every field an analysis sets comes through here.
    for (size_t i = 0; i < kKeyCount; ++i) {
        const std::string_view key = kKeys[i];
        if (key.size() != name.size() + suffix.size() + 2) continue;
        const std::string_view bare = BareName(key);
        if (EqualsIgnoreAsciiCase(bare.substr(0, name.size()), name) &&
            EqualsIgnoreAsciiCase(bare.substr(name.size()), suffix))
            return i;
    }
    return std::nullopt;
}

size_t CExport::SetField(std::string_view name, int streamIndex, std::string_view text) {
    const auto slot = SlotFor(name, streamIndex);
    if (!slot) return 0;
    const std::string_view kept = TruncateUtf8(text, kMaxValueChars);
    values_[*slot].assign(kept);
    return CountUtf8(kept);
}

size_t CExport::FormatField(std::string_view name, int streamIndex, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    return SetField(name, streamIndex, text);
}

void CExport::ClearFields() {
    for (std::string& value : values_) value.clear();
}

std::string_view CExport::Field(std::string_view name, int streamIndex) const {
    const auto slot = SlotFor(name, streamIndex);
    return slot ? std::string_view(values_[*slot]) : std::string_view();
}

}  // namespace torvo
