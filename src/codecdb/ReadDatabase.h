// The codec database: one text file, read once at start-up, that names video
// codecs by FourCC, audio formats by format tag, GUIDs and error codes, MP4
// brands, and maps user-data strings found in video streams to encoder names.
//
// The file is parsed in place: tabs and line ends are overwritten with
// terminators and every record points into the one buffer the database owns.
// A file whose bytes are those of the database the program was built with is
// not parsed again: its records come from the form the build made of it.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

// A database file as the build parsed it: the file's bytes, the text its
// records point into (every field zero-terminated) and, per section, four
// offsets into that text for each record after entry 0.
struct CompactDatabase {
    std::string_view file;
    std::string_view text;
    std::array<std::span<const uint32_t>, kDbSections.size()> fields;
};

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
    // A file with exactly the bytes of `built` (when given) takes its records
    // from it instead of being parsed; any other file is parsed.
    explicit CReadDatabase(const CompactDatabase* built = nullptr);
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
    // What fstat told of the file when it was opened (zero after LoadBytes).
    const struct stat& FileInfo() const { return fileInfo_; }
    // Whether the records came from the built form rather than a parse.
    bool FromBuiltForm() const { return compact_ != nullptr; }
    // The text the records point into: the file as parsed, fields zero-terminated.
    std::string_view ParsedText() const { return {text_, dataLength_}; }

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
    // owned, when given, holds bytes with sixteen spare bytes behind them.
    bool AdoptBytes(std::string_view bytes, const std::string& path, std::unique_ptr<char[]> owned);
    bool ReadRecord(size_t& pos, DatabaseRecord& record);
    size_t SkipLine(size_t pos);
    size_t SkipCommentLines(size_t pos);
    // The error of a section whose reading stopped at pos (the start of a line).
    bool FailSection(const char* header, size_t pos);
    size_t FindFourCharKey(DbSection section, std::string_view key) const;
    // The entries of a section, all capacity of them.
    std::span<DatabaseRecord> Entries(DbSection section);
    // Section records from the built form.
    void TakeBuiltSection(DbSection section);

    const CompactDatabase* built_ = nullptr;
    const CompactDatabase* compact_ = nullptr;  // built_ when the file matched it
    std::unique_ptr<char[]> buffer_;            // the text being parsed
    const char* text_ = nullptr;                // buffer_ or the built form's text
    char* writable_ = nullptr;                  // text_ while it is parsed in buffer_
    size_t dataLength_ = 0;                     // text bytes, before the terminators
    std::string errorText_;
    struct FreeRecords {
        void operator()(DatabaseRecord* records) const { std::free(records); }
    };
    std::unique_ptr<DatabaseRecord[], FreeRecords> records_;  // the sections' entries one after another
    std::array<size_t, kDbSections.size()> filled_{};  // entries of each section that may be set
    int fieldsRead_ = 0;  // fields of the current record line read completely
    UserMessage message_;
    std::string path_;
    struct stat fileInfo_ {};
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
