// --inform: each file's report fields written through an export template,
// and the one-line messages a script reads on standard error.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/Driver.h"

namespace torvo::cli {

// The template text of --inform: "file://PATH" or the name of an existing
// file gives that file's template (comment lines dropped as for export),
// anything else is the template itself. Nothing, with the reason in error,
// when the file cannot be read or holds no template.
std::optional<std::string> InformTemplate(const std::string& argument, std::string& error);

// Messages as one line: "caption: text" joined by "; ", line breaks and runs
// of blanks folded into one blank.
std::string OneLine(const std::vector<UserMessage>& messages);

// A short code for why a file could not be analysed: not_found,
// permission_denied, is_directory or unreadable.
std::string FailureCode(const std::string& path);

}  // namespace torvo::cli
