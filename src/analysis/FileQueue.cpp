#include "analysis/FileQueue.h"

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {

void FileQueue::Fill(std::vector<std::string> names) {
    if (names.size() > capacity_) names.resize(capacity_);
    names_ = std::move(names);
    index_ = 0;
}

size_t FileQueue::Add(const std::vector<std::string>& names) {
    size_t taken = 0;
    for (const std::string& name : names) {
        if (names_.size() >= capacity_) break;
        names_.push_back(name);
        ++taken;
    }
    return taken;
}

bool FileQueue::Next() {
    if (index_ + 1 >= static_cast<int>(names_.size())) return false;
    ++index_;
    return true;
}

bool FileQueue::Previous() {
    if (index_ <= 0) return false;
    --index_;
    return true;
}

std::string FileQueue::CounterText() const {
    if (names_.size() <= 1 || !HasCurrent()) return {};
    return Format("%3d/%-3d", index_ + 1, static_cast<int>(names_.size()));
}

std::string FileQueue::QueuedLine() const { return Format(N_("%d файлов в очер.."), static_cast<int>(names_.size())); }

std::vector<std::string> ReadListFile(std::istream& in, size_t room, size_t* leftOut) {
    std::vector<std::string> names;
    std::string line;
    bool overlong = false;
    char c;
    while ((names.size() < room || leftOut) && in.get(c)) {
        if (c == '\n') {
            if (!overlong && !line.empty()) {
                if (names.size() < room) names.push_back(line);
                else ++*leftOut;
            }
            line.clear();
            overlong = false;
        } else if (c != '\r') {
            if (line.size() < FileQueue::kMaxListLineBytes) line.push_back(c);
            else overlong = true;  // the whole run up to the next line feed is dropped
        }
    }
    return names;
}

namespace {
bool IsSwitch(const std::string& arg, char letter) {
    return arg.size() == 2 && (arg[0] == '-' || arg[0] == '/') && (arg[1] | 0x20) == letter;
}
}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsSwitch(arg, 'f')) {
            if (i + 1 < args.size()) line.listFiles.push_back(args[++i]);
        } else if (IsSwitch(arg, 'x')) {
            line.autoExit = true;
        } else if (!arg.empty() && arg[0] != '-') {
            // POSIX paths begin with '/', so only "/f" and "/x" are switches.
            line.names.push_back(arg);
        }
    }
    return line;
}

}  // namespace torvo
