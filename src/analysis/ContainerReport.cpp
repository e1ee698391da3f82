#include "analysis/ContainerReport.h"

#include "base/Text.h"
#include "formats/containers/ContainerUtil.h"
#include "formats/containers/FourCCNames.h"
#include "base/Translate.h"

namespace torvo {

std::string_view QuickTimeVideoCodecName(uint32_t fourcc) { return FindFourCCName(kQuickTimeVideoNames, fourcc); }

std::string_view SoundEntryName(uint32_t fourcc) { return FindFourCCName(kSoundEntryNames, fourcc); }

namespace {
struct FlvCodecRow {
    int id;
    std::string_view type, name;
    int playerVersion;
};
constexpr FlvCodecRow kFlvCodecs[] = {
    {2, "FLV1", "Flash/Sorenson", 6},
    {3, "FSV1", N_("Флэш/экран.  видео"), 7},
    {4, "FLV4/VP62", "Flash/On2 VP6", 8},
    {5, "FLV4/VP62", N_("Флэш/VP6 с прозр."), 8},
    {6, "FSV2", N_("Флэш/экран. видео  тип  2"), 8},
    {7, "H264", "H.264/AVC", 9},
};
constexpr FlvCodecRow kFlvUnknown = {0, "????", N_("Не знаю тип флэш-видео  "), 0};

const FlvCodecRow& FlvCodec(int codecId) {
    for (const FlvCodecRow& row : kFlvCodecs)
        if (row.id == codecId) return row;
    return kFlvUnknown;
}
}  // namespace

std::string_view FlvVideoCodecType(int codecId) { return FlvCodec(codecId).type; }
std::string_view FlvVideoCodecName(int codecId) { return FlvCodec(codecId).name; }
int FlvPlayerVersion(int codecId) { return FlvCodec(codecId).playerVersion; }

void AddFlvCompatibilityLines(Display& display, const AnalysisRecords& records) {
    NotesList& notes = display.Container();
    notes.Add(N_("Вопрос  совместимости:"), kColourWarning);
    const int version = FlvPlayerVersion(records.video.flvCodecId);
    if (version) notes.Add(Format(N_("- нужен флэш-плеер версии %d и нове"), version));
    else notes.Add(N_("Не знаю формат флэш FLV "), kColourWarning);
}

void AddBrandLines(Display& display, const AnalysisRecords& records, const BrandDescriber& describeBrand) {
    const ContainerInfo& container = records.container;
    if (container.majorBrand == 0) return;
    NotesList& notes = display.Container();
    notes.Add(FourCCText(container.majorBrand) + ": " + describeBrand(container.majorBrand));
    for (uint32_t brand : container.compatibleBrands) {
        if (brand == 0) break;
        if (brand != container.majorBrand) notes.Add("- " + FourCCText(brand) + ": " + describeBrand(brand));
    }
}

void AddMetadataLines(Display& display, const AnalysisRecords& records) {
    for (const MetadataItem& item : records.container.metadata)
        display.UserData().AddTag(item.name + ":" + item.text, item.composed ? std::string::npos : item.name.size() + 1);
}

}  // namespace torvo
