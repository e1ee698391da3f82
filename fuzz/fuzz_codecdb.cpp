// Any bytes as a codec database: loading and every lookup must stay in bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codecdb/ReadDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    torvo::CReadDatabase db;
    if (!db.LoadBytes(bytes, "fuzz.dat")) return 0;
    // Keys taken from the input so that matches happen.
    const std::string_view key = bytes.substr(0, 8);
    std::string out, name, second, third;
    db.FindVideoCodec(key);
    db.FindFtyp(key);
    db.FindAudioFormat(key, out);
    db.FindGuidName(key, {&name, 16}, {&second, 2}, {&third, 1});
    db.DescribeHresult(size % 40, static_cast<uint32_t>(size));
    const std::vector<std::string> userData = {std::string(bytes.substr(size / 2))};
    db.MapUserDataName(userData);
    ListVideoCodecs(db);
    ListAudioFormats(db);
    return 0;
}
