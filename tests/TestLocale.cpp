// The tests read the program's own texts: each test process, and every
// program it starts, runs in the C locale whatever the developer's session
// uses (an English LANG would turn the reports English).
#include <cstdlib>
#include <initializer_list>

namespace {

const bool kLocalePinned = [] {
    setenv("LANG", "C.UTF-8", 1);
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(name);
    return true;
}();

}  // namespace
