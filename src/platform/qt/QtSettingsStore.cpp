#include "QtSettingsStore.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include "settings/DesktopIntegration.h"

namespace torvo {

namespace {

QString KeyOf(std::string_view section, std::string_view name) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + u'/' +
           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

CQtSettingsStore::CQtSettingsStore(std::filesystem::path file, std::filesystem::path stopAt)
    : file_(std::move(file)), stopAt_(std::move(stopAt)) {}

CQtSettingsStore::~CQtSettingsStore() = default;

QSettings& CQtSettingsStore::Settings() {
    if (!settings_) settings_ = std::make_unique<QSettings>(QString::fromStdString(file_.string()), QSettings::IniFormat);
    return *settings_;
}

// Writes go to the file at once, so that nothing is left pending for a later, unwanted flush.
bool CQtSettingsStore::Synced() {
    Settings().sync();
    return Settings().status() == QSettings::NoError;
}

std::optional<int32_t> CQtSettingsStore::ReadInt(std::string_view section, std::string_view name) {
    const QVariant value = Settings().value(KeyOf(section, name));
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? std::optional<int32_t>(number) : std::nullopt;
}

std::optional<std::string> CQtSettingsStore::ReadText(std::string_view section, std::string_view name) {
    const QVariant value = Settings().value(KeyOf(section, name));
    if (!value.isValid()) return std::nullopt;
    return value.toString().toStdString();
}

bool CQtSettingsStore::WriteInt(std::string_view section, std::string_view name, int32_t value) {
    Settings().setValue(KeyOf(section, name), value);
    return Synced();
}

bool CQtSettingsStore::WriteText(std::string_view section, std::string_view name, std::string_view value) {
    Settings().setValue(KeyOf(section, name), QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    return Synced();
}

bool CQtSettingsStore::Clear() {
    settings_.reset();
    return RemoveFileAndEmptyFolders(file_, stopAt_);
}

std::unique_ptr<CQtSettingsStore> OpenUserSettingsStore() {
    const UserDirs dirs = UserDirs::SettingsDirsFromEnvironment();
    return std::make_unique<CQtSettingsStore>(dirs.SettingsFile(), dirs.configHome);
}

}  // namespace torvo
