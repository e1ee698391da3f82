#include "platform/gstreamer/DisplayProbe.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace torvo {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// A connect that gives up after a short wait, so that an unreachable remote
// display never holds the start-up.
bool ConnectsWithin(int fd, const sockaddr* address, socklen_t length, int timeoutMs) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    if (::connect(fd, address, length) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool UnixSocketAnswers(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t offset = abstract ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    const bool ok = ConnectsWithin(fd, reinterpret_cast<const sockaddr*>(&address), length, 500);
    ::close(fd);
    return ok;
}

bool TcpAnswers(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        ok = ConnectsWithin(fd, a->ai_addr, a->ai_addrlen, 500);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return ok;
}

// The local socket of display ":N" (empty for a remote display).
std::string X11SocketPath(const std::string& display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return {};
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return {};
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return {};
    return "/tmp/.X11-unix/X" + number;
}

bool X11Answers() {
    const std::string display = Env("DISPLAY");
    if (display.empty()) return false;
    if (const std::string path = X11SocketPath(display); !path.empty())
        return UnixSocketAnswers(path, true) || UnixSocketAnswers(path, false);
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    const int number = std::atoi(display.c_str() + colon + 1);
    return number >= 0 && number < 1000 && TcpAnswers(display.substr(0, colon), 6000 + number);
}

std::string WaylandSocketPath() {
    const std::string name = Env("WAYLAND_DISPLAY");
    if (name.empty()) return {};
    if (name.front() == '/') return name;
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    return runtime.empty() ? std::string() : runtime + "/" + name;
}

std::string SocketStamp(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return path + " -";
    return path + " " + std::to_string(st.st_ino) + " " + std::to_string(st.st_mtime);
}

}  // namespace

DisplayServer ProbeDisplayServer() {
    if (X11Answers()) return DisplayServer::kX11;
    if (const std::string path = WaylandSocketPath(); !path.empty() && UnixSocketAnswers(path, false))
        return DisplayServer::kWayland;
    return DisplayServer::kNone;
}

std::string DisplayStamp() {
    const DisplayServer server = ProbeDisplayServer();
    std::string stamp = "display " + std::to_string(int(server)) + " " + Env("DISPLAY") + " " + Env("WAYLAND_DISPLAY");
    stamp += "\n" + SocketStamp(X11SocketPath(Env("DISPLAY"))) + "\n" + SocketStamp(WaylandSocketPath());
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    stamp += "\nsound " + Env("PULSE_SERVER") + " " + SocketStamp(runtime.empty() ? "" : runtime + "/pulse/native");
    stamp += "\n" + Env("ALSA_CONFIG_PATH") + " " + SocketStamp("/dev/snd");
    return stamp;
}

}  // namespace torvo
