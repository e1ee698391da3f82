// Export templates: reading a user's template file and substituting the
// report fields into a template.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "analysis/ReportFields.h"
#include "base/Translate.h"

namespace torvo {

inline constexpr size_t kExportBufferBytes = 102400;      // output and template size limit
inline constexpr std::string_view kUnknownKeyText = N_("***ОШИБКА**");

// Walks the template: "%KEY%" becomes the field's value ("***ОШИБКА**" when
// no key starts there), "\n", "\r", "\t" become the control characters and
// any other escaped character stands for itself; the template's own line
// breaks are dropped. The output holds at most 102,399 bytes and never ends
// inside a UTF-8 sequence.
std::string SubstituteTemplate(std::string_view templateText, const CExport& fields);

// The template held in a template file's bytes: lines beginning with '#' are
// dropped with their line feed; the last kept byte is dropped (and the one
// before it when that last byte is '#'). Nothing when fewer than two bytes
// are kept.
std::optional<std::string> TemplateFromFileBytes(std::string_view bytes);

// Where the export of a media file goes: 1 beside it, 2 in exportPath, 3 in
// exportFile. The name is the media file's base name with ".txt".
std::string ExportTargetName(int mode, const std::string& mediaPath, const std::string& exportPath,
                             const std::string& exportFile);

}  // namespace torvo
