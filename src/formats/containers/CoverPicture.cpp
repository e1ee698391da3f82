#include "formats/containers/CoverPicture.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace torvo {

namespace {

// JPEG markers walked before the frame header; an Exif block comes first in
// camera pictures, a few tables after it.
constexpr int kMaxJpegMarkers = 256;

bool ReadJpeg(ByteView bytes, AttachedPicture& out) {
    out.codec = "mjpeg";
    uint64_t pos = 2;
    for (int n = 0; n < kMaxJpegMarkers && bytes.Has(pos, 4); ++n) {
        if (bytes.U8(pos) != 0xFF) return true;
        const uint8_t marker = bytes.U8(pos + 1);
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        // Markers without a length: TEM and the restart markers.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return true;  // end of image, start of scan: no frame header
        // SOF0-SOF15 but DHT (C4), JPG (C8) and DAC (CC): precision, height, width.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (!bytes.Has(pos + 4, 5)) return true;
            out.height = bytes.Be16(pos + 5);
            out.width = bytes.Be16(pos + 7);
            return true;
        }
        const uint16_t length = bytes.Be16(pos + 2);
        if (length < 2) return true;
        pos += 2u + length;
    }
    return true;
}

}  // namespace

bool ReadPictureHeader(ByteView bytes, AttachedPicture& out) {
    out = AttachedPicture{};
    if (bytes.Equals(0, "\x89PNG\r\n\x1A\n")) {
        out.codec = "png";
        // The first chunk is IHDR: width and height, 32 bits each.
        if (bytes.Equals(12, "IHDR") && bytes.Has(16, 8)) {
            out.width = static_cast<int32_t>(std::min<uint32_t>(bytes.Be32(16), INT32_MAX));
            out.height = static_cast<int32_t>(std::min<uint32_t>(bytes.Be32(20), INT32_MAX));
        }
    } else if (bytes.Has(0, 3) && bytes.U8(0) == 0xFF && bytes.U8(1) == 0xD8 && bytes.U8(2) == 0xFF) {
        ReadJpeg(bytes, out);
    } else if (bytes.Equals(0, "GIF87a") || bytes.Equals(0, "GIF89a")) {
        out.codec = "gif";
        if (bytes.Has(6, 4)) {
            out.width = bytes.Le16(6);
            out.height = bytes.Le16(8);
        }
    } else if (bytes.Equals(0, "BM") && bytes.Has(14, 4) && bytes.Le32(14) >= 40) {
        // BITMAPINFOHEADER: a negative height is a picture stored top down.
        out.codec = "bmp";
        if (bytes.Has(18, 8)) {
            const auto height = static_cast<int32_t>(bytes.Le32(22));
            out.width = static_cast<int32_t>(std::min<uint32_t>(bytes.Le32(18), INT32_MAX));
            out.height = height == INT32_MIN ? 0 : height < 0 ? -height : height;
        }
    } else {
        return false;
    }
    if (out.width <= 0 || out.height <= 0) out.width = out.height = 0;
    return true;
}

void AddAttachedPicture(ByteView bytes, std::vector<AttachedPicture>& pictures) {
    if (pictures.size() >= kMaxAttachedPictures) return;
    AttachedPicture picture;
    ReadPictureHeader(bytes, picture);
    pictures.push_back(std::move(picture));
}

}  // namespace torvo
