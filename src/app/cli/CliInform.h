// --inform: each file's report fields written through an export template.
#pragma once

#include <optional>
#include <string>

namespace torvo::cli {

// The template text of --inform: "file://PATH" or the name of an existing
// file gives that file's template (comment lines dropped as for export),
// anything else is the template itself. Nothing, with the reason in error,
// when the file cannot be read, holds no template, or the template has a
// placeholder that names no report field (each one named in error).
std::optional<std::string> InformTemplate(const std::string& argument, std::string& error);

}  // namespace torvo::cli
