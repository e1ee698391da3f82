// The export settings as the preferences store them, and back.
#pragma once

#include "export/ExportWriter.h"
#include "settings/Prefs.h"

namespace torvo {

// The stored export settings; the loaded template comes along.
ExportSettings ExportSettingsFromPrefs(const CPrefs& prefs);

// Copies the export settings into the preferences (they are stored at the
// next save); a changed template name drops the loaded template.
void StoreExportSettings(const ExportSettings& settings, CPrefs& prefs);

}  // namespace torvo
