// The codec database: one text file, read once at start-up, that names video
// codecs by FourCC, audio formats by format tag, GUIDs and error codes, MP4
// brands, and maps user-data strings found in video streams to encoder names.
//
// The file is parsed in place: tabs and line ends are overwritten with
// terminators and every record points into the one buffer the database owns.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Driver.h"
#include "base/Translate.h"

namespace torvo {

// One record line: four zero-terminated texts inside the database's buffer.
// An entry that was never filled has all four pointers null.
struct DatabaseRecord {
    std::array<const char*, 4> fields{};

    bool Filled() const { return fields[0] != nullptr; }
    // Field n (1 to 4); empty for an unfilled entry.
    std::string_view Field(int n) const;
};

enum class DbSection { kVideoCodecs, kAudioCodecs, kVfwMessages, kGuids, kFtyps, kUserDataMapping };

struct DbSectionInfo {
    const char* header;
    size_t capacity;  // entries, counting the "unknown" entry 0
};

// In the order they are read.
inline constexpr std::array<DbSectionInfo, 6> kDbSections = {{
    {"[video codecs]", 850},
    {"[audio codecs]", 350},
    {"[vfw messages]", 600},
    {"[guids]", 600},
    {"[ftyps]", 100},
    {"[userdata mapping]", 200},
}};

inline constexpr const char* kDbFileName = "Torvo27.dat";
inline constexpr uint32_t kDbMaxFileSize = 0x40000;
inline constexpr const char* kDbUnknown = N_("<не знаю>");
inline constexpr const char* kDbCaption = N_("Данные!!!");

// Where the database is looked for besides the current folder.
struct DatabaseSearch {
    bool currentDir = true;             // the bare name in the working directory first
    std::string programDir;             // with its trailing '/'; empty: not tried
    std::vector<std::string> dataDirs;  // installed data folders, tried last

    // From the build tree: the working directory, the program's own folder
    // and its parent, then the installed data folders. Installed: only the
    // data folder of the installation the program belongs to, the one it was
    // meant for and $XDG_DATA_DIRS/torvo; a stray file in the working
    // directory never stands in for the shipped database.
    static DatabaseSearch Default();
};

// A size-limited text result: at most size - 1 characters arrive; none when size is 0.
struct TextOut {
    std::string* text = nullptr;
    size_t size = 0;
};

class CReadDatabase {
public:
    CReadDatabase();
    virtual ~CReadDatabase();
    CReadDatabase(const CReadDatabase&) = delete;
    CReadDatabase& operator=(const CReadDatabase&) = delete;

    // Locates "Torvo27.dat" the usual way and reads all six sections.
    bool Load();
    // The same for a given name; a name with a '/' is opened only as given.
    bool Load(const std::string& fileName, const DatabaseSearch& search);

    // Reads the sections from bytes already in memory; path names them in messages.
    bool LoadBytes(std::string_view bytes, const std::string& path);

    // Load in its two steps, for a caller that starts other work as soon as
    // the file is found: OpenFile locates and reads it, ReadAllSections parses it.
    bool OpenFile(const std::string& fileName, const DatabaseSearch& search);
    bool ReadAllSections();
    // Offset of the header line, case-insensitive, at a line start; none when absent.
    std::optional<size_t> FindSection(std::string_view header);
    bool ReadSection(DbSection section);

    // The failure the user must see after Load or OpenFile returned false.
    const UserMessage& LastMessage() const { return message_; }
    // The last section-read error.
    const std::string& ErrorText() const { return errorText_; }
    // The path the data was read from.
    const std::string& Path() const { return path_; }

    std::span<const DatabaseRecord> Table(DbSection section) const;

    // Index of the first video codec whose FourCC equals the key in its first
    // four characters, ignoring ASCII case; 0 ("<не знаю>") when none does.
    size_t FindVideoCodec(std::string_view fourcc) const;
    // The same rule over the MP4 brands.
    size_t FindFtyp(std::string_view brand) const;
    // out becomes "key (name)" with the WAVE_FORMAT_ constant shortened, or
    // "key(не знаю)"; returns the record index or 0.
    size_t FindAudioFormat(std::string_view key, std::string& out) const;
    // On a match: name <- field 3, second <- field 2, third <- field 4.
    bool FindGuidName(std::string_view key, TextOut name, TextOut second = {}, TextOut third = {}) const;
    // "0x%08x: message", or "0x%08x: [не знаю]", cut to size - 1 characters.
    std::string DescribeHresult(size_t size, uint32_t code) const;
    // The encoder named by the first mapping whose pattern occurs in any of the strings.
    std::optional<std::string_view> MapUserDataName(std::span<const std::string> userData) const;

private:
    bool ReadWholeFile(int fd, const std::string& path);
    bool AdoptBytes(std::string_view bytes, const std::string& path);
    bool ReadRecord(size_t& pos, DatabaseRecord& record);
    size_t SkipLine(size_t pos);
    size_t SkipCommentLines(size_t pos);
    bool FailSection(const char* header);
    size_t FindFourCharKey(DbSection section, std::string_view key) const;

    uint32_t fileLength_ = 0;
    std::unique_ptr<char[]> buffer_;
    size_t dataLength_ = 0;  // text bytes in buffer_, before its terminators
    std::string errorText_;
    std::array<std::vector<DatabaseRecord>, kDbSections.size()> tables_;
    int line_ = 0;        // 0-based line of the reading position
    int fieldsRead_ = 0;  // fields of the current record line read completely
    UserMessage message_;
    std::string path_;
};

// A database table as the main window's menu lists it.
struct DatabaseListing {
    const char* title;
    std::array<const char*, 3> columns;
    std::vector<std::array<std::string_view, 3>> rows;  // fields 1 to 3
};

DatabaseListing ListVideoCodecs(const CReadDatabase& db);
DatabaseListing ListAudioFormats(const CReadDatabase& db);

}  // namespace torvo
