// The picture header reader behind cover streams: each kind's size from its
// own header, and a header cut short or odd keeps the kind without a size.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "formats/containers/CoverPicture.h"

namespace torvo {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> SampleBytes(const std::string& name) {
    std::ifstream in(test::SamplePath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CoverPicture, KindAndSizeFromThePicturesOwnHeader) {
    const std::vector<uint8_t> png = SampleBytes("image.png"), jpeg = SampleBytes("image.jpg"), gif = SampleBytes("image.gif");
    // A top-down BMP states a negative height.
    std::vector<uint8_t> bmp = Bytes(std::string("BM") + std::string(12, '\0'));
    for (const uint32_t v : {40u, 33u, uint32_t(-21)})
        for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<uint8_t>(v >> (8 * i)));
    // A JPEG whose markers end before a frame header.
    const std::vector<uint8_t> jpegWithoutFrame = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xDA};
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t keep;  // bytes of it read, 0 for all
        bool read;
        std::string codec;
        int width, height;
    } const cases[] = {
        {"png", png, 0, true, "png", 160, 120},
        {"jpeg", jpeg, 0, true, "mjpeg", 160, 120},
        {"gif", gif, 0, true, "gif", 160, 120},
        {"bmp", bmp, 0, true, "bmp", 33, 21},
        {"png cut in its IHDR", png, 20, true, "png", 0, 0},
        {"jpeg cut before its frame header", jpeg, 30, true, "mjpeg", 0, 0},
        {"jpeg without a frame header", jpegWithoutFrame, 0, true, "mjpeg", 0, 0},
        {"not a picture", Bytes("RIFF....WAVEfmt "), 0, false, "", 0, 0},
        {"nothing", {}, 0, false, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AttachedPicture picture;
        const size_t size = c.keep ? std::min(c.keep, c.bytes.size()) : c.bytes.size();
        EXPECT_EQ(ReadPictureHeader(ByteView(c.bytes.data(), size), picture), c.read);
        EXPECT_EQ(picture.codec, c.codec);
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
    }
    // The list holds at most kMaxAttachedPictures; what is not read counts with its kind unknown.
    std::vector<AttachedPicture> pictures;
    for (size_t i = 0; i < kMaxAttachedPictures + 3; ++i) AddAttachedPicture(ByteView(), pictures);
    EXPECT_EQ(pictures.size(), kMaxAttachedPictures);
    EXPECT_EQ(pictures.front().codec, "");
}

}  // namespace
}  // namespace torvo
