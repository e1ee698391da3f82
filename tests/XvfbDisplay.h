// A private X server (Xvfb) and a null sound card for tests of what depends on a display server
// answering: it is started on a free display number, $DISPLAY points at it
// while the object lives, and the earlier $DISPLAY comes back afterwards.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

extern char** environ;

namespace torvo::test {

class XvfbDisplay {
public:
    XvfbDisplay() {
        if (const char* d = std::getenv("DISPLAY")) before_ = d;
        int fds[2];
        if (::pipe(fds) != 0) return;
        // Xvfb writes the display number it took to this descriptor.
        std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                              "-noreset", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", 1 /*O_WRONLY*/, 0);
        const bool spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (!spawned) {
            pid_ = -1;
            ::close(fds[0]);
            return;
        }
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) return;
        name_ = ":" + number;
        ::setenv("DISPLAY", name_.c_str(), 1);
    }
    ~XvfbDisplay() {
        if (before_) ::setenv("DISPLAY", before_->c_str(), 1);
        else ::unsetenv("DISPLAY");
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Empty when Xvfb is not installed or did not start.
    const std::string& Name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    std::optional<std::string> before_;
};

// A sound card that plays into nothing (ALSA's null device) while the object
// lives, for tests that need a sound sink that opens.
class NullSoundCard {
public:
    NullSoundCard() {
        if (const char* v = std::getenv("ALSA_CONFIG_PATH")) before_ = v;
        ::setenv("ALSA_CONFIG_PATH", TORVO_TEST_DATA_DIR "/alsa-null.conf", 1);
    }
    ~NullSoundCard() {
        if (before_) ::setenv("ALSA_CONFIG_PATH", before_->c_str(), 1);
        else ::unsetenv("ALSA_CONFIG_PATH");
    }
    NullSoundCard(const NullSoundCard&) = delete;
    NullSoundCard& operator=(const NullSoundCard&) = delete;

private:
    std::optional<std::string> before_;
};

}  // namespace torvo::test
