// The report's JSON is written without a document; what it writes must be
// what the JSON library writes for the same values, byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "base/JsonText.h"

namespace torvo {
namespace {

std::string LibraryDump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TEST(JsonText, StringsAreEscapedAndRepairedAsTheLibraryDoes) {
    // Random bytes, biased to the edges of UTF-8: escapes, cut and overlong
    // sequences, surrogates, code points beyond U+10FFFF.
    const unsigned char pool[] = {'a', '"', '\\', 0x00, 0x01, 0x08, 0x09, 0x0A, 0x0C, 0x0D, 0x1F, 0x7F, 0x80, 0x9F,
                                  0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::string text(random() % 12, ' ');
        for (char& c : text) c = static_cast<char>(pool[random() % sizeof pool]);
        ASSERT_EQ(JsonString(text), LibraryDump(text)) << testing::PrintToString(text);
    }
    EXPECT_EQ(JsonString("Кодек «MPEG-4» 𝄞"), LibraryDump("Кодек «MPEG-4» 𝄞"));
}

TEST(JsonText, NumbersAreWrittenAsTheLibraryWritesThem) {
    // Report values are milliseconds as seconds and rates rounded to 1/1000.
    for (int64_t k = 0; k < 3'000'000; k += k < 100'000 ? 1 : 97) {
        std::string out;
        AppendJsonNumber(out, static_cast<double>(k) / 1000.0);
        ASSERT_EQ(out, LibraryDump(static_cast<double>(k) / 1000.0)) << k;
    }
    for (const double v : {29.97, 23.976, 1e-5, 1.5e20, 123456789012345.0, 1e15, 1e16, -0.0, -2.5, 5e-324}) {
        std::string out;
        AppendJsonNumber(out, v);
        EXPECT_EQ(out, LibraryDump(v)) << v;
    }
    const std::string object = CJsonObject()
                                   .AddOrNull("n", std::optional<int>())
                                   .AddOrNull("i", std::optional<int64_t>(-3))
                                   .Add("u", uint64_t{18446744073709551615u})
                                   .Add("b", false)
                                   .TextOrNull("t", "")
                                   .Text();
    EXPECT_EQ(object, R"({"n":null,"i":-3,"u":18446744073709551615,"b":false,"t":null})");
}

}  // namespace
}  // namespace torvo
