// The settings store's QSettings half as a module of its own: torvo-cli loads
// it (and Qt Core with it) only when there is a settings file to read or a
// value to write, so that a run without settings never pays for loading Qt.
// The calls mirror CQtSettingsStore exactly; the folder handling of Clear
// stays with the caller.
#include <QSettings>
#include <QString>
#include <QVariant>

#include "QtSettingsModule.h"

namespace {

QString KeyOf(const char* section, size_t sectionSize, const char* name, size_t nameSize) {
    return QString::fromUtf8(section, static_cast<qsizetype>(sectionSize)) + u'/' +
           QString::fromUtf8(name, static_cast<qsizetype>(nameSize));
}

QSettings& Settings(void* handle) { return *static_cast<QSettings*>(handle); }

// Writes go to the file at once, so that nothing is left pending for a later, unwanted flush.
bool Synced(QSettings& settings) {
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* TorvoSettingsOpen(const char* file) {
    return new QSettings(QString::fromUtf8(file), QSettings::IniFormat);
}

__attribute__((visibility("default"))) void TorvoSettingsClose(void* handle) { delete static_cast<QSettings*>(handle); }

__attribute__((visibility("default"))) bool TorvoSettingsReadInt(void* handle, const char* section, size_t sectionSize,
                                                                 const char* name, size_t nameSize, int32_t* value) {
    const QVariant v = Settings(handle).value(KeyOf(section, sectionSize, name, nameSize));
    if (!v.isValid()) return false;
    bool ok = false;
    const int number = v.toInt(&ok);
    if (ok) *value = number;
    return ok;
}

__attribute__((visibility("default"))) bool TorvoSettingsReadText(void* handle, const char* section, size_t sectionSize,
                                                                  const char* name, size_t nameSize, TorvoTextSink sink,
                                                                  void* context) {
    const QVariant v = Settings(handle).value(KeyOf(section, sectionSize, name, nameSize));
    if (!v.isValid()) return false;
    const std::string text = v.toString().toStdString();
    sink(context, text.data(), text.size());
    return true;
}

__attribute__((visibility("default"))) bool TorvoSettingsWriteInt(void* handle, const char* section, size_t sectionSize,
                                                                  const char* name, size_t nameSize, int32_t value) {
    Settings(handle).setValue(KeyOf(section, sectionSize, name, nameSize), value);
    return Synced(Settings(handle));
}

__attribute__((visibility("default"))) bool TorvoSettingsWriteText(void* handle, const char* section, size_t sectionSize,
                                                                   const char* name, size_t nameSize, const char* value,
                                                                   size_t valueSize) {
    Settings(handle).setValue(KeyOf(section, sectionSize, name, nameSize),
                              QString::fromUtf8(value, static_cast<qsizetype>(valueSize)));
    return Synced(Settings(handle));
}

}  // extern "C"
