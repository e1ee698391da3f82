// --vgs: the GOP picture of the analysed file as a PNG file.
#pragma once

#include <string>

#include "analysis/Driver.h"

namespace torvo::cli {

// Draws the pictures of the file's full scan and writes them as PNG; returns
// an error text, or empty on success.
std::string WriteVgsPicture(const CAnalysisDriver& driver, const std::string& path);

}  // namespace torvo::cli
