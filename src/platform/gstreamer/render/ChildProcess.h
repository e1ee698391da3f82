// One run of the render helper as a child process in a process group of its
// own: its standard output comes back through a pipe, its standard input is
// a pipe too when commands are to be sent, its standard error is dropped
// unless TORVO_RENDER_STDERR is set.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace torvo {

class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // False with the system's reason when the program does not start.
    bool Start(const std::string& program, const std::vector<std::string>& arguments, bool withInput,
               std::string& error);
    int Output() const { return output_; }
    // Writes one command line; false when the child is gone.
    bool Send(const std::string& line);
    // Kills the whole group.
    void Kill();
    // Waits for the end; true when the child exited with status 0. Closes the pipes.
    bool Wait();
    // Closes standard input, waits up to the time for the end, then kills.
    void Finish(int milliseconds);
    // Collects standard output until the child closes it (false) or the time
    // is up (true: the caller kills it); keeps at most `limit` bytes.
    bool ReadAll(std::string& out, std::chrono::milliseconds timeLimit, size_t limit);

private:
    pid_t pid_ = -1;
    int input_ = -1, output_ = -1;
};

}  // namespace torvo
