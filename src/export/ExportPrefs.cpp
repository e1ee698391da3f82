#include "export/ExportPrefs.h"

namespace torvo {

ExportSettings ExportSettingsFromPrefs(const CPrefs& prefs) {
    ExportSettings s;
    s.enabled = prefs.exportEnabled != 0;
    s.mode = prefs.exportMode;
    s.formatSrc = prefs.exportFormatSrc;
    s.overwriteOk = prefs.exportOverwriteOk != 0;
    s.path = prefs.exportPath;
    s.file = prefs.exportFile;
    s.templateName = prefs.exportNameOfFileForFormat;
    s.windows1251 = prefs.exportEncoding == kExportEncodingCp1251;
    s.loadedTemplate = prefs.loadedTemplate;
    s.templateLoaded = !prefs.loadedTemplate.empty();
    return s;
}

void StoreExportSettings(const ExportSettings& settings, CPrefs& prefs) {
    prefs.exportEnabled = settings.enabled ? 1 : 0;
    prefs.exportMode = settings.mode;
    prefs.exportFormatSrc = settings.formatSrc;
    prefs.exportOverwriteOk = settings.overwriteOk ? 1 : 0;
    prefs.exportPath = settings.path;
    prefs.exportFile = settings.file;
    if (settings.templateName != prefs.exportNameOfFileForFormat) prefs.loadedTemplate.clear();
    else prefs.loadedTemplate = settings.templateLoaded ? settings.loadedTemplate : std::string();
    prefs.exportNameOfFileForFormat = settings.templateName;
}

}  // namespace torvo
