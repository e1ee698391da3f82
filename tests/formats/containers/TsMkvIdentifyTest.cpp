// Identification of transport streams (by their packet size) and of
// Matroska/WebM (by the EBML header's DocType wherever it stands).
#include <gtest/gtest.h>

#include "analysis/Driver.h"
#include "formats/containers/ContainerTestUtil.h"
#include "formats/containers/Ebml.h"
#include "formats/containers/SupTS.h"

namespace torvo {
namespace {

using namespace test;

// An EBML element with a one-byte size.
Bytes Element(const Bytes& id, const Bytes& payload) {
    return id + Bytes{static_cast<uint8_t>(0x80 | payload.size())} + payload;
}
const Bytes kVersion = Element({0x42, 0x86}, {1});
const Bytes kReadVersion = Element({0x42, 0xF7}, {1});

Bytes EbmlHeader(const Bytes& children) { return Element({0x1A, 0x45, 0xDF, 0xA3}, children); }

TEST(TsMkvIdentify, DocTypeWhereverItStands) {
    struct Case {
        const char* what;
        Bytes header;
        const char* docType;
        const char* mime;  // nullptr: not Matroska
    };
    const Bytes matroska = Element({0x42, 0x82}, Text("matroska"));
    const Bytes webm = Element({0x42, 0x82}, Text("webm"));
    const Case cases[] = {
        {"first", EbmlHeader(matroska + kVersion), "matroska", "video/x-matroska"},
        {"after the versions", EbmlHeader(kVersion + kReadVersion + matroska), "matroska", "video/x-matroska"},
        {"webm", EbmlHeader(kVersion + webm), "webm", "video/webm"},
        {"other document", EbmlHeader(kVersion + Element({0x42, 0x82}, Text("other"))), "other", nullptr},
        {"no DocType", EbmlHeader(kVersion + kReadVersion), "", nullptr},
        // A child claiming more than the header holds ends the search.
        {"child too large", EbmlHeader(Bytes{0x42, 0x86, 0x88, 1} + matroska), "", nullptr},
        {"header cut short", Bytes{0x1A, 0x45, 0xDF, 0xA3, 0x93, 0x42, 0x82, 0x88, 'm', 'a'}, "", nullptr},
        {"not EBML", Text("RIFF....AVI "), "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ByteView view(c.header.data(), c.header.size());
        EXPECT_EQ(EbmlDocType(view), c.docType);
        const SignatureRow* row = MatroskaRow(view);
        if (!c.mime) {
            EXPECT_EQ(row, nullptr);
            continue;
        }
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->typeId, 49);
        EXPECT_STREQ(row->description, "Видеозапись Matroska(.MKV)");
        EXPECT_STREQ(row->mime, c.mime);
    }
}

TEST(TsMkvIdentify, PacketSizes) {
    const Bytes ts = ReadBytes(SamplePath("tsmkv/ts_mpeg2_mp2.ts"));
    ASSERT_GE(ts.size(), 188u * 40);
    // The same packets with 16 parity bytes after each, and with a time stamp before each.
    Bytes parity, stamped;
    for (size_t at = 0; at + 188 <= ts.size(); at += 188) {
        parity.insert(parity.end(), ts.begin() + at, ts.begin() + at + 188);
        parity.insert(parity.end(), 16, 0xA5);
        stamped.insert(stamped.end(), {0x40, 0x00, static_cast<uint8_t>(at), 0x34});
        stamped.insert(stamped.end(), ts.begin() + at, ts.begin() + at + 188);
    }
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t size, offset;
    };
    const Case cases[] = {
        {"188", ts, 188, 0},
        {"204", parity, 204, 0},
        {"192", stamped, 192, 4},
        {"188 after junk", Bytes{1, 2, 3} + ts, 188, 3},
        {"no packets", Bytes(4096, 0x47 ^ 1), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TransportPacketLayout layout = FindTransportPacketLayout(ByteView(c.bytes.data(), c.bytes.size()));
        EXPECT_EQ(layout.packetSize, c.size);
        EXPECT_EQ(layout.syncOffset, c.offset);
    }
}

TEST(TsMkvIdentify, Samples) {
    struct Case {
        const char* file;
        int32_t typeId;
        const char* mime;
    };
    const Case cases[] = {
        {"ts_mpeg2_mp2.ts", 86, "video/mp2t"},          {"ts_h264_aac.ts", 86, "video/mp2t"},
        {"m2ts_h264_ac3.m2ts", 86, "video/mp2t"},       {"ts_hevc.ts", 86, "video/mp2t"},
        {"mkv_h264_ac3.mkv", 49, "video/x-matroska"},   {"mkv_doctype_first.mkv", 49, "video/x-matroska"},
        {"mkv_mpeg4_mp3x2.mkv", 49, "video/x-matroska"}, {"mkv_hevc_aac.mkv", 49, "video/x-matroska"},
        {"webm_vp8_vorbis.webm", 49, "video/webm"},     {"webm_vp9_opus.webm", 49, "video/webm"},
        {"webm_av1_opus.webm", 49, "video/webm"},       {"mkv_theora_flac.mkv", 49, "video/x-matroska"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Display display;
        CAnalysisDriver driver(display);
        ASSERT_TRUE(driver.AnalyseFile(SamplePath(std::string("tsmkv/") + c.file)));
        EXPECT_EQ(driver.Container().typeId, c.typeId);
        std::vector<std::string> notes;
        for (const NoteLine& line : display.Container().Lines()) notes.push_back(line.text);
        EXPECT_NE(std::find(notes.begin(), notes.end(), std::string("Тип MIME:  ") + c.mime), notes.end());
    }
}

}  // namespace
}  // namespace torvo
