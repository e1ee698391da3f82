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

std::string RenderHelperPath() {
    if (const char* env = std::getenv("TORVO_RENDER_HELPER"); env && Executable(env)) return env;
    if (const std::string dir = ProgramDir(); !dir.empty() && Executable(dir + "torvo-render")) return dir + "torvo-render";
#ifdef TORVO_RENDER_HELPER_INSTALLED
    if (Executable(TORVO_RENDER_HELPER_INSTALLED)) return TORVO_RENDER_HELPER_INSTALLED;
#endif
#ifdef TORVO_RENDER_HELPER_BUILT
    if (Executable(TORVO_RENDER_HELPER_BUILT)) return TORVO_RENDER_HELPER_BUILT;
#endif
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
        outcome.message = "the render did not finish in time";
        return outcome;
    }
    return ParseRenderLines(lines, exitedNormally);
}

}  // namespace torvo
