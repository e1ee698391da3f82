#include "platform/gstreamer/GstInventoryCache.h"


#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "inventory/CapsTypes.h"
#include "platform/gstreamer/DisplayProbe.h"
#include "inventory/FilterOverrides.h"

extern char** environ;

namespace torvo {
namespace {

constexpr char kMagic[8] = {'T', 'O', 'R', 'V', 'I', 'N', 'V', '2'};

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string HomeDir(const char* xdgName, const char* fallback) {
    const std::string xdg = Env(xdgName);
    if (!xdg.empty()) return xdg;
    return Env("HOME") + "/" + fallback;
}

std::vector<std::string> SplitPath(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        if (end > start) out.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void AppendNumber(std::string& out, char separator, long long value) {
    char text[24];
    text[0] = separator;
    out.append(text, std::to_chars(text + 1, text + sizeof text, value).ptr);
}

// "path size mtime" from a stat result, as FileStamp writes it.
std::string StampText(std::string_view path, const struct stat& st) {
    std::string out;
    out.reserve(path.size() + 48);
    out.append(path);
    AppendNumber(out, ' ', static_cast<long long>(st.st_size));
    AppendNumber(out, ' ', static_cast<long long>(st.st_mtim.tv_sec));
    AppendNumber(out, '.', static_cast<long long>(st.st_mtim.tv_nsec));
    return out;
}

// A plugin folder as a stamp of the folder itself: adding, removing or
// renaming a file in it (which is how packages install and replace plugins)
// moves its modification and change times, so that its files need not each
// be looked at on every start. Its inode number tells a folder made anew.
std::string FolderStamp(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return folder + " -\n";
    std::string out = StampText(folder, st);
    AppendNumber(out, ' ', static_cast<long long>(st.st_ctim.tv_sec));
    AppendNumber(out, '.', static_cast<long long>(st.st_ctim.tv_nsec));
    AppendNumber(out, ' ', static_cast<long long>(st.st_ino));
    out.push_back('\n');
    return out;
}

// The registry folder's files with their sizes and times, sorted: GStreamer
// rewrites its registry file whenever it finds the plugins changed.
std::string FolderIdentity(const std::string& folder) {
    std::vector<std::string> lines;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return folder + " -\n";
    const int fd = dirfd(dir);
    std::string path = folder + "/";
    const size_t prefix = path.size();
    while (dirent* e = readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        path.resize(prefix);
        path.append(name);
        struct stat st {};
        lines.push_back(::fstatat(fd, e->d_name, &st, 0) == 0 ? StampText(path, st) : path + " -");
    }
    closedir(dir);
    std::sort(lines.begin(), lines.end());
    std::string out = folder + "\n";
    for (const std::string& l : lines) out.append(l).push_back('\n');
    return out;
}

// One file per caller's key (the codec database a program uses) and per
// overrides file: programs of different installations, or runs with other
// configuration folders, then keep their caches side by side instead of
// rebuilding each other's on every start. The whole key is still checked on load.
std::string CacheFile(const GstGatherOptions& options) {
    const std::string dir = options.cacheDir.empty() ? HomeDir("XDG_CACHE_HOME", ".cache") + "/torvo" : options.cacheDir;
    uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
    for (const char c : options.extraKey + '\n' + CFilterOverrides::DefaultPath())
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    char name[40];
    std::snprintf(name, sizeof name, "/inventory-%016llx.bin", static_cast<unsigned long long>(hash));
    return dir + name;
}

bool ReadAll(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The whole of a regular file of at most `limit` bytes, read into memory
// that is not cleared first; size 0 when it is missing, larger or unreadable.
struct FileBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};
FileBytes ReadCacheFile(const std::string& file, uint64_t limit) {
    FileBytes bytes;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && uint64_t(st.st_size) <= limit) {
        const auto size = static_cast<size_t>(st.st_size);
        bytes.data.reset(new (std::nothrow) uint8_t[size]);
        if (bytes.data && ReadAll(fd, bytes.data.get(), size)) bytes.size = size;
    }
    ::close(fd);
    return bytes;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Entries are mostly zeros (unused pins, types and text room): each is
// stored as runs of zeros and literal bytes, u16 counts each.
std::vector<uint8_t> PackEntry(const CodecEntry& entry) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&entry);
    const size_t size = sizeof(CodecEntry);
    std::vector<uint8_t> out;
    size_t at = 0;
    while (at < size) {
        size_t zeros = 0;
        while (at + zeros < size && bytes[at + zeros] == 0 && zeros < 0xFFFF) ++zeros;
        at += zeros;
        size_t literal = 0;
        // A literal run ends at eight zeros in a row.
        while (at + literal < size && literal < 0xFFFF) {
            size_t z = 0;
            while (z < 8 && at + literal + z < size && bytes[at + literal + z] == 0) ++z;
            if (z == 8 || at + literal + z == size) break;
            literal += z + 1;
        }
        literal = std::min(literal, size - at);
        for (size_t v : {zeros, literal}) {
            out.push_back(static_cast<uint8_t>(v));
            out.push_back(static_cast<uint8_t>(v >> 8));
        }
        out.insert(out.end(), bytes + at, bytes + at + literal);
        at += literal;
    }
    return out;
}

// Parts of an entry that are not taken from the file, in order.
struct SkippedBytes {
    size_t from, to;
};
using SkippedParts = std::array<SkippedBytes, 2>;

// Copies bytes [at, at + n) of the entry from `from` (which holds them in
// order), leaving out the skipped parts.
void CopyOutside(uint8_t* out, const uint8_t* from, size_t at, size_t n, const SkippedParts& skipped) {
    const size_t end = at + n;
    auto copy = [&](size_t a, size_t b) {
        if (a < b) std::memcpy(out + a, from + (a - at), b - a);
    };
    size_t next = at;
    for (const SkippedBytes& part : skipped) {
        if (part.to <= next || part.from >= end) continue;
        copy(next, part.from);
        next = std::min(part.to, end);
    }
    copy(next, end);
}

// The skipped parts of the entry are left as they are (zero).
bool UnpackEntry(const uint8_t* data, size_t size, CodecEntry& entry, const SkippedParts& skipped) {
    auto* out = reinterpret_cast<uint8_t*>(&entry);
    size_t at = 0, written = 0;
    while (at < size) {
        if (size - at < 4) return false;
        const size_t zeros = data[at] | size_t(data[at + 1]) << 8;
        const size_t literal = data[at + 2] | size_t(data[at + 3]) << 8;
        at += 4;
        if (zeros > sizeof(CodecEntry) - written || literal > sizeof(CodecEntry) - written - zeros || literal > size - at)
            return false;
        written += zeros;  // the table is zero-filled already
        CopyOutside(out, data + at, written, literal, skipped);
        written += literal;
        at += literal;
    }
    return written == sizeof(CodecEntry);
}

// The file is read at once (into memory that is not cleared first) and its
// entries are unpacked by two threads: filling the table faults in thousands
// of fresh pages, the larger part of a warm start, and the first files
// analysed wait for it.
bool LoadCache(const std::string& file, const std::string& key, CodecInventory& inventory, bool versionTexts) {
    // The search scratch always starts clear; the version texts are left out when nobody shows them.
    const size_t version = offsetof(CodecEntry, version);
    const SkippedParts skipped = {SkippedBytes{version, versionTexts ? version : version + sizeof(VersionStrings)},
                                  SkippedBytes{offsetof(CodecEntry, search), sizeof(CodecEntry)}};
    static_assert(offsetof(CodecEntry, version) < offsetof(CodecEntry, search) &&
                  offsetof(CodecEntry, search) + sizeof(SearchState) == sizeof(CodecEntry));
    // A packed entry never exceeds four times its size; anything larger is not our file.
    const FileBytes contents =
        ReadCacheFile(file, 64 + key.size() + uint64_t(kInventoryCapacity) * (4 + 4 * sizeof(CodecEntry)));
    if (contents.size == 0) return false;
    const size_t size = contents.size;
    const uint8_t* bytes = contents.data.get();

    size_t at = 0;
    auto take = [&](void* out, size_t n) {
        if (size - at < n) return false;
        std::memcpy(out, bytes + at, n);
        at += n;
        return true;
    };
    char magic[8];
    uint32_t keySize = 0, count = 0, entrySize = 0;
    if (!take(magic, 8) || std::memcmp(magic, kMagic, 8) != 0 || !take(&keySize, 4) || keySize != key.size() ||
        size - at < keySize || std::memcmp(bytes + at, key.data(), keySize) != 0)
        return false;
    at += keySize;
    if (!take(&entrySize, 4) || entrySize != sizeof(CodecEntry) || !take(&count, 4) || count >= kInventoryCapacity)
        return false;
    // Where each packed entry lies, checked before anything is written.
    struct Span {
        size_t at;
        uint32_t used;
    };
    std::vector<Span> spans(count);
    for (Span& span : spans) {
        if (!take(&span.used, 4) || span.used > 4 * sizeof(CodecEntry) || span.used > size - at) return false;
        span.at = at;
        at += span.used;
    }
    std::atomic<bool> good{true};
    auto unpack = [&](size_t from, size_t to) {
        for (size_t i = from; i < to && good.load(std::memory_order_relaxed); ++i) {
            if (inventory.abandoned.load(std::memory_order_relaxed) ||
                !UnpackEntry(bytes + spans[i].at, spans[i].used, inventory.At(static_cast<int>(i)), skipped))
                good.store(false, std::memory_order_relaxed);
        }
    };
    const size_t half = count / 2;
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1 && half > 0) {
        try {
            helper = std::thread(unpack, half, size_t(count));
        } catch (const std::system_error&) {
        }
    }
    unpack(0, helper.joinable() ? half : size_t(count));
    if (helper.joinable()) helper.join();
    if (inventory.abandoned.load(std::memory_order_relaxed)) return false;  // left as it is
    if (!good.load()) {
        for (uint32_t i = 0; i < count; ++i) inventory.ClearEntry(static_cast<int>(i));
        return false;
    }
    inventory.SetCount(static_cast<int>(count));
    inventory.enumerated = true;
    return true;
}

// Writes a cache file whole under a temporary name and renames it into
// place, so that a reader (another run) sees the old file or the new one.
template <typename WriteBody>
void ReplaceFile(const std::string& file, const std::string& key, const char (&magic)[8], WriteBody writeBody) {
    const std::string dir = file.substr(0, file.rfind('/'));
    // Create the folder and its parents.
    for (size_t at = 1; at != std::string::npos; at = dir.find('/', at + 1)) ::mkdir(dir.substr(0, at).c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    const std::string temporary = file + "." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const auto keySize = static_cast<uint32_t>(key.size());
    bool ok = WriteAll(fd, magic, 8) && WriteAll(fd, &keySize, 4) && WriteAll(fd, key.data(), key.size()) && writeBody(fd);
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temporary.c_str(), file.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
}

void SaveCache(const std::string& file, const std::string& key, const CodecInventory& inventory) {
    ReplaceFile(file, key, kMagic, [&inventory](int fd) {
        const auto entrySize = static_cast<uint32_t>(sizeof(CodecEntry));
        const auto count = static_cast<uint32_t>(inventory.Count());
        bool ok = WriteAll(fd, &entrySize, 4) && WriteAll(fd, &count, 4);
        for (uint32_t i = 0; i < count && ok; ++i) {
            const std::vector<uint8_t> packed = PackEntry(inventory.At(static_cast<int>(i)));
            const auto used = static_cast<uint32_t>(packed.size());
            ok = WriteAll(fd, &used, 4) && WriteAll(fd, packed.data(), packed.size());
        }
        return ok;
    });
}

// The answers file: the key, then per answer its kind, the source and
// elementary types and the result (1 a chain, 2 none).
constexpr char kAnswersMagic[8] = {'T', 'O', 'R', 'V', 'A', 'N', 'S', '1'};
static_assert(sizeof(Guid) == 16);
constexpr size_t kAnswerBytes = 4 + 4 * sizeof(Guid) + 4;
constexpr uint32_t kMaxAnswers = 4096;

std::string AnswersFile(const std::string& cacheFile) {
    const size_t slash = cacheFile.rfind('/');
    return cacheFile.substr(0, slash) + "/answers-" + cacheFile.substr(slash + 1 + std::string_view("inventory-").size());
}

void SaveAnswers(const std::string& file, const std::string& key, const CodecInventory& inventory) {
    const size_t count = std::min<size_t>(inventory.searchAnswers.size(), kMaxAnswers);
    ReplaceFile(file, key, kAnswersMagic, [&inventory, count](int fd) {
        const auto n = static_cast<uint32_t>(count);
        std::vector<uint8_t> bytes(count * kAnswerBytes);
        uint8_t* out = bytes.data();
        for (size_t i = 0; i < count; ++i) {
            const CodecInventory::SearchAnswer& a = inventory.searchAnswers[i];
            const int32_t result = a.result;
            for (const auto& [field, size] : {std::pair<const void*, size_t>{&a.kind, 4}, {&a.source.major, 16},
                                              {&a.source.subtype, 16}, {&a.elementary.major, 16},
                                              {&a.elementary.subtype, 16}, {&result, 4}}) {
                std::memcpy(out, field, size);
                out += size;
            }
        }
        return WriteAll(fd, &n, 4) && WriteAll(fd, bytes.data(), bytes.size());
    });
}

// The answers of the file into the inventory; false (and none taken) unless
// the file is whole and made under the same key.
bool LoadAnswers(const std::string& file, const std::string& key, CodecInventory& inventory) {
    const FileBytes contents = ReadCacheFile(file, 16 + key.size() + uint64_t(kMaxAnswers) * kAnswerBytes);
    const uint8_t* bytes = contents.data.get();
    const size_t head = 8 + 4 + key.size();
    uint32_t keySize = 0, count = 0;
    if (contents.size < head + 4 || std::memcmp(bytes, kAnswersMagic, 8) != 0) return false;
    std::memcpy(&keySize, bytes + 8, 4);
    std::memcpy(&count, bytes + head, 4);
    if (keySize != key.size() || std::memcmp(bytes + 12, key.data(), key.size()) != 0 ||
        contents.size != head + 4 + size_t(count) * kAnswerBytes)
        return false;
    std::vector<CodecInventory::SearchAnswer> answers(count);
    const uint8_t* in = bytes + head + 4;
    for (CodecInventory::SearchAnswer& a : answers) {
        int32_t result = 0;
        for (const auto& [field, size] : {std::pair<void*, size_t>{&a.kind, 4}, {&a.source.major, 16},
                                          {&a.source.subtype, 16}, {&a.elementary.major, 16},
                                          {&a.elementary.subtype, 16}, {&result, 4}}) {
            std::memcpy(field, in, size);
            in += size;
        }
        if ((a.kind != 0 && a.kind != 1) || (result != 1 && result != 2)) return false;
        a.result = result;
    }
    inventory.searchAnswers = std::move(answers);
    return true;
}

}  // namespace

std::string FileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return path + " -";
    return StampText(path, st);
}

std::string FileStamp(const std::string& path, const struct stat& info) { return StampText(path, info); }

std::string GstInventoryKey(const std::string& extraKey) {
    std::string key = "torvo " TORVO_VERSION " " + std::to_string(sizeof(CodecEntry)) + "\n" + extraKey + "\n";
    // The pins' media types come from the caps table: a build whose table
    // differs must not read the types another build cached.
    key += "caps " + std::to_string(CapsTypeTableHash()) + "\n";
    // The GStreamer environment.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "GST_PLUGIN", 10) == 0 || std::strncmp(*e, "GST_REGISTRY", 12) == 0) env.emplace_back(*e);
    std::sort(env.begin(), env.end());
    for (const std::string& e : env) key += e + "\n";
    // The registry files.
    std::string registry = Env("GST_REGISTRY_1_0");
    if (registry.empty()) registry = Env("GST_REGISTRY");
    if (!registry.empty()) key += FileStamp(registry) + "\n";
    else key += FolderIdentity(HomeDir("XDG_CACHE_HOME", ".cache") + "/gstreamer-1.0");
    // The plugin folders.
    std::string system = Env("GST_PLUGIN_SYSTEM_PATH_1_0");
    if (system.empty()) system = Env("GST_PLUGIN_SYSTEM_PATH");
    std::vector<std::string> folders = SplitPath(system);
    if (std::getenv("GST_PLUGIN_SYSTEM_PATH_1_0") == nullptr && std::getenv("GST_PLUGIN_SYSTEM_PATH") == nullptr) {
        folders.push_back(HomeDir("XDG_DATA_HOME", ".local/share") + "/gstreamer-1.0/plugins");
        folders.push_back(TORVO_GST_PLUGINS_DIR);
    }
    for (const char* name : {"GST_PLUGIN_PATH_1_0", "GST_PLUGIN_PATH"})
        for (const std::string& f : SplitPath(Env(name))) folders.push_back(f);
    for (const std::string& f : folders) key += FolderStamp(f);
    // Expert mode's merit and type overrides.
    key += FileStamp(CFilterOverrides::DefaultPath()) + "\n";
    // The default renderers follow the display and sound servers that answer.
    key += DisplayStamp() + "\n";
    return key;
}

InventoryGatherer CachedInventoryGatherer(InventoryGatherer enumerate, GstGatherOptions options) {
    return [enumerate = std::move(enumerate), options = std::move(options)](CodecInventory& inventory,
                                                                           std::vector<InventoryMessage>& messages) {
        if (!options.useCache) {
            enumerate(inventory, messages);
            return;
        }
        const std::string key = GstInventoryKey(options.extraKey);
        const std::string file = CacheFile(options);
        // The table from the cache, else from the platform; true when it is whole.
        auto fill = [enumerate, file, key, versionTexts = options.versionTexts](
                        CodecInventory& table, std::vector<InventoryMessage>& out) {
            if (LoadCache(file, key, table, versionTexts)) return true;
            if (table.abandoned.load(std::memory_order_relaxed)) return false;
            const size_t before = out.size();
            enumerate(table, out);
            const bool whole = table.enumerated && out.size() == before;
            if (whole) SaveCache(file, key, table);
            return whole;
        };
        if (options.answersStamp.empty()) {
            fill(inventory, messages);
            return;
        }
        // Answers hold for the table they were searched in and for this program's rules.
        const std::string answersFile = AnswersFile(file), answersKey = key + "\n" + options.answersStamp + "\n";
        auto keep = [answersFile, answersKey](const CodecInventory& table) {
            if (table.searchAnswers.size() > table.answersAtStart) SaveAnswers(answersFile, answersKey, table);
        };
        if (LoadAnswers(answersFile, answersKey, inventory)) {
            inventory.answersAtStart = inventory.searchAnswers.size();
            inventory.keepAnswers = keep;
            inventory.bringTable = [fill](CodecInventory& table) {
                std::vector<InventoryMessage> late;
                if (!fill(table, late)) table.keepAnswers = nullptr;  // answers of a partial table are not kept
                for (InventoryMessage& m : late) table.lateMessages.emplace_back(std::move(m.caption), std::move(m.text));
            };
            return;
        }
        if (fill(inventory, messages)) inventory.keepAnswers = keep;
    };
}

}  // namespace torvo
