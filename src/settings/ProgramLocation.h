// Where the running program lives: the database, the default export
// template and the shortcuts all refer to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvo {

// Full path of the running executable (the target of /proc/self/exe); empty when unknown.
std::string ProgramPath();

// The folder of ProgramPath() with its trailing '/'; empty when unknown.
std::string ProgramDir();

// Whether the running program is the one in its build tree (tests and
// developers run it there). An installed program never looks into the build
// tree or the working directory for its data and modules.
bool RunsFromBuildTree();
// The same for a ProgramDir() already at hand.
bool RunsFromBuildTree(std::string_view programDir);

// Where a loadable module of the program is looked for, in order. From the
// build tree: beside the program, then where it was built. Installed: in the
// module folder of an installation relative to the program (one staged or
// moved elsewhere), then where it was meant to be installed. Empty texts
// leave a place out.
std::vector<std::string> ModuleCandidates(const char* file, const char* fromProgram, const char* installed,
                                          const char* built = "");

}  // namespace torvo
