#include "platform/gstreamer/render/ChildChainPlatform.h"

#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "platform/gstreamer/render/ChainProtocol.h"
#include "platform/gstreamer/render/ChildProcess.h"
#include "platform/gstreamer/render/ChildRenderPlatform.h"
#include "platform/gstreamer/render/RenderProtocol.h"
#include "render/RenderPlatform.h"
#include "base/Translate.h"

namespace torvo {

ChainBuildReport ParseChainReport(const std::string& lines, bool exitedNormally) {
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object()) continue;
        if (j.contains(chain_protocol::kReport)) return chain_protocol::ReportOf(j[chain_protocol::kReport]);
        if (j.contains(render_protocol::kCrash) && j[render_protocol::kCrash].is_object()) {
            ChainBuildReport crashed;
            crashed.code = render_codes::kFail;
            crashed.crashed = true;
            crashed.crashedIn = j[render_protocol::kCrash].value("module", "");
            crashed.message = N_("GStreamer рухнул при сборке цепочки") +
                              (crashed.crashedIn.empty() ? std::string(".") : N_(", предположительно в модуле ") + crashed.crashedIn + ".");
            return crashed;
        }
    }
    ChainBuildReport none;
    none.code = render_codes::kFail;
    none.crashed = !exitedNormally;
    none.message = exitedNormally ? N_("Сборка цепочки не сообщила результата.") : N_("GStreamer рухнул при сборке цепочки.");
    return none;
}

CChildChainPlatform::CChildChainPlatform(std::chrono::milliseconds timeLimit, std::string helper)
    : timeLimit_(timeLimit), helper_(helper.empty() ? RenderHelperPath() : std::move(helper)) {}

ChainBuildReport CChildChainPlatform::BuildChain(const ChainBuildRequest& request) {
    ChainBuildReport report;
    report.code = render_codes::kFail;
    CChildProcess child;
    std::string error;
    if (helper_.empty()) {
        report.message = "torvo-render is not installed";
        return report;
    }
    if (!child.Start(helper_, {"--build", chain_protocol::RequestText(request)}, false, error)) {
        report.message = error;
        return report;
    }
    std::string lines;
    const bool timedOut = child.ReadAll(lines, timeLimit_, size_t(1) << 20);
    if (timedOut) {
        child.Kill();
        child.Wait();
        report.code = render_codes::kTimeout;
        report.message = N_("Превышено время ожидания: сборка не закончилась вовремя и была остановлена.");
        return report;
    }
    return ParseChainReport(lines, child.Wait());
}

}  // namespace torvo
