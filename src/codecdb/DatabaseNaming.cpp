#include "codecdb/DatabaseNaming.h"

namespace torvo {

void UseDatabaseNames(DriverOptions& options, const CReadDatabase& database) {
    const CReadDatabase* db = &database;
    options.audioFormatNamer = [db](const std::string& tagText) {
        std::string named;
        db->FindAudioFormat(tagText, named);
        return named;
    };
    options.videoCodecLookup.byFourcc = [db](std::string_view fourcc) -> std::optional<VideoCodecEntry> {
        const size_t index = db->FindVideoCodec(fourcc);
        if (index == 0) return std::nullopt;
        const DatabaseRecord& record = db->Table(DbSection::kVideoCodecs)[index];
        return VideoCodecEntry{std::string(record.Field(2)), std::string(record.Field(3))};
    };
    options.brandDescriber = [db](uint32_t brand) {
        std::string text;
        for (int i = 0; i < 4; ++i) text += static_cast<char>((brand >> (8 * i)) & 0xFF);  // as stored
        return std::string(db->Table(DbSection::kFtyps)[db->FindFtyp(text)].Field(2));
    };
    options.videoCodecLookup.byUserData = [db](const std::vector<std::string>& lines) -> std::optional<std::string> {
        const auto name = db->MapUserDataName(lines);
        if (!name) return std::nullopt;
        return std::string(*name);
    };
}

GuidNameLookup DatabaseGuidNames(const CReadDatabase& database) {
    return [&database](std::string_view key, std::string& name) {
        return database.FindGuidName(key, TextOut{&name, 128});
    };
}

}  // namespace torvo
