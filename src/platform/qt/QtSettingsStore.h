// The settings store of the desktop program: an INI file written through
// QSettings, by default ~/.config/Quellmark/Torvo.conf.
#pragma once

#include <filesystem>
#include <memory>

#include "settings/SettingsStore.h"

class QSettings;

namespace torvo {

class CQtSettingsStore : public ISettingsStore {
public:
    // stopAt: the folder Clear never removes (the config home).
    CQtSettingsStore(std::filesystem::path file, std::filesystem::path stopAt);
    ~CQtSettingsStore() override;

    std::optional<int32_t> ReadInt(std::string_view section, std::string_view name) override;
    std::optional<std::string> ReadText(std::string_view section, std::string_view name) override;
    bool WriteInt(std::string_view section, std::string_view name, int32_t value) override;
    bool WriteText(std::string_view section, std::string_view name, std::string_view value) override;
    // Removes the file and the folders it leaves empty.
    bool Clear() override;

private:
    QSettings& Settings();
    bool Synced();

    std::filesystem::path file_;
    std::filesystem::path stopAt_;
    std::unique_ptr<QSettings> settings_;
};

// The store at the per-user location of organisation "Quellmark", application "Torvo".
std::unique_ptr<CQtSettingsStore> OpenUserSettingsStore();

}  // namespace torvo
