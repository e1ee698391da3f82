#include "export/ExportWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Text.h"
#include "codecdb/TextEncoding.h"
#include "export/Template.h"
#include "base/Translate.h"

namespace torvo {
namespace {

constexpr const char* kSwitchedOff = N_("\n\nЭкспорт пришлось отключить          \n\n");
constexpr const char* kLoaderCaption = N_("Загрузчик файла формата  ");
constexpr const char* kNoExportCaption = N_("Нет экспорта");

std::string SystemText(int error) { return std::strerror(error); }

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

std::string CExportWriter::TargetName(const std::string& mediaPath) const {
    return ExportTargetName(settings_.mode, mediaPath, settings_.path, settings_.file);
}

ExportOutcome CExportWriter::Fail(UserMessage message, bool withInfo) {
    settings_.enabled = false;
    settings_.loadedTemplate.clear();
    settings_.templateLoaded = false;
    if (save_) save_();
    ExportOutcome outcome{false, {std::move(message)}};
    if (withInfo) outcome.messages.push_back({"FYI", N_("Режим экспорта сейчас снова отключен.     ")});
    return outcome;
}

ExportOutcome CExportWriter::LoadTemplate() {
    const std::string& name = settings_.templateName;
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Fail({kLoaderCaption, Format(N_("Не удалось открыть файл формата   %s:"), name.c_str()) + kSwitchedOff +
                                         SystemText(error)});
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return Fail({kLoaderCaption,
                     Format(N_("Файл формата неверен       %s:"), name.c_str()) + kSwitchedOff + SystemText(error)});
    }
    if (st.st_size == 0) {
        ::close(fd);
        return Fail({kLoaderCaption, Format(N_("Файл формата пустой      %s:"), name.c_str()) + kSwitchedOff});
    }
    if (st.st_size > static_cast<off_t>(kExportBufferBytes)) {
        ::close(fd);
        return Fail({kNoExportCaption,
                     Format(N_("Файл экспорта %s слишком велик  (> %dKБ)"), name.c_str(), 100) + kSwitchedOff});
    }
    std::string bytes(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    auto tpl = TemplateFromFileBytes(DecodeExternalText(bytes));
    if (!tpl) return Fail({kNoExportCaption, std::string(N_("Ошибка чтения файла формата  ")) + kSwitchedOff + SystemText(error)});
    settings_.loadedTemplate = std::move(*tpl);
    settings_.templateLoaded = true;
    return {};
}

bool CExportWriter::WriteTarget(const std::string& target, const std::string& mediaPath, const std::string& header,
                                const std::string& record, std::string& error) {
    // The media file is never written, whatever the settings make of its name.
    if (SameFile(target, mediaPath)) {
        error = std::strerror(EEXIST);
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (settings_.mode == 3) flags |= O_APPEND;
    else flags |= settings_.overwriteOk ? O_TRUNC : O_EXCL;
    const int fd = ::open(target.c_str(), flags, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = WriteAll(fd, header) && WriteAll(fd, record);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) error = std::strerror(ok ? errno : writeError);
    return ok && closed;
}

ExportOutcome CExportWriter::ExportFile(const CExport& fields, const std::string& mediaPath) {
    if (!settings_.enabled) return {};
    std::string_view tpl;
    switch (settings_.formatSrc) {
        case 0: tpl = fields.KeyHeader(); break;
        case 1: tpl = fields.DefaultTemplate(); break;
        case 2:
            if (!settings_.templateLoaded) {
                ExportOutcome loaded = LoadTemplate();
                if (!loaded.ok) return loaded;
            }
            tpl = settings_.loadedTemplate;
            break;
        default: break;
    }
    std::string record = SubstituteTemplate(tpl, fields);
    const std::string target = TargetName(mediaPath);

    // A new table file starts with its column names. A per-file table export
    // carries them too, so that every such file reads on its own.
    std::string header;
    struct stat st {};
    if (settings_.formatSrc == 0 && ::stat(target.c_str(), &st) != 0) header = fields.NameHeader();
    if (settings_.windows1251) {
        header = Utf8ToCp1251(header);
        record = Utf8ToCp1251(record);
    }
    std::string error;
    if (target.empty() || !WriteTarget(target, mediaPath, header, record, error))
        return Fail({kNoExportCaption, Format(N_("Ошибка при экспорте в файл   %s:\n\n"), target.c_str()) + error}, true);
    return {};
}

}  // namespace torvo
