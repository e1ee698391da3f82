#include "base/SizeText.h"

#include <gtest/gtest.h>

namespace torvo {
namespace {

constexpr uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024;

TEST(SizeText, ByteCountGroupsThreeDigits) {
    EXPECT_EQ(ByteCountText(0), "0");
    EXPECT_EQ(ByteCountText(999), "999");
    EXPECT_EQ(ByteCountText(1000), "1,000");
    EXPECT_EQ(ByteCountText(1536), "1,536");
    EXPECT_EQ(ByteCountText(1000001), "1,000,001");
    EXPECT_EQ(ByteCountText(18446744073709551615ull), "18,446,744,073,709,551,615");
}

TEST(SizeText, UnitsTakeTwoOneOrNoDecimals) {
    EXPECT_EQ(KibText(1023), "");
    EXPECT_EQ(KibText(1536), "1.50 KБ");
    EXPECT_EQ(KibText(10 * KiB - 1), "9.99 KБ");  // truncated, never rounded up
    EXPECT_EQ(KibText(10 * KiB + 1000), "10.9 KБ");
    EXPECT_EQ(KibText(150 * KiB), "150 KБ");
    EXPECT_EQ(MibText(150 * MiB), "150 MБ");
    EXPECT_EQ(MibText(1500 * MiB + 5), "1,500 MБ");
    EXPECT_EQ(GibText(GiB - 1), "");
    EXPECT_EQ(GibText(5 * GiB + GiB / 4), "5.25 ГБ");
    EXPECT_EQ(GibText(1234 * GiB), "1,234 ГБ");
}

TEST(SizeText, FullTextShowsEveryUnitUpToTheLargest) {
    EXPECT_EQ(FullSizeText(0), "0 байт ");
    EXPECT_EQ(FullSizeText(500), "500 байт ");
    EXPECT_EQ(FullSizeText(1536), "1.50 KБ (1,536 байт )");
    EXPECT_EQ(FullSizeText(150 * MiB), "150 MБ (153,600 KБ / 157,286,400 байт )");
    EXPECT_EQ(FullSizeText(2 * GiB), "2.00 ГБ (2,048 MБ / 2,097,152 KБ / 2,147,483,648 байт )");
    EXPECT_EQ(LargestUnitSizeText(3 * MiB), "3.00 MБ");
    EXPECT_EQ(LargestUnitSizeText(12), "12 байт");
}

}  // namespace
}  // namespace torvo
