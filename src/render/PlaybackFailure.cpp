#include "render/PlaybackFailure.h"

#include "base/Text.h"
#include "base/Translate.h"
#include "inventory/CodecEntry.h"
#include "inventory/InventoryService.h"
#include "render/RenderTest.h"
#include "base/Translate.h"

namespace torvo {

std::vector<std::string> ReportRows(const std::string& report) {
    std::vector<std::string> rows;
    size_t from = 0;
    while (from < report.size()) {
        size_t to = report.find('\n', from);
        if (to == std::string::npos) to = report.size();
        std::string row = report.substr(from, to - from);
        while (!row.empty() && row.back() == '\r') row.pop_back();
        if (!row.empty()) rows.push_back(std::move(row));
        from = to + 1;
    }
    return rows;
}

FailureReport ReportPlaybackFailure(const PlaybackFailure& failure, std::string_view ownProgram) {
    FailureReport out;
    switch (failure.kind) {
        case PlaybackFailure::Kind::kNone: break;
        case PlaybackFailure::Kind::kFailed:
            out.rows.push_back({N_("Рендеринг не удался. Вот сообщение GStreamer об ошибке:        "), kRenderRowFailed});
            out.rows.push_back({failure.message.empty() ? N_("Проигрыватель не запустился.") : failure.message, kRenderRowFailed});
            break;
        case PlaybackFailure::Kind::kCrashed:
            out.rows.push_back({N_("<< GStreamer рухнул в ходе рендеринга>>"), kRenderRowCrash});
            out.crashReport = CrashReportText(kCrashInRender, {}, failure.culpritPath, ownProgram);
            for (std::string& row : ReportRows(out.crashReport)) out.rows.push_back({std::move(row), kRenderRowCrash});
            break;
    }
    return out;
}

FailureRow UnheardSoundRow(std::string_view sink) {
    // Said as a warning, not a failure: the decoders work, the picture plays.
    if (sink.empty())
        return {N_("Звук не слышен: в GStreamer не установлен вывод звука; изображение идет без звука."),
                kRenderRowPartial};
    return {Format(N_("Звук не слышен: вывод звука %s не открылся (нет звукового сервера или устройства); "
                      "изображение идет без звука."),
                   std::string(sink).c_str()),
            kRenderRowPartial};
}

}  // namespace torvo
