// The names a run is given: list files (one name a line, or NUL-separated as
// find -print0 writes them) and folders, which stand for the media files
// inside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace torvo {

struct NameListRead {
    std::vector<std::string> names;
    // Lines longer than any path the system accepts; they are not names.
    size_t overlong = 0;
};

// Reads a list of names separated by `separator` ('\n' or '\0'). Empty
// entries are skipped; the last entry counts without a final separator; in a
// line list a carriage return before the line feed (a list written on
// Windows) is dropped. Entries are kept up to the system's path length.
NameListRead ReadNameList(std::istream& in, char separator = '\n');

// Whether the name ends in an extension of a kind the program reads.
bool HasMediaExtension(const std::string& path);

struct ExpandedNames {
    std::vector<std::string> names;
    size_t leftOut = 0;  // names beyond `limit`
    // A folder search stopped early (see below): more may have been left out.
    bool searchCut = false;
};

// The names in their order, each folder replaced by the media files below it
// (all levels, symbolic links to folders not followed, unreadable folders
// passed over), sorted by name. At most `limit` names are kept; a folder is
// searched at most a few times `limit` deep, so that a huge tree cannot stall
// a caller with a small limit.
ExpandedNames ExpandFolders(const std::vector<std::string>& names, size_t limit = SIZE_MAX);

}  // namespace torvo
