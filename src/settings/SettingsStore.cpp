#include "settings/SettingsStore.h"

namespace torvo {

std::string CMemorySettingsStore::Key(std::string_view section, std::string_view name) {
    return std::string(section) + '/' + std::string(name);
}

std::optional<int32_t> CMemorySettingsStore::ReadInt(std::string_view section, std::string_view name) {
    const auto it = values_.find(Key(section, name));
    if (it == values_.end() || !std::holds_alternative<int32_t>(it->second)) return std::nullopt;
    return std::get<int32_t>(it->second);
}

std::optional<std::string> CMemorySettingsStore::ReadText(std::string_view section, std::string_view name) {
    const auto it = values_.find(Key(section, name));
    if (it == values_.end() || !std::holds_alternative<std::string>(it->second)) return std::nullopt;
    return std::get<std::string>(it->second);
}

bool CMemorySettingsStore::Write(std::string_view section, std::string_view name, Value value) {
    ++writes_;
    if (failWrites_) return false;
    values_[Key(section, name)] = std::move(value);
    return true;
}

bool CMemorySettingsStore::WriteInt(std::string_view section, std::string_view name, int32_t value) {
    return Write(section, name, value);
}

bool CMemorySettingsStore::WriteText(std::string_view section, std::string_view name, std::string_view value) {
    return Write(section, name, std::string(value));
}

bool CMemorySettingsStore::Clear() {
    values_.clear();
    return true;
}

bool CMemorySettingsStore::Contains(std::string_view section, std::string_view name) const {
    return values_.count(Key(section, name)) > 0;
}

}  // namespace torvo
