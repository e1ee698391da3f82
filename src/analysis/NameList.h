// The names a run is given: list files (one name a line, or NUL-separated as
// find -print0 writes them) and folders, which stand for the media files
// inside them: the files a registered format identifies by their content.
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

// Whether a registered format identifies the file by its first bytes, as the
// analysis would (a signature, a transport stream, MPEG or DV content),
// whatever the file is called. False for files that cannot be read.
bool IsMediaFile(const std::string& path);

struct ExpandedNames {
    std::vector<std::string> names;
    size_t leftOut = 0;  // names beyond `limit`
    // A folder search stopped early (see below): more may have been left out.
    bool searchCut = false;
    // Regular files below the folders that are not media files.
    size_t skipped = 0;
    // Folders that hold no media file at all, as given.
    std::vector<std::string> withoutMedia;
    // Folders below the given ones that could not be read: "path: reason".
    std::vector<std::string> unreadable;
};

// The names in their order, each folder replaced by the media files below it
// (all levels, sorted by name). Symbolic links are followed, each folder
// entered once (no loops); unreadable folders are listed and passed over.
// At most `limit` names are kept; a folder is searched at most a few times
// `limit` deep, so that a huge tree cannot stall a caller with a small limit.
ExpandedNames ExpandFolders(const std::vector<std::string>& names, size_t limit = SIZE_MAX);

// What the front ends tell about an expansion: the count of skipped files,
// and the error of a folder without media files (its code and message).
std::string SkippedFilesText(size_t skipped);
inline constexpr const char* kNoMediaFilesCode = "no_media_files";
std::string NoMediaFilesText(const std::string& folder);
// Every such note of an expansion, one a line: folders without media files,
// unreadable folders, then the count of skipped files. Empty when all went well.
std::string ExpansionNotes(const ExpandedNames& expanded);

}  // namespace torvo
