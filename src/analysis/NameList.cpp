#include "analysis/NameList.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <set>
#include <string_view>
#include <utility>

#include "analysis/Identify.h"
#include "analysis/MpegContent.h"
#include "base/FileCache.h"
#include "formats/containers/FormatRegistry.h"
#include "formats/containers/SupRIFX.h"
#include "formats/mpeg/SupDV.h"
#include "base/Translate.h"

namespace torvo {
namespace {

// PATH_MAX counts the terminating NUL.
constexpr size_t kMaxNameBytes = PATH_MAX - 1;

// The identification stages of the analysis, up to the format: the signature
// table, the transport stream test, big-endian WAVE, then the content
// analysers (MPEG system and elementary streams, raw DV, elementary audio).
const FormatDescriptor* IdentifyFormat(CFileCache& reader, AnalysisRecords& records) {
    FileIdentity identity;
    if (const SignatureRow* row = IdentifyBySignature(reader, identity)) return FormatForType(row->typeId);
    const ByteView header = reader.Header();
    DvInfo dv;
    if (IsTransportStream(header) && !CSupDV().Analyse(dv, header)) return FormatById("mpeg-ts");
    if (IsRifxWave(header)) return FormatById("rifx");
    records.Reset();
    CMpegContentAnalyser().Analyse(reader, identity, records);
    const VideoInfo& video = records.video;
    SettleFileType(identity, video.dv ? (video.dvSmpte314M ? kTypeDvSmpte314M : kTypeDvIec61834) : kTypeUnknown);
    return FormatForType(identity.typeId);
}

bool IsMediaFile(const std::string& path, AnalysisRecords& records) {
    CFileCache reader;
    return reader.Open(path) && reader.PhysicalSize() > 0 && IdentifyFormat(reader, records) != nullptr;
}

// A folder walk: regular files collected, each folder (by device and inode)
// entered once however many links lead to it.
class CFolderWalk {
public:
    CFolderWalk(ExpandedNames& out, size_t cap) : out_(out), cap_(cap) {}

    // False once the cap was reached.
    bool Walk(const std::filesystem::path& folder, std::vector<std::string>& files) {
        namespace fs = std::filesystem;
        if (!Enter(folder)) return true;
        std::error_code error;
        fs::directory_iterator it(folder, error), end;
        if (error) {
            out_.unreadable.push_back(folder.string() + ": " + error.message());
            return true;
        }
        std::vector<fs::path> folders;
        for (; it != end; it.increment(error)) {
            std::error_code ignored;
            const fs::file_status status = it->status(ignored);  // through symbolic links
            if (fs::is_directory(status)) folders.push_back(it->path());
            else if (fs::is_regular_file(status)) files.push_back(it->path().string());
            if (files.size() >= cap_) return false;
        }
        if (error) out_.unreadable.push_back(folder.string() + ": " + error.message());
        for (const fs::path& inner : folders)
            if (!Walk(inner, files)) return false;
        return true;
    }

private:
    bool Enter(const std::filesystem::path& folder) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0) return true;  // the listing reports why
        return entered_.insert({info.st_dev, info.st_ino}).second;
    }

    ExpandedNames& out_;
    size_t cap_;
    std::set<std::pair<dev_t, ino_t>> entered_;
};

}  // namespace

bool IsMediaFile(const std::string& path) {
    AnalysisRecords records;
    return IsMediaFile(path, records);
}

std::string SkippedFilesText(size_t skipped) { return std::to_string(skipped) + N_(" файл(ов) пропущено: не медиафайлы"); }

std::string NoMediaFilesText(const std::string& folder) { return N_("В папке ") + folder + N_(" нет медиафайлов"); }

std::string ExpansionNotes(const ExpandedNames& expanded) {
    std::string notes;
    for (const std::string& folder : expanded.withoutMedia) notes += NoMediaFilesText(folder) + "\n";
    for (const std::string& folder : expanded.unreadable) notes += N_("Не прочесть папку ") + folder + "\n";
    if (expanded.skipped > 0) notes += SkippedFilesText(expanded.skipped) + "\n";
    if (!notes.empty()) notes.pop_back();
    return notes;
}

NameListRead ReadNameList(std::istream& in, char separator) {
    NameListRead read;
    std::string entry;
    bool overlong = false;
    auto finish = [&] {
        if (separator == '\n' && !entry.empty() && entry.back() == '\r') entry.pop_back();
        if (overlong) ++read.overlong;
        else if (!entry.empty()) read.names.push_back(entry);
        entry.clear();
        overlong = false;
    };
    std::array<char, 65536> block;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<size_t>(in.gcount());
        for (size_t i = 0; i < got; ++i) {
            const char c = block[i];
            if (c == separator) {
                finish();
            } else if (entry.size() <= kMaxNameBytes) {
                // One byte more than a path may hold, for a CR the end drops.
                entry.push_back(c);
            } else {
                overlong = true;
            }
        }
    }
    if (!entry.empty() || overlong) finish();
    return read;
}

ExpandedNames ExpandFolders(const std::vector<std::string>& names, size_t limit) {
    namespace fs = std::filesystem;
    ExpandedNames out;
    auto take = [&out, limit](std::string name) {
        if (out.names.size() < limit) out.names.push_back(std::move(name));
        else ++out.leftOut;
    };
    AnalysisRecords records;
    const size_t collectCap = limit > (SIZE_MAX - 1000) / 4 ? SIZE_MAX : limit * 4 + 1000;
    for (const std::string& name : names) {
        std::error_code error;
        if (!fs::is_directory(name, error)) {
            take(name);
            continue;
        }
        std::vector<std::string> inside;
        if (!CFolderWalk(out, collectCap).Walk(name, inside)) out.searchCut = true;
        std::sort(inside.begin(), inside.end());
        size_t media = 0;
        for (std::string& file : inside) {
            if (!IsMediaFile(file, records)) {
                ++out.skipped;
                continue;
            }
            ++media;
            take(std::move(file));
        }
        if (media == 0) out.withoutMedia.push_back(name);
    }
    return out;
}

}  // namespace torvo
