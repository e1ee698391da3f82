#include "platform/gstreamer/render/ChildRenderPlatform.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/gstreamer/render/ChildProcess.h"
#include "platform/gstreamer/render/RenderProtocol.h"
#include "settings/ProgramLocation.h"
#include "base/Translate.h"

namespace torvo {
namespace {

bool Executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

MediaTypePair PairOf(const nlohmann::json& pin) {
    MediaTypePair pair{};
    if (auto m = ParseGuid(pin.value("major", ""))) pair.major = *m;
    if (auto s = ParseGuid(pin.value("subtype", ""))) pair.subtype = *s;
    return pair;
}

GraphFilter FilterOf(const nlohmann::json& j) {
    GraphFilter f;
    f.name = j.value("name", "");
    f.clsidText = j.value("clsid", "");
    f.path = j.value("path", "");
    f.description = j.value("description", "");
    f.version = j.value("version", "");
    f.product = j.value("product", "");
    if (j.contains("pins") && j["pins"].is_array())
        for (const nlohmann::json& p : j["pins"]) {
            GraphPin pin;
            pin.id = p.value("id", -1);
            pin.output = p.value("output", false);
            pin.name = p.value("name", "");
            pin.connected = p.value("connected", false);
            pin.peer = p.value("peer", -1);
            pin.caps = p.value("caps", "");
            if (pin.connected) pin.type = PairOf(p);
            f.pins.push_back(std::move(pin));
        }
    return f;
}

}  // namespace

#ifndef TORVO_RENDER_HELPER_INSTALLED
#define TORVO_RENDER_HELPER_INSTALLED ""
#endif
#ifndef TORVO_RENDER_HELPER_BUILT
#define TORVO_RENDER_HELPER_BUILT ""
#endif
#ifndef TORVO_RENDER_HELPER_FROM_PROGRAM
#define TORVO_RENDER_HELPER_FROM_PROGRAM ""
#endif

std::string RenderHelperPath() {
    if (const char* env = std::getenv("TORVO_RENDER_HELPER"); env && Executable(env)) return env;
    // The places of modules: the build tree's for a program run there, the
    // installation's otherwise.
    for (const std::string& file : ModuleCandidates("torvo-render", TORVO_RENDER_HELPER_FROM_PROGRAM,
                                                    TORVO_RENDER_HELPER_INSTALLED, TORVO_RENDER_HELPER_BUILT))
        if (Executable(file)) return file;
    return {};
}

RenderOutcome ParseRenderLines(const std::string& lines, bool exitedNormally) {
    RenderOutcome outcome;
    bool haveResult = false;
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object()) continue;
        if (j.contains(render_protocol::kFilter) && j[render_protocol::kFilter].is_object()) {
            outcome.filters.push_back(FilterOf(j[render_protocol::kFilter]));
        } else if (j.contains(render_protocol::kResult) && j[render_protocol::kResult].is_object()) {
            const nlohmann::json& r = j[render_protocol::kResult];
            outcome.hresult = r.value("hresult", render_codes::kFail);
            outcome.message = r.value("message", "");
            haveResult = true;
        } else if (j.contains(render_protocol::kCrash) && j[render_protocol::kCrash].is_object()) {
            const nlohmann::json& c = j[render_protocol::kCrash];
            outcome.kind = RenderOutcome::Kind::kCrashed;
            outcome.culpritPath = c.value("module", "");
            outcome.signal = c.value("signal", 0);
            outcome.filters.clear();
            return outcome;
        }
    }
    if (!haveResult || !exitedNormally) {
        // The child ended without saying how: a crash its handler missed.
        outcome.kind = RenderOutcome::Kind::kCrashed;
        outcome.filters.clear();
        return outcome;
    }
    outcome.kind = Failed(outcome.hresult) ? RenderOutcome::Kind::kFailed : RenderOutcome::Kind::kRendered;
    if (outcome.kind == RenderOutcome::Kind::kFailed) outcome.filters.clear();
    return outcome;
}

CChildRenderPlatform::CChildRenderPlatform(std::chrono::milliseconds timeLimit, std::string helper)
    : timeLimit_(timeLimit), helper_(helper.empty() ? RenderHelperPath() : std::move(helper)) {}

RenderOutcome CChildRenderPlatform::RenderFile(const std::string& path) {
    RenderOutcome outcome;
    if (helper_.empty()) {
        outcome.message = "torvo-render is not installed";
        return outcome;
    }
    CChildProcess child;
    std::string error;
    if (!child.Start(helper_, {"--render", path}, false, error)) {
        outcome.message = error;
        return outcome;
    }
    std::string lines;
    const bool timedOut = child.ReadAll(lines, timeLimit_, size_t(16) << 20);
    if (timedOut) child.Kill();
    const bool exitedNormally = child.Wait();
    if (timedOut) {
        outcome.kind = RenderOutcome::Kind::kFailed;
        outcome.hresult = render_codes::kTimeout;
        outcome.message = N_("Превышено время ожидания: рендеринг не закончился вовремя и был остановлен.");
        return outcome;
    }
    return ParseRenderLines(lines, exitedNormally);
}

}  // namespace torvo
