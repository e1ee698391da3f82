#include "analysis/Identify.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string_view>

#include "TestUtil.h"

namespace torvo {
namespace {

using test::Bytes;

struct Identified {
    FileIdentity identity;
    uint64_t baseOffset = 0;
};

Identified IdentifyBytes(const Bytes& bytes) {
    CFileCache r;
    EXPECT_TRUE(r.AttachMemory(bytes.data(), bytes.size(), true));
    Identified out;
    IdentifyBySignature(r, out.identity);
    out.baseOffset = r.BaseOffset();
    return out;
}

size_t RowIndex(const SignatureRow* row) {
    return row ? static_cast<size_t>(row - SignatureRows().data()) : SIZE_MAX;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(SignatureTable, ShapeAndOrderTheMatcherReliesOn) {
    const auto rows = SignatureRows();
    ASSERT_EQ(rows.size(), 105u);
    // The terminator follows the last row.
    EXPECT_EQ(rows.data()[105].pattern, nullptr);
    EXPECT_EQ(rows.data()[105].typeId, -1);
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_NE(rows[i].pattern, nullptr) << i;
        EXPECT_EQ(rows[i].length == 0, i >= 98) << "only rows 98-104 are decided by content, row " << i;
    }
    // Texts whose trailing blanks are part of the system's wording.
    EXPECT_STREQ(rows[22].description, "Bzip 2 - сжатый файл UNIX  ");
    EXPECT_STREQ(rows[47].description, "Неопределенный файл MP4     ");
    EXPECT_STREQ(rows[94].description, "Рисунок Bitmap (.BMP)      ");
    EXPECT_STREQ(rows[101].description, "Элементный звук AC3 ");
}

TEST(SignatureTable, RowForTypeFindsTheFirstRowOfAType) {
    EXPECT_EQ(RowIndex(RowForType(kTypeUnknown)), 103u);
    EXPECT_STREQ(RowForType(kTypeUnknown)->description, "Не знаю");
    EXPECT_EQ(RowIndex(RowForType(kTypeQuickTime)), 9u);
    EXPECT_EQ(RowIndex(RowForType(kTypeDvIec61834)), 98u);
    EXPECT_EQ(RowIndex(RowForType(kTypeDvSmpte314M)), 99u);
    EXPECT_EQ(RowIndex(RowForType(kTypeAacAdif)), 50u);
    EXPECT_EQ(RowIndex(RowForType(kTypeTransportStream)), 104u);
    EXPECT_EQ(RowForType(kTypeEmpty), nullptr);
    EXPECT_EQ(RowForType(-1), nullptr);
}

TEST(Identify, FirstMatchingRowWins) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view bytes;
        size_t row;
        int32_t type;
    } cases[] = {
        {"RIFF\x10\0\0\0AVI LIST"sv, 0, 2},
        {"RIFF\x10\0\0\0WAVEfmt "sv, 1, 3},
        {"RIFF\x10\0\0\0CDXAfmt "sv, 3, 5},
        {"RIFF\x10\0\0\0XYZWabcd"sv, 4, 6},         // any other RIFF form
        {"FWS6\x01\x02"sv, 18, 21},                   // FWS comes before FWS6
        {"CWS6\x01\x02"sv, 43, 42},
        {"CWS\x01"sv, 45, 42},
        {"\0\0\0\x14" "ftypqt  "sv, 46, 14},
        {"\0\0\0\x14" "ftypisom"sv, 47, 47},
        {"\0\0\0\x08moov\0\0\0\0cmov\0\0\0\0dcomzlib"sv, 7, 15},
        {"\0\0\0\x08moov\0\0\0\0cmov\0\0\0\0dcomxxxx"sv, 8, 16},
        {"\0\0\0\x08moov\0\0\0\0trak"sv, 9, 14},
        {"TTA1xxxx"sv, 81, 72},
        {"TTA2xxxx"sv, 82, 72},
        {"%PDF-1.5\n"sv, 58, 55},
        {"%PDF-1.7\n"sv, 59, 55},
        {"xxxxW\x01u6"sv, 49, 48},                    // '?' needs no 0x3F in the file
        {"xxxxW?u6"sv, 49, 48},
        {"BM\x01\x02\x03\x04\0\0\0\0"sv, 94, 83},
    };
    for (const auto& c : cases) {
        // Filler after the interesting bytes must not change the outcome.
        Bytes bytes(c.bytes.begin(), c.bytes.end());
        bytes.resize(40, 0xEE);
        const Identified got = IdentifyBytes(bytes);
        EXPECT_EQ(RowIndex(got.identity.row), c.row) << c.bytes;
        EXPECT_EQ(got.identity.typeId, c.type) << c.bytes;
    }
}

TEST(Identify, MissingBytesNeverMatch) {
    // "BM" and six bytes: the BMP row needs ten.
    EXPECT_EQ(IdentifyBytes(Text("BMabcd")).identity.row, nullptr);
    // The ISO 9660 row compares at 37657: a shorter file cannot match it.
    Bytes iso(37661, 0);
    std::memcpy(iso.data() + 37657, "CD00", 4);
    EXPECT_EQ(IdentifyBytes(iso).identity.row, nullptr);
    iso.push_back('1');
    EXPECT_EQ(RowIndex(IdentifyBytes(iso).identity.row), 31u);
    EXPECT_EQ(IdentifyBytes({}).identity.row, nullptr);
    EXPECT_EQ(IdentifyBytes(Text("ID3")).identity.row, nullptr);
}

TEST(Identify, Id3v2TagIsSteppedOverOnce) {
    Bytes bytes = {'I', 'D', '3', 3, 0, 0, 0x00, 0x00, 0x20, 0x00};  // synchsafe 4096
    bytes.resize(10 + 4096, 0);
    test::Append(bytes, std::string("RIFF\x20\0\0\0AVI LIST", 16));
    const Identified got = IdentifyBytes(bytes);
    EXPECT_EQ(RowIndex(got.identity.row), 0u);
    EXPECT_EQ(got.baseOffset, 4106u);

    // Synchsafe bytes carry seven bits each: 01 7F is 255, not 383.
    EXPECT_EQ(Id3v2TagSize(ByteView(Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0x01, 0x7F}.data(), 10)), 265u);
    // A second tag after the first is left alone.
    Bytes twice = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    test::Append(twice, {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(IdentifyBytes(twice).baseOffset, 10u);
    // A tag larger than the file leaves an empty logical file.
    const Bytes huge = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'R', 'I', 'F', 'F'};
    const Identified h = IdentifyBytes(huge);
    EXPECT_EQ(h.identity.row, nullptr);
}

// A run of 188-byte transport packets on one packet id with the given continuity counters.
Bytes TransportPackets(std::initializer_list<int> counters, uint8_t flags = 0x10, uint16_t pid = 0x100) {
    Bytes out(1, 0x00);  // the test starts looking at the second byte
    for (int cc : counters) {
        Bytes packet(188, 0xAA);
        packet[0] = 0x47;
        packet[1] = static_cast<uint8_t>(pid >> 8);
        packet[2] = static_cast<uint8_t>(pid);
        packet[3] = static_cast<uint8_t>(flags | (cc & 0x0F));
        out.insert(out.end(), packet.begin(), packet.end());
    }
    out.resize(out.size() + 1024, 0xAA);  // the last 1024 bytes are never examined
    return out;
}

bool PassesTransportTest(const Bytes& b) { return IsTransportStream(ByteView(b.data(), b.size())); }

TEST(TransportStream, FourteenInOrderCountersAreNeeded) {
    EXPECT_TRUE(PassesTransportTest(TransportPackets({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14})));
    EXPECT_FALSE(PassesTransportTest(TransportPackets({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13})));
    // Counters wrap from 15 to 0.
    EXPECT_TRUE(PassesTransportTest(TransportPackets({10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8})));
    // A repeated counter after the seventh packet starts the run again.
    EXPECT_FALSE(PassesTransportTest(TransportPackets({0, 1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2})));
    EXPECT_FALSE(PassesTransportTest(TransportPackets({0, 1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3})));
    EXPECT_TRUE(PassesTransportTest(TransportPackets({0, 1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4})));
    // Counters of other packet ids in between do not break a run.
    Bytes mixed = TransportPackets({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    const Bytes other = TransportPackets({9, 9, 9}, 0x10, 0x200);
    mixed.insert(mixed.begin() + 1 + 188 * 5, other.begin() + 1, other.begin() + 1 + 188 * 3);
    EXPECT_TRUE(PassesTransportTest(mixed));
}

TEST(TransportStream, PacketsThatCannotCountNeverDo) {
    const std::initializer_list<int> run = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_TRUE(PassesTransportTest(TransportPackets(run, 0x30)));   // adaptation field and payload
    EXPECT_TRUE(PassesTransportTest(TransportPackets(run, 0x20)));   // adaptation field only
    EXPECT_FALSE(PassesTransportTest(TransportPackets(run, 0x00)));  // neither
    EXPECT_FALSE(PassesTransportTest(TransportPackets(run, 0x90)));  // scrambled
    EXPECT_FALSE(PassesTransportTest(TransportPackets(run, 0x50)));
    EXPECT_FALSE(PassesTransportTest(TransportPackets(run, 0x10, 0x8100)));  // transport error bit
    EXPECT_FALSE(PassesTransportTest({}));
}

// Every 0x47 is looked at, and the look goes on four bytes after it: a
// failing 0x47 up to three bytes before a packet hides that packet, unless an
// earlier failing one hides the failing one in turn.
TEST(TransportStream, AFailing0x47SkipsTheThreeBytesAfterIt) {
    const struct {
        std::vector<int> before;  // failing 0x47s at these distances before the eighth packet
        bool found;
    } cases[] = {
        {{-1}, false},         {{-2}, false},         {{-3}, false},     {{-4}, true},
        {{-6, -3}, true},      {{-5, -2}, true},      {{-7, -4, -1}, false},
        {{-8, -4, -1}, true},  {{-9, -6, -3}, false}, {{-2, -1}, false},
    };
    for (const auto& c : cases) {
        Bytes b = TransportPackets({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
        const size_t sync = 1 + 188 * 7;
        for (int d : c.before) {
            b[sync + d] = 0x47;
            if (d < -1 && b[sync + d + 1] != 0x47) b[sync + d + 1] = 0x80;  // transport error bit
        }
        EXPECT_EQ(PassesTransportTest(b), c.found) << "first failing 0x47 at " << c.before.front();
    }
}

TEST(TransportStream, TheLastKibibyteIsNeverExamined) {
    const Bytes fourteen = TransportPackets({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    auto withFifteenthAt = [&](size_t fromEnd) {
        Bytes b = fourteen;
        const size_t at = b.size() - fromEnd;
        b[at] = 0x47;  // sync
        b[at + 1] = 0x01;  // packet id 0x100
        b[at + 2] = 0x00;
        b[at + 3] = 0x10 | 14;  // payload, counter 14
        return b;
    };
    EXPECT_TRUE(PassesTransportTest(withFifteenthAt(1025)));
    EXPECT_FALSE(PassesTransportTest(withFifteenthAt(1024)));
}

TEST(Settle, TypeFollowsTheLayoutAndTheRowFollowsTheType) {
    FileIdentity ts;
    ts.layout = StreamLayout::kTransportStream;
    SettleFileType(ts);
    EXPECT_EQ(ts.typeId, kTypeTransportStream);
    EXPECT_STREQ(ts.row->description, "Транспортн.поток MPEG-2");

    FileIdentity es;
    es.layout = StreamLayout::kVideoElementary;
    SettleFileType(es);
    EXPECT_EQ(es.typeId, kTypeMpeg);
    EXPECT_EQ(RowIndex(es.row), 14u);

    FileIdentity dv;
    SettleFileType(dv, kTypeDvSmpte314M);
    EXPECT_EQ(dv.typeId, kTypeDvSmpte314M);
    EXPECT_STREQ(dv.row->description, "Raw DV - SMPTE 314M(.DV)");

    FileIdentity none;
    SettleFileType(none);
    EXPECT_EQ(none.typeId, kTypeUnknown);
    EXPECT_STREQ(none.row->description, "Не знаю");

    // A recorded signature row is kept even when a layout was found too.
    FileIdentity signed_;
    signed_.row = &SignatureRows()[25];
    signed_.typeId = 28;
    signed_.layout = StreamLayout::kTransportStream;
    SettleFileType(signed_);
    EXPECT_EQ(signed_.typeId, 28);
    EXPECT_EQ(RowIndex(signed_.row), 25u);
}

}  // namespace
}  // namespace torvo
