// The format registry: every descriptor complete, every type the
// identification yields described, and the format of content told apart
// where type ids are shared (3GP and MP4, WebM and Matroska, MPEG's kinds).
#include <gtest/gtest.h>

#include <set>

#include "formats/containers/FormatRegistry.h"
#include "formats/containers/NamedFormats.h"

namespace torvo {
namespace {

TEST(FormatRegistry, EveryDescriptorIsComplete) {
    std::set<std::string_view> ids;
    for (const FormatDescriptor& f : Formats()) {
        SCOPED_TRACE(std::string(f.id));
        EXPECT_TRUE(ids.insert(f.id).second) << "short ids are unique";
        EXPECT_FALSE(f.title.empty());
        EXPECT_NE(f.mime.find('/'), std::string_view::npos);
        EXPECT_TRUE(f.audioMime.empty() || f.audioMime.starts_with("audio/"));
        EXPECT_FALSE(f.extensions.empty());
        EXPECT_NE(f.typeIds[0], kTypeUnknown);
        // A reader of its own, a step the driver composes, or identified only.
        if (f.reader == FormatReader::kOwn) {
            EXPECT_NE(f.read, nullptr);
        }
        EXPECT_EQ(f.demuxer == DemuxerCaps::kNone, f.demuxerCaps.empty());
        // The display names the type by a signature row (the shared table's or the descriptor's).
        for (const int32_t type : f.typeIds) {
            if (type == kTypeUnknown) continue;
            const SignatureRow* row = FormatRowForType(type);
            ASSERT_NE(row, nullptr) << type;
            EXPECT_NE(row->description[0], '\0');
        }
        for (const SignatureRow& row : f.signatures) EXPECT_TRUE(f.HasType(row.typeId));
    }
}

TEST(FormatRegistry, EveryTypeTheAnalysisReadsHasADescriptor) {
    // The types that content analysis settles, and the signature types the driver reads.
    const int32_t read[] = {kTypeAvi, kTypeWave, kTypeCdxa, kTypeAsf, kTypeMpegAudio, kTypeAc3, kTypeDts, kTypeAacAdts,
                            kTypeQuickTime, kTypeMpeg, kTypeMp4, kTypeMatroska, kTypeFlv, kTypeDvIec61834,
                            kTypeDvSmpte314M, kTypeTransportStream, kTypeRealMedia, kTypeRealAudio, kTypeOgg, kTypeAiff,
                            kTypeAifc, kTypeSunAu, kTypeWavPack, kTypeCreativeVoice, kTypeFlac};
    for (const int32_t type : read) {
        const FormatDescriptor* f = FormatForType(type);
        ASSERT_NE(f, nullptr) << type;
        EXPECT_NE(f->reader, FormatReader::kNone) << type;
    }
    EXPECT_EQ(FormatForType(kTypeAacAdif)->reader, FormatReader::kNone);
    // Types the program names but does not read (PNG, ZIP) and "unknown" have none.
    EXPECT_EQ(FormatForType(36), nullptr);
    EXPECT_EQ(FormatForType(24), nullptr);
    EXPECT_EQ(FormatForType(kTypeUnknown), nullptr);
    // The general descriptor of a shared type id is the one the driver runs.
    EXPECT_EQ(FormatForType(kTypeMp4)->id, "mp4");
    EXPECT_EQ(FormatForType(kTypeMatroska)->id, "matroska");
    EXPECT_EQ(FormatForType(kTypeMpeg)->id, "mpeg-ps");
    EXPECT_EQ(FormatForType(kTypeWave)->id, "wav");
}

TEST(FormatRegistry, FormatOfContent) {
    auto brand = [](const char (&b)[5]) { return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24; };
    struct Case {
        const char* what;
        int32_t typeId;
        StreamLayout layout;
        uint32_t majorBrand;
        const char* docType;
        bool h264, mpeg4, bigEndian;
        int videoCount;
        const char* id;  // nullptr: none
        const char* mime;
    } const cases[] = {
        {"MP3 found by content", kTypeMpeg, StreamLayout::kAudioElementary, 0, "", false, false, false, 0, "mp3", "audio/mpeg"},
        {"MPEG audio by its signature", kTypeMpegAudio, StreamLayout::kNone, 0, "", false, false, false, 0, "mp3", "audio/mpeg"},
        {"DVD program stream", kTypeMpeg, StreamLayout::kMpeg2Program, 0, "", false, false, false, 1, "mpeg-ps", "video/mpeg"},
        {"MPEG-2 video", kTypeMpeg, StreamLayout::kVideoElementary, 0, "", false, false, false, 1, "mpeg-video", "video/mpeg"},
        {"H.264 video", kTypeMpeg, StreamLayout::kVideoElementary, 0, "", true, false, false, 1, "h264", "video/h264"},
        {"MPEG-4 video", kTypeMpeg, StreamLayout::kVideoElementary, 0, "", false, true, false, 1, "mpeg4-video", "video/mp4v-es"},
        {"isom with video", kTypeMp4, StreamLayout::kMp4Track, brand("isom"), "", false, false, false, 1, "mp4", "video/mp4"},
        {"M4A without video", kTypeMp4, StreamLayout::kMp4Track, brand("M4A "), "", false, false, false, 0, "mp4", "audio/mp4"},
        {"3GPP", kTypeMp4, StreamLayout::kMp4Track, brand("3gp4"), "", false, false, false, 1, "3gp", "video/3gpp"},
        {"3GPP2 sound", kTypeMp4, StreamLayout::kNone, brand("3g2a"), "", false, false, false, 0, "3gp", "audio/3gpp"},
        {"WebM", kTypeMatroska, StreamLayout::kNone, 0, "webm", false, false, false, 1, "webm", "video/webm"},
        {"Matroska sound", kTypeMatroska, StreamLayout::kNone, 0, "matroska", false, false, false, 0, "matroska", "audio/x-matroska"},
        {"RIFX", kTypeWave, StreamLayout::kNone, 0, "", false, false, true, 0, "rifx", "audio/wav"},
        {"Ogg with Theora", kTypeOgg, StreamLayout::kNone, 0, "", false, false, false, 1, "ogg", "video/ogg"},
        {"Ogg Vorbis", kTypeOgg, StreamLayout::kNone, 0, "", false, false, false, 0, "ogg", "audio/ogg"},
        {"PNG", 36, StreamLayout::kNone, 0, "", false, false, false, 0, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AnalysisRecords records;
        records.container.typeId = c.typeId;
        records.container.layout = c.layout;
        records.container.majorBrand = c.majorBrand;
        records.container.docType = c.docType;
        records.container.bigEndianWave = c.bigEndian;
        records.video.h264 = c.h264;
        records.video.mpeg4Vol = c.mpeg4;
        const FormatDescriptor* f = FormatOfContent(records);
        if (!c.id) {
            EXPECT_EQ(f, nullptr);
            continue;
        }
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->id, c.id);
        EXPECT_EQ(f->MimeFor(c.videoCount > 0), c.mime);
    }
}

TEST(FormatRegistry, DescriptorSignaturesFollowTheSharedTable) {
    const uint8_t caf[] = {'c', 'a', 'f', 'f', 0, 1, 0, 0, 'd', 'e', 's', 'c'};
    const SignatureRow* row = MatchSignature(ByteView(caf, sizeof caf));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(FormatForType(row->typeId)->id, "caf");
    const uint8_t version2[] = {'c', 'a', 'f', 'f', 0, 2, 0, 0};
    EXPECT_EQ(MatchSignature(ByteView(version2, sizeof version2)), nullptr);
    // The shared table keeps its order and wins: "RIFF" rows as before.
    const uint8_t riff[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    EXPECT_EQ(MatchSignature(ByteView(riff, sizeof riff))->typeId, kTypeWave);
}

}  // namespace
}  // namespace torvo
