// The settings store for programs that load Qt only when they must
// (torvo-cli): the same INI file through the same QSettings calls as
// CQtSettingsStore, in a module loaded on the first write or the first read
// of a file that exists. A run without a settings file reads the defaults
// without loading Qt at all, and one whose file is in the plain form that
// QSettings writes (PlainIni.h) reads it without Qt too.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "QtSettingsModule.h"
#include "settings/PlainIni.h"
#include "settings/SettingsStore.h"

namespace torvo {

class COnDemandSettingsStore : public ISettingsStore {
public:
    // stopAt: the folder Clear never removes (the config home); modules: the
    // module files to try, in order.
    COnDemandSettingsStore(std::filesystem::path file, std::filesystem::path stopAt, std::vector<std::string> modules);
    ~COnDemandSettingsStore() override;
    COnDemandSettingsStore(const COnDemandSettingsStore&) = delete;
    COnDemandSettingsStore& operator=(const COnDemandSettingsStore&) = delete;

    std::optional<int32_t> ReadInt(std::string_view section, std::string_view name) override;
    std::optional<std::string> ReadText(std::string_view section, std::string_view name) override;
    bool WriteInt(std::string_view section, std::string_view name, int32_t value) override;
    bool WriteText(std::string_view section, std::string_view name, std::string_view value) override;
    // Removes the file and the folders it leaves empty.
    bool Clear() override;

    // Whether the module has been loaded (for tests and benchmarks).
    bool ModuleLoaded() const { return module_ != nullptr; }
    // Why the module could not be loaded, empty when it could.
    const std::string& LoadError() const { return loadError_; }

private:
    // The open QSettings, loading the module first; null when it cannot be loaded.
    void* Settings();
    // For reads before any write: the file's values when it is plain, else
    // null (the module reads it). Missing tells an absent file, nothing to read.
    const CPlainIni* Plain(std::string_view section, std::string_view name, bool& missing);

    struct Module;
    std::filesystem::path file_;
    std::filesystem::path stopAt_;
    std::vector<std::string> modules_;
    std::unique_ptr<Module> module_;
    void* settings_ = nullptr;
    std::string loadError_;
    // The file as read before the module was needed: not yet, absent, plain, other.
    enum class FileState { kUnread, kMissing, kPlain, kOther } fileState_ = FileState::kUnread;
    std::optional<CPlainIni> plain_;
};

// The store at the per-user location of organisation "Quellmark", application
// "Torvo", with the module looked for beside the program, then where it is installed.
std::unique_ptr<COnDemandSettingsStore> OpenUserSettingsStoreOnDemand();

}  // namespace torvo
