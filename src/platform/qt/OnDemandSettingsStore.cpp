#include "OnDemandSettingsStore.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "settings/DesktopIntegration.h"
#include "settings/ProgramLocation.h"

#ifndef TORVO_SETTINGS_MODULE_INSTALLED
#define TORVO_SETTINGS_MODULE_INSTALLED ""
#endif
#ifndef TORVO_SETTINGS_MODULE_BUILT
#define TORVO_SETTINGS_MODULE_BUILT ""
#endif
#ifndef TORVO_MODULES_FROM_PROGRAM
#define TORVO_MODULES_FROM_PROGRAM ""
#endif

namespace torvo {

struct COnDemandSettingsStore::Module {
    void* handle = nullptr;
    TorvoSettingsOpenFn open = nullptr;
    TorvoSettingsCloseFn close = nullptr;
    TorvoSettingsReadIntFn readInt = nullptr;
    TorvoSettingsReadTextFn readText = nullptr;
    TorvoSettingsWriteIntFn writeInt = nullptr;
    TorvoSettingsWriteTextFn writeText = nullptr;
};

COnDemandSettingsStore::COnDemandSettingsStore(std::filesystem::path file, std::filesystem::path stopAt,
                                               std::vector<std::string> modules)
    : file_(std::move(file)), stopAt_(std::move(stopAt)), modules_(std::move(modules)) {}

COnDemandSettingsStore::~COnDemandSettingsStore() {
    // The module stays loaded: Qt is not made to unload in the middle of a run.
    if (settings_) module_->close(settings_);
}

void* COnDemandSettingsStore::Settings() {
    if (settings_) return settings_;
    if (!module_) {
        if (!loadError_.empty()) return nullptr;  // tried once already
        for (const std::string& path : modules_) {
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                const char* why = ::dlerror();
                loadError_ = why ? why : path;
                continue;
            }
            auto m = std::make_unique<Module>();
            m->handle = handle;
            auto find = [handle](const char* name) { return ::dlsym(handle, name); };
            m->open = reinterpret_cast<TorvoSettingsOpenFn>(find("TorvoSettingsOpen"));
            m->close = reinterpret_cast<TorvoSettingsCloseFn>(find("TorvoSettingsClose"));
            m->readInt = reinterpret_cast<TorvoSettingsReadIntFn>(find("TorvoSettingsReadInt"));
            m->readText = reinterpret_cast<TorvoSettingsReadTextFn>(find("TorvoSettingsReadText"));
            m->writeInt = reinterpret_cast<TorvoSettingsWriteIntFn>(find("TorvoSettingsWriteInt"));
            m->writeText = reinterpret_cast<TorvoSettingsWriteTextFn>(find("TorvoSettingsWriteText"));
            if (m->open && m->close && m->readInt && m->readText && m->writeInt && m->writeText) {
                module_ = std::move(m);
                loadError_.clear();
                break;
            }
            loadError_ = path + ": not the settings module";
        }
        if (!module_) {
            if (loadError_.empty()) loadError_ = std::string(kSettingsModuleFile) + " not found";
            return nullptr;
        }
    }
    settings_ = module_->open(file_.c_str());
    if (settings_) {
        // From here on QSettings reads and writes the file.
        fileState_ = FileState::kUnread;
        plain_.reset();
    }
    return settings_;
}

const CPlainIni* COnDemandSettingsStore::Plain(std::string_view section, std::string_view name, bool& missing) {
    missing = false;
    if (settings_) return nullptr;
    if (fileState_ == FileState::kUnread) {
        fileState_ = FileState::kOther;
        std::string text;
        const int fd = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0) {
            // These errors of the open are the path's: a stat would fail alike.
            // Any other (a file that may not be read, say) is told by a stat.
            const int error = errno;
            if (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG ||
                ::stat(file_.c_str(), &st) != 0)
                fileState_ = FileState::kMissing;
        } else if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (1 << 20)) {
            text.resize(static_cast<size_t>(st.st_size));
            size_t got = 0;
            while (got < text.size()) {
                const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            if (got == text.size() && (plain_ = CPlainIni::Parse(text))) fileState_ = FileState::kPlain;
        }
        if (fd >= 0) ::close(fd);
    }
    missing = fileState_ == FileState::kMissing;
    return fileState_ == FileState::kPlain && CPlainIni::Answers(section, name) ? &*plain_ : nullptr;
}

std::optional<int32_t> COnDemandSettingsStore::ReadInt(std::string_view section, std::string_view name) {
    bool missing = false;
    if (const CPlainIni* plain = Plain(section, name, missing)) {
        const std::string* text = plain->Find(section, name);
        if (!text) return std::nullopt;
        bool known = false;
        const std::optional<int32_t> value = CPlainIni::Int(*text, known);
        if (known) return value;
    }
    if (missing) return std::nullopt;
    void* s = Settings();
    int32_t value = 0;
    if (!s || !module_->readInt(s, section.data(), section.size(), name.data(), name.size(), &value)) return std::nullopt;
    return value;
}

std::optional<std::string> COnDemandSettingsStore::ReadText(std::string_view section, std::string_view name) {
    bool missing = false;
    if (const CPlainIni* plain = Plain(section, name, missing)) {
        const std::string* text = plain->Find(section, name);
        return text ? std::optional<std::string>(*text) : std::nullopt;
    }
    if (missing) return std::nullopt;
    void* s = Settings();
    std::string text;
    auto sink = [](void* context, const char* data, size_t size) { static_cast<std::string*>(context)->assign(data, size); };
    if (!s || !module_->readText(s, section.data(), section.size(), name.data(), name.size(), sink, &text))
        return std::nullopt;
    return text;
}

bool COnDemandSettingsStore::WriteInt(std::string_view section, std::string_view name, int32_t value) {
    void* s = Settings();
    return s && module_->writeInt(s, section.data(), section.size(), name.data(), name.size(), value);
}

bool COnDemandSettingsStore::WriteText(std::string_view section, std::string_view name, std::string_view value) {
    void* s = Settings();
    return s && module_->writeText(s, section.data(), section.size(), name.data(), name.size(), value.data(), value.size());
}

bool COnDemandSettingsStore::Clear() {
    if (settings_) {
        module_->close(settings_);
        settings_ = nullptr;
    }
    fileState_ = FileState::kUnread;
    plain_.reset();
    return RemoveFileAndEmptyFolders(file_, stopAt_);
}

std::unique_ptr<COnDemandSettingsStore> OpenUserSettingsStoreOnDemand() {
    const UserDirs dirs = UserDirs::SettingsDirsFromEnvironment();
    return std::make_unique<COnDemandSettingsStore>(
        dirs.SettingsFile(), dirs.configHome,
        ModuleCandidates(kSettingsModuleFile, TORVO_MODULES_FROM_PROGRAM, TORVO_SETTINGS_MODULE_INSTALLED,
                         TORVO_SETTINGS_MODULE_BUILT));
}

}  // namespace torvo
