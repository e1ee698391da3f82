// The per-user key-value store behind the preferences. The core only sees
// this interface; the desktop program stores through QSettings, tests in memory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace torvo {

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    // Nothing when the value is absent or is not of the asked type.
    virtual std::optional<int32_t> ReadInt(std::string_view section, std::string_view name) = 0;
    virtual std::optional<std::string> ReadText(std::string_view section, std::string_view name) = 0;
    // Each returns whether the value was stored.
    virtual bool WriteInt(std::string_view section, std::string_view name, int32_t value) = 0;
    virtual bool WriteText(std::string_view section, std::string_view name, std::string_view value) = 0;
    // Removes everything the program stored.
    virtual bool Clear() = 0;
};

// Values kept in memory only; it counts writes so that callers can check
// that nothing was written.
class CMemorySettingsStore : public ISettingsStore {
public:
    std::optional<int32_t> ReadInt(std::string_view section, std::string_view name) override;
    std::optional<std::string> ReadText(std::string_view section, std::string_view name) override;
    bool WriteInt(std::string_view section, std::string_view name, int32_t value) override;
    bool WriteText(std::string_view section, std::string_view name, std::string_view value) override;
    bool Clear() override;

    size_t WriteCount() const { return writes_; }
    bool Empty() const { return values_.empty(); }
    bool Contains(std::string_view section, std::string_view name) const;
    // Makes every later write fail, as a full disk or a read-only file would.
    void FailWrites(bool fail) { failWrites_ = fail; }

private:
    using Value = std::variant<int32_t, std::string>;
    static std::string Key(std::string_view section, std::string_view name);
    bool Write(std::string_view section, std::string_view name, Value value);

    std::map<std::string, Value> values_;
    size_t writes_ = 0;
    bool failWrites_ = false;
};

}  // namespace torvo
