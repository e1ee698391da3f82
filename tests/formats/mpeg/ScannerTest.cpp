// The full scan's scanners over built files, fed as the read loop feeds
// them (overlapping buffers) and in one piece: the same figures either way;
// the AVI scanner's 'rec ' lists, empty chunks, resynchronisation and a file
// cut off mid-chunk.
#include <gtest/gtest.h>

#include "ScanBuilders.h"
#include "formats/mpeg/SystemScanner.h"
#include "formats/riff/AviChunkScanner.h"

namespace torvo {
namespace {

using test::Bytes;

// Feeds the file in chunks with an overlap in front of each, padded with 0xFF, as the read loop does.
void ScanInBuffers(CFrameScanner& scanner, const Bytes& file, size_t chunk, size_t overlap) {
    Bytes buffer(overlap + chunk, 0xFF);
    for (uint64_t offset = 0;; offset += chunk) {
        std::copy(buffer.end() - static_cast<std::ptrdiff_t>(overlap), buffer.end(), buffer.begin());
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(overlap), buffer.end(), 0xFF);
        if (offset < file.size())
            std::copy(file.begin() + static_cast<std::ptrdiff_t>(offset),
                      file.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(file.size(), offset + chunk)),
                      buffer.begin() + static_cast<std::ptrdiff_t>(overlap));
        const bool ended = offset == 0 ? scanner.Scan(ByteView(buffer.data() + overlap, chunk), 0, file.size())
                                       : scanner.Scan(ByteView(buffer.data(), buffer.size()), offset - overlap, file.size());
        if (ended || offset > file.size() + 2 * chunk) return;
    }
}

std::string Types(const CPictureRecorder& r) {
    std::string out;
    for (size_t k = 0; k < r.PictureCount(); ++k) out += "SIPBD"[r.Frames()[k] & 7];
    return out;
}

Bytes ElementaryVideo(int gops) {
    Bytes es;
    for (int g = 0; g < gops; ++g) {
        const Bytes gop = test::CodedGop("IBBPBBPBBPBB", g, false);
        es.insert(es.end(), gop.begin(), gop.end());
    }
    return es;
}

Bytes ProgramStream(const Bytes& es, size_t packet) {
    Bytes ps;
    uint64_t scr = 0;
    for (size_t at = 0; at < es.size(); at += packet) {
        const Bytes pack = test::Mpeg2Pack(scr += 900);
        ps.insert(ps.end(), pack.begin(), pack.end());
        const Bytes video = test::Pes(0xE0, Bytes(es.begin() + static_cast<std::ptrdiff_t>(at),
                                                  es.begin() + static_cast<std::ptrdiff_t>(std::min(es.size(), at + packet))));
        ps.insert(ps.end(), video.begin(), video.end());
        const Bytes audio = test::Pes(0xC0, Bytes(333, 0x11));
        ps.insert(ps.end(), audio.begin(), audio.end());
    }
    test::Append(ps, {0, 0, 1, 0xB9});
    return ps;
}

TEST(Scanners, SystemStreamInOverlappingBuffersEqualsOnePiece) {
    const Bytes es = ElementaryVideo(20);
    const Bytes ps = ProgramStream(es, 2000);
    CPictureRecorder whole;
    CSystemStreamScanner one(whole);
    EXPECT_TRUE(one.Scan(ByteView(ps.data(), ps.size()), 0, ps.size()));
    whole.Flush();
    ASSERT_EQ(whole.PictureCount(), 240u);
    EXPECT_EQ(one.Totals().videoBytes, es.size());
    EXPECT_EQ(one.Totals().audioBytes, 333u * ((es.size() + 1999) / 2000));
    for (const size_t chunk : {4096u, 5000u, 65536u}) {
        CPictureRecorder r;
        CSystemStreamScanner split(r);
        ScanInBuffers(split, ps, chunk, 4096);
        r.Flush();
        EXPECT_EQ(Types(r), Types(whole)) << chunk;
        EXPECT_EQ(split.Totals().videoBytes, one.Totals().videoBytes) << chunk;
        EXPECT_EQ(split.Totals().audioBytes, one.Totals().audioBytes) << chunk;
    }
}

TEST(Scanners, SystemStreamResynchronisesAfterGarbage) {
    const Bytes es = ElementaryVideo(4);
    Bytes ps = ProgramStream(es, 1500);
    ps.insert(ps.begin() + 3000, 777, 0x00);  // a damaged stretch inside the stream
    CPictureRecorder r;
    CSystemStreamScanner scanner(r);
    scanner.Scan(ByteView(ps.data(), ps.size()), 0, ps.size());
    r.Flush();
    EXPECT_GE(r.PictureCount(), 40u);  // the packet hit by the damage may be lost, nothing else
}

TEST(Scanners, ElementaryStreamInBuffers) {
    const Bytes es = ElementaryVideo(10);
    CPictureRecorder r;
    CElementaryScanner scanner(r);
    ScanInBuffers(scanner, es, 1000, 300);
    r.Flush();
    EXPECT_EQ(r.PictureCount(), 120u);
    EXPECT_EQ(scanner.Totals().videoBytes, es.size());
}

Bytes AviFile(bool damaged) {
    Bytes movi;
    test::Append(movi, "movi");
    auto add = [&movi](const Bytes& b) { movi.insert(movi.end(), b.begin(), b.end()); };
    add(test::Chunk("00dc", test::Vop(0, 0, true)));
    add(test::Chunk("01wb", Bytes(101, 1)));
    Bytes rec;
    test::Append(rec, "rec ");
    const Bytes inner = test::Chunk("00dc", test::Vop(1, 1, true));
    rec.insert(rec.end(), inner.begin(), inner.end());
    add(test::Chunk("LIST", rec));
    add(test::Chunk("00dc", {}));  // a dropped frame
    if (damaged) {
        Bytes bad;
        test::Append(bad, "00dc");
        test::Le32(bad, 0x7FFFFFF0);
        test::Filler(bad, 37);
        add(bad);
    }
    for (uint32_t t = 2; t < 6; ++t) add(test::Chunk("00dc", test::Vop(1, t, true)));
    Bytes hdrl;
    test::Append(hdrl, "hdrl");
    test::Filler(hdrl, 64);
    Bytes body;
    test::Append(body, "AVI ");
    const Bytes h = test::Chunk("LIST", hdrl), m = test::Chunk("LIST", movi);
    body.insert(body.end(), h.begin(), h.end());
    body.insert(body.end(), m.begin(), m.end());
    return test::Chunk("RIFF", body);
}

TEST(Scanners, AviChunksRecListsDroppedFramesAndResync) {
    for (const bool damaged : {false, true}) {
        const Bytes avi = AviFile(damaged);
        for (const size_t chunk : {size_t(300), size_t(1) << 20}) {
            CPictureRecorder r;
            r.Configure(CPictureRecorder::Mode::kMpeg4, 5, false);
            CAviChunkScanner scanner(r, true);
            ScanInBuffers(scanner, avi, chunk, 256);
            r.Flush();
            SCOPED_TRACE(testing::Message() << "damaged " << damaged << " chunk " << chunk);
            EXPECT_EQ(Types(r), "IPPPPP");
            EXPECT_EQ(scanner.Totals().videoChunks, 7u);
            EXPECT_EQ(scanner.Totals().droppedFrames, 1u);
            EXPECT_EQ(scanner.Totals().audioBytes, 102u);
            EXPECT_NE(r.Frames()[1] & kFrameEmptyChunk, 0u);
        }
    }
}

TEST(Scanners, AviCutOffMidChunk) {
    const Bytes avi = AviFile(false);
    for (size_t cut = 0; cut < avi.size(); cut += 7) {
        const Bytes part(avi.begin(), avi.begin() + static_cast<std::ptrdiff_t>(cut));
        CPictureRecorder r;
        r.Configure(CPictureRecorder::Mode::kMpeg4, 5, false);
        CAviChunkScanner scanner(r, true);
        ScanInBuffers(scanner, part, 160, 128);
        r.Flush();
        EXPECT_LE(scanner.Totals().videoChunks, 7u);
        EXPECT_LE(r.PictureCount(), 6u);
    }
}

}  // namespace
}  // namespace torvo
