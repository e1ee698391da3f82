// Where the running program lives: the database, the default export
// template and the shortcuts all refer to it.
#pragma once

#include <string>
#include <vector>

namespace torvo {

// Full path of the running executable (the target of /proc/self/exe); empty when unknown.
std::string ProgramPath();

// The folder of ProgramPath() with its trailing '/'; empty when unknown.
std::string ProgramDir();

// Where a loadable module of the program is looked for, in order: beside the
// program (a build tree), in the module folder of an installation relative to
// the program (one moved elsewhere), where it was meant to be installed, and
// where it was built. Empty texts leave a place out.
std::vector<std::string> ModuleCandidates(const char* file, const char* fromProgram, const char* installed,
                                          const char* built = "");

}  // namespace torvo
