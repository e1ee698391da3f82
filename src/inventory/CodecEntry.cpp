#include "inventory/CodecEntry.h"
#include "base/Translate.h"

#include <cstdlib>
#include <new>

namespace torvo {

const std::array<const char*, kVersionFieldCount> kVersionStringNames = {
    "CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright", "OriginalFileName",
    "ProductName", "ProductVersion", "Comments", "LegalTrademarks", "PrivateBuild", "SpecialBuild"};
const std::array<const char*, kVersionFieldCount> kVersionLabels = {
    N_("Имя компании"), N_("Описание файла  "), N_("Версия файла"), N_("Внутренее имя"), N_("Авторские права"), N_("Исходн. имя файла"),
    N_("Имя продукта"), N_("Версия продукта"), N_("Ремарки "), N_("Торговые марки  "), N_("Приват.сборка"), N_("Спец. сборка ")};

const char* KindLabel(int32_t kind) {
    static constexpr const char* kLabels[] = {"-", "ACM", "VFW", "DSH", "DMO", " ¤ ", "REND"};
    return kind >= 0 && kind < 7 ? kLabels[kind] : "-";
}

void CodecInventory::FreeDeleter::operator()(CodecEntry* p) const { std::free(p); }

CodecInventory::CodecInventory() {
    // One zero-filled block for the whole table: the pages are only touched
    // as entries are filled.
    void* block = std::calloc(kInventoryCapacity, sizeof(CodecEntry));
    if (!block) throw std::bad_alloc();
    entries_.reset(static_cast<CodecEntry*>(block));
}

void CodecInventory::ClearEntry(int i) {
    if (i >= 0 && i < kCapacity) std::memset(static_cast<void*>(&entries_[static_cast<size_t>(i)]), 0, sizeof(CodecEntry));
}

std::string_view CodecInventory::AcmWrapperFileName() const { return FileNamePart(acmWrapperPath.View()); }

std::string_view FileNamePart(std::string_view path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace torvo
