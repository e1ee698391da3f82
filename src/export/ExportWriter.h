// Writing the report of one analysed file through the chosen template to the
// export target: one file per medium, one per folder, or one appended file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/Driver.h"
#include "analysis/ReportFields.h"

namespace torvo {

// The export settings, as the preferences keep them.
struct ExportSettings {
    bool enabled = false;
    int mode = 1;       // 1 beside the medium, 2 in `path`, 3 appended to `file`
    int formatSrc = 0;  // 0 table record, 1 NFO listing, 2 the user's template file
    bool overwriteOk = false;
    std::string path;
    std::string file;
    std::string templateName;
    bool windows1251 = false;  // write Windows-1251 instead of UTF-8
    // The user's template once read; dropped after any failure.
    std::string loadedTemplate;
    bool templateLoaded = false;
};

struct ExportOutcome {
    bool ok = true;
    std::vector<UserMessage> messages;  // shown in order when the export failed
};

class CExportWriter {
public:
    // saveSettings stores every setting, ExportEnabled included; it is called
    // after a failure has switched export off.
    CExportWriter(ExportSettings& settings, std::function<void()> saveSettings)
        : settings_(settings), save_(std::move(saveSettings)) {}

    // Exports the fields of the analysed file; succeeds at once when export is off.
    ExportOutcome ExportFile(const CExport& fields, const std::string& mediaPath);

    // Reads the user's template file into the settings.
    ExportOutcome LoadTemplate();

    std::string TargetName(const std::string& mediaPath) const;

private:
    ExportOutcome Fail(UserMessage message, bool withInfo = false);
    bool WriteTarget(const std::string& target, const std::string& mediaPath, const std::string& header,
                     const std::string& record, std::string& error);

    ExportSettings& settings_;
    std::function<void()> save_;
};

}  // namespace torvo
