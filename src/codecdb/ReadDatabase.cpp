#include "codecdb/ReadDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#if defined(__x86_64__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Text.h"
#include "codecdb/TextEncoding.h"
#include "settings/ProgramLocation.h"
#include "base/Translate.h"

#ifndef TORVO_INSTALL_DATA_DIR
#define TORVO_INSTALL_DATA_DIR "/usr/local/share/torvo"
#endif

namespace torvo {

namespace {

constexpr const char* kNotOpened =
    N_("Не открыта база данных  %s:\nЭтот файл должен лежать в текущем каталоге или в папке программы Torvo \n"
    "Убедитесь, что запускаете Torvo НЕ из архивного файла (ZIP, RAR).        \n"
    "Вот сообщение системы об ошибке:  \n\n");
constexpr const char* kWrongFile = N_("Файл данных НеТот: %s");
constexpr const char* kNotRead = N_("Не читается файл данных %s:\n\n");
constexpr const char* kBadFile = N_("Файл torvo.dat неверен.\r\n%s");
constexpr const char* kNoSection = N_("Не могу найти раздел   %s");
constexpr const char* kBadSection = N_("Ошибка чтения раздела %s базы: строка %d, поле %d ");
constexpr size_t kErrorTextChars = 255;
constexpr size_t kFourCharKey = 4;

// Owns a file descriptor for the few lines that read the file.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens an existing regular file for reading. Folders and devices are refused
// as the open itself would refuse them elsewhere; O_NONBLOCK keeps a FIFO from
// hanging the start-up.
// info receives what fstat told.
int OpenRegularFile(const std::string& path, struct stat& info) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool IsCommentLead(char c) {
    return c == '#' || c == '@' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares like a bounded case-insensitive C string comparison over four
// characters: a field shorter than four matches only a key of its own length.
bool FirstFourMatch(const char* field, std::string_view key) {
    for (size_t i = 0; i < kFourCharKey; ++i) {
        const char a = FoldAscii(field[i]);
        const char b = FoldAscii(i < key.size() ? key[i] : '\0');
        if (a != b) return false;
        if (a == '\0') return true;
    }
    return true;
}

// Line feeds found one after another: a line is tens of bytes, and memchr
// takes those at once where a byte-by-byte count would visit each.
// The first tab, carriage return, line feed or zero byte at or after data + p
// (what strcspn(data + p, "\t\r\n") finds), sixteen bytes a step. The data
// is followed by sixteen zero bytes, so no step reads past them.
size_t FieldEnd(const char* data, size_t p) {
#if defined(__x86_64__) && defined(__SSE2__)
    const __m128i tab = _mm_set1_epi8('\t'), cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    for (;; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr)),
                                          _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, zero)));
        if (const int bits = _mm_movemask_epi8(stop)) return p + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    }
#else
    return p + std::strcspn(data + p, "\t\r\n");
#endif
}

int CountLineFeeds(std::string_view text) {
    int count = 0;
    const char* const end = text.data() + text.size();
    for (const char* at = text.data(); at != end; ++count) {
        const void* feed = std::memchr(at, '\n', static_cast<size_t>(end - at));
        if (!feed) break;
        at = static_cast<const char*>(feed) + 1;
    }
    return count;
}

std::string Truncated(std::string_view text, size_t size) {
    return std::string(TruncateUtf8(text, size > 0 ? size - 1 : 0));
}

std::string WithSystemError(std::string text, int error) { return text + std::strerror(error); }

}  // namespace

std::string_view DatabaseRecord::Field(int n) const {
    if (n < 1 || n > 4) return {};
    const char* text = fields[static_cast<size_t>(n - 1)];
    return text ? std::string_view(text) : std::string_view();
}

DatabaseSearch DatabaseSearch::Default() {
    DatabaseSearch search;
    const std::string programDir = ProgramDir();
    if (RunsFromBuildTree(programDir)) {
        search.programDir = programDir;
    } else {
        search.currentDir = false;
        if (!programDir.empty()) search.dataDirs.push_back(programDir + TORVO_DATA_FROM_PROGRAM);
    }
    search.dataDirs.emplace_back(TORVO_INSTALL_DATA_DIR);
    const char* xdg = std::getenv("XDG_DATA_DIRS");
    const std::string_view dirs = xdg && *xdg ? xdg : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t colon = std::min(dirs.find(':', start), dirs.size());
        const std::string_view dir = dirs.substr(start, colon - start);
        // Relative entries are invalid in XDG variables and are ignored.
        if (dir.starts_with('/')) search.dataDirs.push_back(std::string(dir) + (dir.ends_with('/') ? "torvo" : "/torvo"));
        start = colon + 1;
    }
    return search;
}

namespace {

constexpr std::array<size_t, kDbSections.size() + 1> kSectionStarts = [] {
    std::array<size_t, kDbSections.size() + 1> starts{};
    for (size_t i = 0; i < kDbSections.size(); ++i) starts[i + 1] = starts[i] + kDbSections[i].capacity;
    return starts;
}();

}  // namespace

// All sections' entries in one block that starts cleared. The records are
// plain pointers (an aggregate, which calloc's memory may hold): calloc hands
// out fresh pages without writing them, and entries no section uses are
// never touched, where a constructor loop would write all of them.
CReadDatabase::CReadDatabase(const CompactDatabase* built)
    : built_(built),
      records_(static_cast<DatabaseRecord*>(std::calloc(kSectionStarts.back(), sizeof(DatabaseRecord)))) {
    static_assert(std::is_trivially_copyable_v<DatabaseRecord> && std::is_trivially_destructible_v<DatabaseRecord>);
    if (!records_) throw std::bad_alloc();
}

CReadDatabase::~CReadDatabase() = default;

bool CReadDatabase::Load() { return Load(kDbFileName, DatabaseSearch::Default()); }

bool CReadDatabase::Load(const std::string& fileName, const DatabaseSearch& search) {
    message_ = {};
    return OpenFile(fileName, search) && ReadAllSections();
}

bool CReadDatabase::LoadBytes(std::string_view bytes, const std::string& path) {
    message_ = {};
    path_ = path;
    fileInfo_ = {};
    return AdoptBytes(bytes, path, nullptr) && ReadAllSections();
}

bool CReadDatabase::ReadAllSections() {
    for (size_t i = 0; i < kDbSections.size(); ++i) {
        if (!ReadSection(static_cast<DbSection>(i))) {
            message_ = {kDbCaption, Format(kBadFile, errorText_.c_str())};
            return false;
        }
    }
    return true;
}

bool CReadDatabase::OpenFile(const std::string& fileName, const DatabaseSearch& search) {
    const bool bareName = fileName.find('/') == std::string::npos;
    std::vector<std::string> candidates;
    if (search.currentDir || !bareName) candidates.push_back(fileName);
    std::string namedPath = fileName;  // the path the messages name
    bool parentSkipped = false;
    if (bareName && !search.programDir.empty()) {
        namedPath = search.programDir + fileName;
        candidates.push_back(namedPath);
        // The parent of the program's folder: a file in dir/sub/ is also found in dir/.
        const size_t last = namedPath.rfind('/');
        const size_t before = last == 0 || last == std::string::npos ? std::string::npos : namedPath.rfind('/', last - 1);
        if (before == std::string::npos) {
            parentSkipped = true;
        } else {
            candidates.push_back(namedPath.substr(0, before + 1) + fileName);
        }
    }
    if (bareName) {
        for (const std::string& dir : search.dataDirs) {
            candidates.push_back(dir + (dir.ends_with('/') ? "" : "/") + fileName);
        }
    }
    // Without the working directory or the program's folder, the messages
    // name the first place looked at.
    if (!search.currentDir && search.programDir.empty() && bareName && !candidates.empty()) namedPath = candidates.front();
    int lastError = ENOENT;
    for (const std::string& path : candidates) {
        const FileHandle file(OpenRegularFile(path, fileInfo_));
        if (file.get() < 0) {
            lastError = errno;
            continue;
        }
        path_ = path;
        return ReadWholeFile(file.get(), path);
    }
    message_ = parentSkipped ? UserMessage{kDbCaption, Format(kWrongFile, namedPath.c_str())}
                             : UserMessage{kDbCaption, WithSystemError(Format(kNotOpened, namedPath.c_str()), lastError)};
    return false;
}

bool CReadDatabase::ReadWholeFile(int fd, const std::string& path) {
    const struct stat& info = fileInfo_;
    // Checked before reading so that a huge file is never read into memory.
    if (info.st_size < 1 || info.st_size > static_cast<off_t>(kDbMaxFileSize)) {
        message_ = {kDbCaption, Format(kWrongFile, path.c_str())};
        return false;
    }
    // Read as it is and copied once into the buffer: no clearing, no copies
    // of the whole file on the way (the start of every run waits for this).
    const auto size = static_cast<size_t>(info.st_size);
    // Room for the terminators the parse adds, so that the text can be parsed where it was read.
    std::unique_ptr<char[]> bytes(new char[size + 16]);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes.get() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            message_ = {kDbCaption, WithSystemError(Format(kNotRead, path.c_str()), n < 0 ? errno : EIO)};
            return false;
        }
        got += static_cast<size_t>(n);
    }
    const std::string_view view(bytes.get(), size);
    return AdoptBytes(view, path, std::move(bytes));
}

bool CReadDatabase::AdoptBytes(std::string_view bytes, const std::string& path, std::unique_ptr<char[]> owned) {
    if (bytes.empty() || bytes.size() > kDbMaxFileSize) {
        message_ = {kDbCaption, Format(kWrongFile, path.c_str())};
        return false;
    }
    // Records of an earlier load point into the text about to be replaced.
    for (size_t i = 0; i < kDbSections.size(); ++i) {
        std::fill_n(records_.get() + kSectionStarts[i], filled_[i], DatabaseRecord{});
        filled_[i] = 0;
    }
    // The bytes the program was built with have their records made already.
    if (built_ && bytes == built_->file) {
        compact_ = built_;
        buffer_.reset();
        writable_ = nullptr;
        text_ = built_->text.data();
        dataLength_ = built_->text.size();
        return true;
    }
    compact_ = nullptr;
    std::string converted;
    std::string_view text = DecodeExternalText(bytes, converted);
    // The file's last character never belongs to a record: a well-formed file
    // ends with a line break. The text is UTF-8 now, so the last character
    // starts at the last byte that does not continue a sequence.
    size_t last = text.size();
    if (last > 0) --last;
    while (last > 0 && (static_cast<unsigned char>(text[last]) & 0xC0) == 0x80) --last;
    text = text.substr(0, last);
    // Texts are zero-terminated in the buffer, so a zero byte ends the data.
    dataLength_ = std::min(text.size(), text.find('\0'));
    // Text that was not converted is parsed where it was read (the reader
    // leaves room for sixteen terminators behind the file); anything else is copied once.
    char* start = nullptr;
    if (owned && text.data() != converted.data()) {
        buffer_ = std::move(owned);
        start = buffer_.get() + (text.data() - bytes.data());
    } else {
        buffer_.reset(new char[dataLength_ + 16]);
        start = buffer_.get();
        std::copy_n(text.data(), dataLength_, start);
    }
    std::fill_n(start + dataLength_, 16, '\0');
    text_ = writable_ = start;
    return true;
}

std::optional<size_t> CReadDatabase::FindSection(std::string_view header) {
    const std::string_view data(text_, text_ ? dataLength_ : 0);
    if (header.empty()) return data.empty() ? std::nullopt : std::optional<size_t>(0);
    const char lead = header.front();
    const bool leadHasCase = (lead >= 'a' && lead <= 'z') || (lead >= 'A' && lead <= 'Z');
    // Headers start with '[', which has no case: the search then goes from
    // one '[' to the next instead of visiting every line.
    size_t lineStart = 0;
    while (lineStart < data.size()) {
        if (EqualsIgnoreAsciiCase(data.substr(lineStart, header.size()), header)) return lineStart;
        size_t next = lineStart;
        if (leadHasCase) {
            next = data.find('\n', lineStart);
        } else {
            do next = data.find(lead, next + 1);
            while (next != std::string_view::npos && data[next - 1] != '\n');
            if (next != std::string_view::npos) --next;  // the line feed before it
        }
        if (next == std::string_view::npos) break;
        lineStart = next + 1;
    }
    return std::nullopt;
}

size_t CReadDatabase::SkipLine(size_t pos) {
    const void* feed = std::memchr(text_ + pos, '\n', dataLength_ - pos);
    if (!feed) return dataLength_;
    return static_cast<size_t>(static_cast<const char*>(feed) - text_) + 1;
}

size_t CReadDatabase::SkipCommentLines(size_t pos) {
    while (pos < dataLength_ && IsCommentLead(text_[pos])) pos = SkipLine(pos);
    return pos;
}

bool CReadDatabase::ReadRecord(size_t& pos, DatabaseRecord& record) {
    char* const data = writable_;
    size_t p = pos;
    DatabaseRecord read;
    // The data holds no zero byte before dataLength_ and is zero-terminated
    // after it, so the search stops at a separator or at the end of the data.
    for (size_t field = 0; field < 3; ++field) {
        read.fields[field] = data + p;
        p = FieldEnd(data, p);
        if (p >= dataLength_ || data[p] != '\t') return false;
        data[p++] = '\0';
        ++fieldsRead_;
    }
    read.fields[3] = data + p;
    p = FieldEnd(data, p);
    // A fifth field, or a line feed without its carriage return, is malformed.
    if (p < dataLength_ && data[p] != '\r') return false;
    if (p < dataLength_) data[p++] = '\0';
    record = read;
    pos = p;
    return true;
}

bool CReadDatabase::FailSection(const char* header, size_t pos) {
    // The line is counted only here: a file that reads cleanly never needs it.
    const int line = CountLineFeeds(std::string_view(text_, pos));
    errorText_ = std::string(TruncateUtf8(Format(kBadSection, header, line + 1, fieldsRead_), kErrorTextChars));
    return false;
}

std::span<DatabaseRecord> CReadDatabase::Entries(DbSection section) {
    const auto i = static_cast<size_t>(section);
    return {records_.get() + kSectionStarts[i], kDbSections[i].capacity};
}

void CReadDatabase::TakeBuiltSection(DbSection section) {
    const std::span<DatabaseRecord> table = Entries(section);
    const std::span<const uint32_t> fields = compact_->fields[static_cast<size_t>(section)];
    const char* const text = compact_->text.data();
    size_t entry = 1;
    for (size_t at = 0; at + 4 <= fields.size() && entry < table.size(); at += 4, ++entry)
        table[entry].fields = {text + fields[at], text + fields[at + 1], text + fields[at + 2], text + fields[at + 3]};
    filled_[static_cast<size_t>(section)] = entry;
}

bool CReadDatabase::ReadSection(DbSection section) {
    const DbSectionInfo& info = kDbSections[static_cast<size_t>(section)];
    const std::span<DatabaseRecord> table = Entries(section);
    size_t& filled = filled_[static_cast<size_t>(section)];
    std::fill_n(table.begin(), filled, DatabaseRecord{});
    table[0].fields = {kDbUnknown, kDbUnknown, kDbUnknown, kDbUnknown};
    filled = 1;
    fieldsRead_ = 0;
    if (compact_) {
        TakeBuiltSection(section);
        return true;
    }

    const std::optional<size_t> header = FindSection(info.header);
    const size_t headerEnd = header ? std::string_view(text_, dataLength_).find('\n', *header) : std::string_view::npos;
    if (headerEnd == std::string_view::npos) {
        errorText_ = std::string(TruncateUtf8(Format(kNoSection, info.header), kErrorTextChars));
        return false;
    }
    size_t pos = headerEnd + 1;
    size_t entry = 1;
    while (entry < info.capacity && pos < dataLength_) {
        const char lead = text_[pos];
        if (lead == '[') return true;
        if (IsCommentLead(lead)) {
            pos = SkipLine(pos);
            continue;
        }
        fieldsRead_ = 0;
        if (!ReadRecord(pos, table[entry])) return FailSection(info.header, pos);
        filled = ++entry;
        while (pos < dataLength_ && (text_[pos] == '\r' || text_[pos] == '\n' || text_[pos] == ' ')) ++pos;
    }
    // Comments after a full section are not records: only a further record line overflows it.
    pos = SkipCommentLines(pos);
    if (pos >= dataLength_ || text_[pos] == '[') return true;
    return FailSection(info.header, pos);
}

std::span<const DatabaseRecord> CReadDatabase::Table(DbSection section) const {
    const auto i = static_cast<size_t>(section);
    return {records_.get() + kSectionStarts[i], kDbSections[i].capacity};
}

size_t CReadDatabase::FindFourCharKey(DbSection section, std::string_view key) const {
    const std::span<const DatabaseRecord> table = Table(section);
    for (size_t i = 1; i < table.size() && table[i].Filled(); ++i) {
        if (FirstFourMatch(table[i].fields[0], key)) return i;
    }
    return 0;
}

size_t CReadDatabase::FindVideoCodec(std::string_view fourcc) const {
    return FindFourCharKey(DbSection::kVideoCodecs, fourcc);
}

size_t CReadDatabase::FindFtyp(std::string_view brand) const { return FindFourCharKey(DbSection::kFtyps, brand); }

size_t CReadDatabase::FindAudioFormat(std::string_view key, std::string& out) const {
    constexpr std::string_view kPrefix = "WAVE_FORMAT_";
    out = key;
    const std::span<const DatabaseRecord> table = Table(DbSection::kAudioCodecs);
    for (size_t i = 1; i < table.size(); ++i) {
        if (!table[i].Filled() || !EqualsIgnoreAsciiCase(table[i].Field(1), key)) continue;
        std::string name(table[i].Field(2));
        if (name.starts_with(kPrefix)) {
            name.erase(0, kPrefix.size());
            std::transform(name.begin(), name.end(), name.begin(),
                           [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        }
        out += " (" + name + ")";
        return i;
    }
    out += N_("(не знаю)");
    return 0;
}

bool CReadDatabase::FindGuidName(std::string_view key, TextOut name, TextOut second, TextOut third) const {
    const std::span<const DatabaseRecord> table = Table(DbSection::kGuids);
    for (size_t i = 1; i < table.size() && table[i].Filled(); ++i) {
        if (!EqualsIgnoreAsciiCase(table[i].Field(1), key)) continue;
        const std::array<std::pair<TextOut, int>, 3> outputs = {{{name, 3}, {second, 2}, {third, 4}}};
        for (const auto& [out, field] : outputs) {
            if (out.text && out.size > 0) *out.text = Truncated(table[i].Field(field), out.size);
        }
        return true;
    }
    return false;
}

std::string CReadDatabase::DescribeHresult(size_t size, uint32_t code) const {
    const std::string codeText = Format("0x%08x", code);
    std::string_view message = N_("[не знаю]");
    for (const DatabaseRecord& record : Table(DbSection::kGuids)) {
        if (record.Field(1).empty()) break;
        if (EqualsIgnoreAsciiCase(record.Field(1), codeText)) {
            message = record.Field(2);
            break;
        }
    }
    const std::string text = std::string(TruncateUtf8(codeText, size > 3 ? size - 3 : 0)) + ": " + std::string(message);
    return Truncated(text, size);
}

std::optional<std::string_view> CReadDatabase::MapUserDataName(std::span<const std::string> userData) const {
    const std::span<const DatabaseRecord> table = Table(DbSection::kUserDataMapping);
    for (size_t i = 1; i < table.size() && table[i].Filled(); ++i) {
        const std::string_view pattern = table[i].Field(2);
        // An empty pattern would claim every stream that has any user data.
        if (pattern.empty()) continue;
        for (const std::string& text : userData) {
            if (text.find(pattern) != std::string::npos) return table[i].Field(3);
        }
    }
    return std::nullopt;
}

namespace {

struct ListingDefinition {
    DbSection section;
    const char* title;
    std::array<const char*, 3> columns;
};

constexpr ListingDefinition kVideoListing = {
    DbSection::kVideoCodecs, N_("ВИДЕО: Известные форматы сжатия "), {"FourCC", N_("Кодек"), N_("Автор ")}};
constexpr ListingDefinition kAudioListing = {
    DbSection::kAudioCodecs, N_("ЗВУК: Известные форматы сжатия  "), {N_("Число"), "wFormatTag", N_("Описание   ")}};

DatabaseListing MakeListing(const CReadDatabase& db, const ListingDefinition& definition) {
    DatabaseListing listing{definition.title, definition.columns, {}};
    const std::span<const DatabaseRecord> table = db.Table(definition.section);
    for (size_t i = 1; i < table.size() && !table[i].Field(1).empty(); ++i) {
        listing.rows.push_back({table[i].Field(1), table[i].Field(2), table[i].Field(3)});
    }
    return listing;
}

}  // namespace

DatabaseListing ListVideoCodecs(const CReadDatabase& db) { return MakeListing(db, kVideoListing); }
DatabaseListing ListAudioFormats(const CReadDatabase& db) { return MakeListing(db, kAudioListing); }

}  // namespace torvo
