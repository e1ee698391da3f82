#include "base/SizeText.h"

#include "base/Text.h"
#include "base/Translate.h"

namespace torvo {
namespace {
// M and K are Latin letters, Г and Б Cyrillic ones.
constexpr const char* kUnitSuffix[] = {"", N_(" KБ"), N_(" MБ"), N_(" ГБ")};
}  // namespace

std::string ByteCountText(uint64_t bytes) {
    std::string digits = std::to_string(bytes);
    for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

std::string UnitSizeText(uint64_t bytes, int power) {
    if (power < 1 || power > 3) return {};
    const uint64_t unit = uint64_t(1) << (10 * power);
    const uint64_t whole = bytes / unit;
    const uint64_t rest = bytes % unit;
    if (whole == 0) return {};
    if (whole < 10)
        return Format("%llu.%02llu", static_cast<unsigned long long>(whole),
                      static_cast<unsigned long long>(rest * 100 / unit)) + kUnitSuffix[power];
    if (whole < 100)
        return Format("%llu.%1llu", static_cast<unsigned long long>(whole),
                      static_cast<unsigned long long>(rest * 10 / unit)) + kUnitSuffix[power];
    return ByteCountText(whole) + kUnitSuffix[power];
}

std::string LargestUnitSizeText(uint64_t bytes) {
    for (int power = 3; power >= 1; --power)
        if (std::string text = UnitSizeText(bytes, power); !text.empty()) return text;
    return ByteCountText(bytes) + N_(" байт");
}

std::string FullSizeText(uint64_t bytes) {
    const std::string count = ByteCountText(bytes);
    if (bytes >= (uint64_t(1) << 30))
        return GibText(bytes) + " (" + MibText(bytes) + " / " + KibText(bytes) + " / " + count + N_(" байт )");
    if (bytes >= (uint64_t(1) << 20)) return MibText(bytes) + " (" + KibText(bytes) + " / " + count + N_(" байт )");
    if (bytes >= 1024) return KibText(bytes) + " (" + count + N_(" байт )");
    return count + N_(" байт ");
}

}  // namespace torvo
