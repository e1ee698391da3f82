#include "analysis/Driver.h"

#include <cstring>

#include "analysis/FileCache.h"
#include "analysis/SizeText.h"
#include "analysis/Text.h"

namespace torvo {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool CAnalysisDriver::AnalyseFile(const std::string& path) {
    display_.Reset();
    records_.Reset();
    ContainerInfo& container = records_.container;
    identity_ = {};
    message_ = {};

    CFileCache reader;
    if (!reader.Open(path)) {
        message_ = {"Не открыть файл!!",
                    Format("НеМогу открыть файл %s:\n\n", path.c_str()) + std::strerror(reader.LastError())};
        return false;
    }

    const std::string name = FileNameOf(path);
    display_.SetTitle(std::string(kProgramTitle) + ": " + name);
    CExport& fields = display_.Fields();
    fields.SetField("FILE_NAME_WITH_PATH", 0, path);
    fields.SetField("FILE_NAME", 0, name);
    container.fileSize = reader.PhysicalSize();
    display_.FilePanel().Set(Display::kPathCaption, path);
    display_.FilePanel().Set(Display::kSizeCaption, FullSizeText(container.fileSize));
    fields.SetField("FILE_SIZE", 0, ByteCountText(container.fileSize));

    if (container.fileSize == 0) {
        container.typeId = identity_.typeId = kTypeEmpty;
        NotesList& notes = display_.Container();
        notes.Add("Файл пуст. Его размер - ноль байт.      ");
        notes.Add("It is blank, barren and bare - vacant, vacuous, and void.");
        notes.Add("It is a degenerate case.");
        return true;
    }

    IdentifyBySignature(reader, identity_);

    const CdImageInfo cd = reader.CDImageInfo();
    if (cd.isImage) {
        container.cdImage = true;
        container.sectorSize = cd.sectorSize;
        container.baseOffset = reader.BaseOffset();
        display_.Container().Add(Format("Файл-образ CD, sec size = %d", static_cast<int>(cd.sectorSize)));
    }

    if (IsTransportStream(reader.Header())) identity_.layout = StreamLayout::kTransportStream;

    // Files with no signature are recognised by their content, when we can.
    if (identity_.typeId == kTypeUnknown && identity_.layout == StreamLayout::kNone && content_)
        content_->Analyse(reader, identity_, records_);

    SettleFileType(identity_);
    container.typeId = identity_.typeId;
    container.layout = identity_.layout;
    ReportFileType();
    return true;
}

void CAnalysisDriver::ReportFileType() {
    const SignatureRow* row = identity_.row;
    if (!row) return;
    // AVI, MPEG and MP4 describe themselves in their own summaries.
    const int32_t type = identity_.typeId;
    if (type != kTypeAvi && type != kTypeMpeg && type != kTypeMp4) {
        display_.Container().Add(Format("Тип файла: %s", row->description));
        display_.Container().Add(Format("Тип MIME:  %s", row->mime));
    }
    display_.Fields().SetField("CONT_BASETYPE", 0, row->description);
}

}  // namespace torvo
