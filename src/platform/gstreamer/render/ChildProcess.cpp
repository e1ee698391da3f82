#include "platform/gstreamer/render/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "inventory/FilterOverrides.h"

extern char** environ;

namespace torvo {
namespace {

// Our environment, with the user's filter merit changes added to
// GST_PLUGIN_FEATURE_RANK so that the child plugs what this program would.
std::vector<std::string> ChildEnvironment() {
    constexpr std::string_view kRank = "GST_PLUGIN_FEATURE_RANK=";
    std::vector<std::string> out;
    std::string inherited;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry = *e;
        if (entry.starts_with(kRank)) inherited = entry.substr(kRank.size());
        else out.emplace_back(entry);
    }
    CFilterOverrides overrides;
    overrides.Load(CFilterOverrides::DefaultPath());
    const std::string ranks = overrides.RankEnvironment(inherited);
    if (!ranks.empty()) out.push_back(std::string(kRank) + ranks);
    return out;
}

}  // namespace

CChildProcess::~CChildProcess() {
    if (pid_ > 0) {
        Kill();
        Wait();
    }
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments, bool withInput,
                          std::string& error) {
    int out[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || (withInput && ::pipe2(in, O_CLOEXEC) != 0)) {
        error = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (withInput) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    else posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!std::getenv("TORVO_RENDER_STDERR"))
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = ChildEnvironment();
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    if (withInput) ::close(in[0]);
    if (spawned != 0) {
        ::close(out[0]);
        if (withInput) ::close(in[1]);
        pid_ = -1;
        error = std::strerror(spawned);
        return false;
    }
    output_ = out[0];
    input_ = in[1];
    return true;
}

bool CChildProcess::Send(const std::string& line) {
    if (input_ < 0) return false;
    const std::string text = line + "\n";
    // A child that died must not kill us with SIGPIPE.
    sigset_t pipeSignal, old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    const ssize_t n = ::write(input_, text.data(), text.size());
    if (n < 0 && errno == EPIPE) {
        timespec none{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return n == ssize_t(text.size());
}

void CChildProcess::Kill() {
    if (pid_ > 0) ::kill(-pid_, SIGKILL);
}

bool CChildProcess::Wait() {
    if (input_ >= 0) ::close(input_);
    if (output_ >= 0) ::close(output_);
    input_ = output_ = -1;
    if (pid_ <= 0) return false;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void CChildProcess::Finish(int milliseconds) {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (pid_ <= 0) return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            Wait();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Kill();
    Wait();
}

bool CChildProcess::ReadAll(std::string& out, std::chrono::milliseconds timeLimit, size_t limit) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd p{output_, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::min<long long>(left.count(), 1000)));
        if (ready <= 0) continue;  // a signal or a quiet second: look at the clock again
        char buffer[65536];
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // the child closed its end
        if (out.size() < limit) out.append(buffer, size_t(n));
    }
}

}  // namespace torvo
