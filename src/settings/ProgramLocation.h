// Where the running program lives: the database, the default export
// template and the shortcuts all refer to it.
#pragma once

#include <string>

namespace torvo {

// Full path of the running executable (the target of /proc/self/exe); empty when unknown.
std::string ProgramPath();

// The folder of ProgramPath() with its trailing '/'; empty when unknown.
std::string ProgramDir();

}  // namespace torvo
