#include "platform/gstreamer/render/ChildRenderPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/gstreamer/render/RenderProtocol.h"
#include "settings/ProgramLocation.h"

extern char** environ;

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
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.message = std::strerror(errno);
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!std::getenv("TORVO_RENDER_STDERR"))
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);  // its own group: a kill reaches helpers too
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string mode = "--render";
    std::string file = path;
    char* argv[] = {helper_.data(), mode.data(), file.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, helper_.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        outcome.message = std::strerror(spawned);
        return outcome;
    }

    std::string lines;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit_;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char buffer[65536];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child closed its end
        if (lines.size() < (size_t(16) << 20)) lines.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    if (timedOut) ::kill(-pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        outcome.kind = RenderOutcome::Kind::kFailed;
        outcome.hresult = render_codes::kTimeout;
        outcome.message = "the render did not finish in time";
        return outcome;
    }
    return ParseRenderLines(lines, WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace torvo
