// Checking a template before it is used: the placeholders that name no
// report field (each would become "***ОШИБКА**" in every record).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvo {

// The unknown placeholders of a template, each once, in the order they first
// appear, as written ("%VIDEO_COEDC%"; without a closing sign, up to the end).
// The walk is the substitution's: escapes are skipped, and a known key
// consumes the text up to its closing '%'.
std::vector<std::string> UnknownTemplateKeys(std::string_view templateText);

}  // namespace torvo
