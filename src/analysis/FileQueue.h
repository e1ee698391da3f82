// The queue of files to analyse: names from the open dialog, dropped files,
// the command line or a list file, the current index and how the queue runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace torvo {

enum class QueueMode { kStopped = 0, kRunAll = 1, kRunUntilBroken = 2 };

class FileQueue {
public:
    static constexpr size_t kMaxNames = 9999;
    static constexpr size_t kMaxListLineBytes = 260;
    // The window's queue holds kMaxNames; a command-line run takes every name.
    static constexpr size_t kUnlimited = SIZE_MAX;

    explicit FileQueue(size_t capacity = kMaxNames) : capacity_(capacity) {}

    // Empties the queue, keeps up to capacity names and points at the first.
    void Fill(std::vector<std::string> names);
    // Adds names at the end while there is room; returns how many were taken.
    size_t Add(const std::vector<std::string>& names);

    size_t Count() const { return names_.size(); }
    const std::vector<std::string>& Names() const { return names_; }
    // -1 after "back to first", so that the next-file command starts at entry 0.
    int Index() const { return index_; }
    bool HasCurrent() const { return index_ >= 0 && static_cast<size_t>(index_) < names_.size(); }
    const std::string& Current() const { return names_.at(static_cast<size_t>(index_)); }
    bool AtLast() const { return !names_.empty() && index_ >= static_cast<int>(names_.size()) - 1; }

    // The queue commands; each returns whether the index moved.
    bool Next();
    bool Previous();
    void BackToFirst() { index_ = -1; }

    QueueMode Mode() const { return mode_; }
    void SetMode(QueueMode mode) { mode_ = mode; }

    // "%3d/%-3d" (index + 1, count); empty when the queue holds at most one
    // name or the index is outside it.
    std::string CounterText() const;
    // "%d файлов в очер.." for the notes list after "back to first".
    std::string QueuedLine() const;

private:
    size_t capacity_;
    std::vector<std::string> names_;
    int index_ = 0;
    QueueMode mode_ = QueueMode::kStopped;
};

// Reads a list file: a line feed ends a line, carriage returns are dropped, a
// run of more than 260 bytes without a line feed is discarded, the last line
// counts only when it ends with a line feed, and at most `room` names are read.
// With `leftOut`, reading goes on to the end and adds the names beyond `room`
// to it, so that the caller can say how many did not fit.
std::vector<std::string> ReadListFile(std::istream& in, size_t room = FileQueue::kMaxNames,
                                      size_t* leftOut = nullptr);

// What a command line asks for: file names, list files (-f, /f) and the
// auto-exit switch (-x, /x), options in either case. Other arguments that
// begin with '-' are ignored; absolute paths are names.
struct CommandLine {
    std::vector<std::string> names;
    std::vector<std::string> listFiles;
    bool autoExit = false;
};
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace torvo
