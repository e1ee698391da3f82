#include "TypedReportJson.h"

#include "records/SignatureTable.h"

namespace torvo::cli {
namespace {

// Absent values are null, so that every key is always there.
template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

}  // namespace

nlohmann::ordered_json TypedContainerJson(const TypedContainer& c) {
    return {{"type_id", c.typeId},       {"type", TextOrNull(c.name)},   {"mime", TextOrNull(c.mime)},
            {"size", c.size},            {"duration", OrNull(c.duration)}, {"bit_rate", OrNull(c.bitRate)}};
}

nlohmann::ordered_json TypedStreamsJson(const TypedReport& report) {
    nlohmann::ordered_json streams = nlohmann::ordered_json::array();
    for (const TypedStream& s : report.streams) {
        nlohmann::ordered_json o = {{"index", s.index}, {"type", s.video ? "video" : "audio"}, {"codec", TextOrNull(s.codec)}};
        if (s.video) {
            o["fourcc"] = TextOrNull(s.fourcc);
            o["width"] = OrNull(s.width);
            o["height"] = OrNull(s.height);
            o["frame_rate"] = OrNull(s.frameRate);
        } else {
            o["format_tag"] = OrNull(s.formatTag);
            o["sample_rate"] = OrNull(s.sampleRate);
            o["channels"] = OrNull(s.channels);
        }
        o["duration"] = OrNull(s.duration);
        o["bit_rate"] = OrNull(s.bitRate);
        o["decoder"] = std::string(s.decoder);
        streams.push_back(std::move(o));
    }
    return streams;
}

TypedReport TypedReportOf(const CAnalysisDriver& driver, const ScanSummary* scan) {
    // The recorded row names the type unless the content analysis settled another.
    const SignatureRow* row = driver.Identity().row;
    if (!row || row->typeId != driver.Container().typeId) row = RowForType(driver.Container().typeId);
    return BuildTypedReport(driver.Records(), row && row->description ? row->description : "",
                            row && row->mime ? row->mime : "", scan);
}

std::string ErrorLine(const std::string& path, const std::string& code, const std::string& message) {
    const nlohmann::ordered_json line = {{"schema", kTypedReportSchema},
                                         {"file", path},
                                         {"error", {{"code", code}, {"message", message}}}};
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace torvo::cli
