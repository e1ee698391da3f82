// The chain search, the stream types of the analysed records and the type
// names, on entries built byte by byte.
#include <gtest/gtest.h>

#include "analysis/AudioDescription.h"
#include "inventory/CapsTypes.h"
#include "inventory/ChainSearch.h"
#include "inventory/CodecStatus.h"
#include "base/GuidText.h"

namespace torvo {
namespace {

using namespace guids;
const MediaTypePair kAviStream{kMediaTypeStream, kSubtypeAvi};
const MediaTypePair kAnyVideo{kMediaTypeVideo, kNull};
const MediaTypePair kYv12{kMediaTypeVideo, FourccGuid("YV12")};
const MediaTypePair kPcm{kMediaTypeAudio, kSubtypePcm};

// A small inventory: entries added with their name, CLSID, kind and pins.
struct Builder {
    CodecInventory inventory;
    int Add(const char* name, Guid clsid, std::vector<MediaTypePair> inputs, std::vector<MediaTypePair> outputs,
            int32_t kind = kKindDsh, int outputPins = 1) {
        const int i = inventory.Count();
        CodecEntry& e = inventory.At(i);
        e.index = i;
        e.kind = kind;
        e.name.Set(name);
        e.clsid = clsid;
        FilterPins& r = e.registration;
        r.pinCount = 1;
        r.pins[0].typeCount = static_cast<int32_t>(inputs.size());
        std::copy(inputs.begin(), inputs.end(), r.pins[0].types.begin());
        for (int p = 0; p < outputPins; ++p) {
            PinTypes& out = r.pins[static_cast<size_t>(r.pinCount++)];
            out.output = 1;
            out.typeCount = static_cast<int32_t>(outputs.size());
            std::copy(outputs.begin(), outputs.end(), out.types.begin());
        }
        inventory.SetCount(i + 1);
        return i;
    }
    bool Search(const MediaTypePair& source, const MediaTypePair& elementary, const Guid& renderer, CGraph** out = nullptr) {
        graph = std::make_unique<CGraph>(inventory.Entries(), inventory.Count());
        ClearSearchState(inventory.Entries(), inventory.Count());
        if (out) *out = graph.get();
        return ChainSearch(*graph, source, elementary, renderer);
    }
    std::unique_ptr<CGraph> graph;
};

TEST(ChainSearch, FindsShallowestChainsThroughSplittersAndDecoders) {
    Builder b;
    b.Add("slot zero", {}, {kAviStream, kYv12}, {kYv12});  // entry 0 is never a candidate
    const int renderer = b.Add("Video Renderer", kClsidVideoRendererDefault, {kYv12}, {}, kKindRenderer, 0);
    // A splitter registering no output types still hands the elementary type on.
    const int splitter = b.Add("AVI Splitter", G("{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"), {kAviStream}, {});
    const int decoder = b.Add("xvid decoder", G("{64697678-0000-0010-8000-00AA00389B71}"),
                              {{kMediaTypeVideo, FourccGuid("xvid")}}, {kYv12});
    CGraph* g = nullptr;
    // A FourCC registered in lower case matches the upper-case stream FourCC.
    ASSERT_TRUE(b.Search(kAviStream, {kMediaTypeVideo, FourccGuid("XVID")}, kClsidVideoRendererDefault, &g));
    EXPECT_EQ(g->nodes[0].choice, splitter);
    EXPECT_EQ(g->nodes[1].choice, decoder);
    EXPECT_EQ(g->nodes[2].choice, 0);
    EXPECT_EQ(g->nodes[0].target, renderer);
    EXPECT_STREQ(g->nodes[1].name, "xvid decoder");
    EXPECT_EQ(b.inventory.At(splitter).search.inChain, 0);
    // A stream the renderer takes directly is a chain of depth 0.
    ASSERT_TRUE(b.Search(kYv12, kYv12, kClsidVideoRendererDefault, &g));
    EXPECT_EQ(g->nodes[0].choice, 0);
    // No decoder for the FourCC, an absent renderer, a null major type: no chain.
    EXPECT_FALSE(b.Search(kAviStream, {kMediaTypeVideo, FourccGuid("DIV3")}, kClsidVideoRendererDefault));
    EXPECT_FALSE(b.Search(kAviStream, {kMediaTypeVideo, FourccGuid("XVID")}, kClsidDSoundRender));
    EXPECT_FALSE(b.Search(kAviStream, {kNull, FourccGuid("XVID")}, kClsidVideoRendererDefault));
    // Entry 0 alone would accept the source; it is never used.
    EXPECT_FALSE(b.Search(kAviStream, kAviStream, kClsidDSoundRender));
}

TEST(ChainSearch, AudioWithoutSubtypeAndDeepChains) {
    Builder b;
    b.Add("-", {}, {}, {});
    b.Add("DirectSound", kClsidDSoundRender, {kPcm}, {}, kKindRenderer, 0);
    // Audio with a null subtype is accepted by anything with an input type, the renderer included.
    EXPECT_TRUE(b.Search({kMediaTypeStream, kSubtypeWave}, {kMediaTypeAudio, kNull}, kClsidDSoundRender) == false);
    CGraph* g = nullptr;
    ASSERT_TRUE(b.Search({kMediaTypeAudio, kNull}, {kMediaTypeAudio, kNull}, kClsidDSoundRender, &g));
    EXPECT_EQ(g->nodes[0].choice, 0);
    // A chain of five converters is found at depth five, none longer than six.
    MediaTypePair stage[6];
    for (int i = 0; i < 6; ++i) stage[i] = {kMediaTypeAudio, FormatTagGuid(static_cast<uint16_t>(0x100 + i))};
    for (int i = 0; i < 5; ++i) b.Add("step", {}, {stage[i]}, {i == 4 ? kPcm : stage[i + 1]});
    ASSERT_TRUE(b.Search(stage[0], stage[0], kClsidDSoundRender, &g));
    EXPECT_EQ(g->nodes[5].choice, 0);
    EXPECT_FALSE(b.Search({kMediaTypeAudio, FormatTagGuid(0x99)}, stage[0], kClsidDSoundRender));
}

// A splitter whose outputs name their types in full carries only those; one
// with open outputs (GStreamer's ANY caps) is taken at its word.
TEST(ChainSearch, SplittersCarryWhatTheirOutputsName) {
    const MediaTypePair aiff{kMediaTypeStream, FourccGuid("AIFF")};
    const MediaTypePair alaw{kMediaTypeAudio, FormatTagGuid(6)};
    const MediaTypePair mulaw{kMediaTypeAudio, FormatTagGuid(7)};
    struct Case {
        const char* what;
        std::vector<MediaTypePair> outputs;
        bool alawPlays;
    };
    const Case cases[] = {
        {"raw sound only", {kPcm}, false},
        {"raw sound and A-law", {kPcm, alaw}, true},
        {"open output", {{}}, true},
        {"open subtype", {{kMediaTypeAudio, kNull}}, true},
        {"no output types", {}, true},
        {"mu-law only", {mulaw}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Builder b;
        b.Add("-", {}, {}, {});
        b.Add("DirectSound", kClsidDSoundRender, {kPcm}, {}, kKindRenderer, 0);
        b.Add("aiff demuxer", {}, {aiff}, c.outputs);
        b.Add("alaw decoder", {}, {alaw}, {kPcm});
        b.Add("mulaw decoder", {}, {mulaw}, {kPcm});
        EXPECT_EQ(b.Search(aiff, alaw, kClsidDSoundRender), c.alawPlays);
        // PCM the splitter names is always carried.
        if (!c.outputs.empty() && c.outputs[0] == kPcm) {
            EXPECT_TRUE(b.Search(aiff, kPcm, kClsidDSoundRender));
        }
    }
    // A file goes to the splitter of the highest merit: one of lower merit
    // that would carry the stream is never given the file.
    for (const uint32_t otherMerit : {0x600000u, 0x800000u, 0x900000u}) {
        SCOPED_TRACE(otherMerit);
        Builder b;
        b.Add("-", {}, {}, {});
        b.Add("DirectSound", kClsidDSoundRender, {kPcm}, {}, kKindRenderer, 0);
        b.inventory.At(b.Add("aiff demuxer", {}, {aiff}, {kPcm})).registration.merit = 0x800000;
        b.inventory.At(b.Add("other demuxer", {}, {aiff}, {{}})).registration.merit = otherMerit;
        b.Add("alaw decoder", {}, {alaw}, {kPcm});
        EXPECT_EQ(b.Search(aiff, alaw, kClsidDSoundRender), otherMerit >= 0x800000);
    }
}

TEST(ChainSearch, ClassificationOfEntries) {
    Builder b;
    const int byClsid = b.Add("x", G("{AFB6C280-2C41-11D3-8A60-0000F81E0E4A}"), {}, {});
    const int byPins = b.Add("y", {}, {kAviStream}, {}, kKindDsh, 0);
    b.inventory.At(byPins).registration.pinCount = 3;
    auto& pins = b.inventory.At(byPins).registration.pins;
    pins[1] = {1, 1, {}};
    pins[1].types[0] = kAnyVideo;
    pins[2] = {1, 1, {}};
    pins[2].types[0] = {kMediaTypeAudio, kNull};
    const int byName = b.Add("Ogg DEMUX", {}, {kAviStream}, {kAnyVideo});
    const int decoder = b.Add("dec", {}, {{kMediaTypeVideo, kNull}, {kMediaTypeVideo, FourccGuid("XVID")}}, {kYv12});
    const int encoder = b.Add("enc", {}, {kPcm}, {{kMediaTypeAudio, FormatTagGuid(0x55)}});
    const int plain = b.Add("conv", {}, {kYv12}, {kAnyVideo});
    for (int i : {byClsid, byPins, byName}) EXPECT_TRUE(IsSplitter(b.inventory.At(i))) << i;
    for (int i : {decoder, encoder, plain}) EXPECT_FALSE(IsSplitter(b.inventory.At(i))) << i;
    EXPECT_TRUE(IsDecoder(b.inventory.At(decoder)));
    EXPECT_FALSE(IsEncoder(b.inventory.At(decoder)));
    EXPECT_TRUE(IsEncoder(b.inventory.At(encoder)));
    EXPECT_FALSE(IsDecoder(b.inventory.At(plain)) || IsEncoder(b.inventory.At(plain)));
    EXPECT_FALSE(IsDecoder(b.inventory.At(byName)));

    struct Case { MediaTypePair pair; bool uncompressed; };
    const Case cases[] = {
        {kPcm, true}, {{kMediaTypeAudio, kNull}, true}, {{kMediaTypeAudio, FormatTagGuid(3)}, false},
        {kAnyVideo, true}, {kYv12, true}, {{kMediaTypeVideo, FourccGuid("iyuv")}, true},
        {{kMediaTypeVideo, G("{E436EB7E-524F-11CE-9F53-0020AF0BA770}")}, true},
        {{kMediaTypeVideo, kSubtypeIa44Overlay}, true}, {{kMediaTypeVideo, FourccGuid("NV12")}, false},
        {{kMediaTypeStream, kNull}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsUncompressedType(c.pair), c.uncompressed) << GuidString(c.pair.subtype);
}

TEST(GuidText, NamesFourccsTagsAndPrefixes) {
    const GuidNameLookup names = [](std::string_view key, std::string& name) {
        if (key != "{E436EB88-524F-11CE-9F53-0020AF0BA770}") return false;
        name = "MEDIASUBTYPE_Avi";
        return true;
    };
    std::string fourcc = "untouched";
    EXPECT_EQ(GuidText(kNull, names, {}), "{ * }");
    EXPECT_EQ(GuidText(kSubtypeAvi, names, {}), "MEDIASUBTYPE_Avi");
    EXPECT_EQ(GuidText(kSubtypeAvi, names, {.append = true}), "MEDIASUBTYPE_Avi {E436EB88-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_EQ(GuidText(FourccGuid("xvid"), names, {}), "{64697678-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(GuidText(FourccGuid("xvid"), names, {.decodeFourcc = true}, 128, &fourcc), "4cc: xvid    ");
    EXPECT_EQ(fourcc, "Xvid");
    fourcc = "untouched";
    EXPECT_EQ(GuidText(FormatTagGuid(0x1234), names, {.decodeFourcc = true}, 128, &fourcc), "FmtTag: 0x1234    ");
    EXPECT_EQ(fourcc, "untouched");
    EXPECT_EQ(GuidText(kSubtypeAvi, names, {}, 6), "MEDIA");

    const std::pair<const char*, const char*> prefixes[] = {
        {"MEDIASUBTYPE_Avi", "Avi"}, {"mediatype_Video", "Video"}, {"WMMEDIASUBTYPE_WMV3", "WMV3"},
        {"WAVE_FORMAT_MPEGLAYER3", "MPEGLAYER3"}, {"4cc: xvid    ", " XVID    "}, {"fmt:x", "x"},
        {"FmtTag: 0x1234    ", "FmtTag: 0x1234    "}, {"Avi", "Avi"},
    };
    for (const auto& [in, out] : prefixes) EXPECT_EQ(StripTypePrefix(in), out) << in;
}

TEST(Guids, TextFormsAndProjectIdentifiers) {
    EXPECT_EQ(ParseGuid("{e436eb88-524f-11ce-9f53-0020af0ba770}"), kSubtypeAvi);
    EXPECT_EQ(GuidString(kSubtypeAvi), "{E436EB88-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_FALSE(ParseGuid("{E436EB88-524F-11CE-9F53-0020AF0BA77}"));
    EXPECT_FALSE(ParseGuid("{E436EB88-524F-11CE-9F53-0020AF0BA77G}"));
    EXPECT_TRUE(SameType(FourccGuid("xvid"), FourccGuid("XVID")));
    EXPECT_FALSE(SameType(FourccGuid("XVID"), FourccGuid("XVIE")));
    // The same identifiers the database generator derives (UUID v5, URL namespace).
    EXPECT_EQ(GuidString(NameBasedGuid("torvo:caps:video/x-flv")), "{9F51FE6C-ACBC-5F17-91CB-52E963BB4E84}");
    EXPECT_EQ(TypeForCaps("video/x-flv")->subtype, NameBasedGuid("torvo:caps:video/x-flv"));
    EXPECT_EQ(TypeForCaps("video/x-dv, systemstream=(boolean)true")->subtype, NameBasedGuid("torvo:caps:video/x-dv-stream"));
    EXPECT_EQ(TypeForCaps("video/webm")->subtype, NameBasedGuid("torvo:caps:video/webm"));
    EXPECT_EQ(ProjectTypeForCaps("audio/x-vorbis").major, kMediaTypeAudio);
}

// Records as the analysis leaves them.
struct Analysed {
    AnalysisRecords records;
    StreamInfo& Audio(int entry) {
        records.audioList[static_cast<size_t>(entry)] = entry;
        return records.Stream(static_cast<size_t>(entry));
    }
    StreamTypePairs Types(StreamKind kind, int entry = 0, bool expectOk = true) {
        StreamTypePairs t;
        EXPECT_EQ(StreamTypes(records, kind, entry, 0, t), expectOk);
        return t;
    }
};

TEST(StreamTypes, SourceAndElementaryTypesByContainer) {
    Analysed avi;
    avi.records.container.typeId = kTypeAvi;
    avi.records.video.fourcc = 0x64697678;  // "xvid"
    avi.Audio(0).audio[kAudioClassMpeg].formatTag = 0x2000;
    avi.Audio(1).audio[kAudioClassMpeg].formatTag = 0x0055;
    EXPECT_EQ(avi.Types(kVideoStream).elementary.subtype, FourccGuid("XVID"));
    EXPECT_EQ(avi.Types(kVideoStream).source.subtype, kSubtypeAvi);
    EXPECT_EQ(avi.Types(kAudioStream, 0).elementary.major, kMediaTypeMpeg2Pes);
    EXPECT_EQ(avi.Types(kAudioStream, 1).elementary.subtype, FormatTagGuid(0x55));
    StreamTypePairs raw;
    ASSERT_TRUE(StreamTypes(avi.records, kVideoStream, 0, kStatusNotNeeded, raw));
    EXPECT_EQ(raw.elementary.subtype, kSubtypeRgb8);

    // An MPEG-1 audio elementary stream asks for tag 0x0055 whatever its layer.
    Analysed mp2;
    mp2.records.container.typeId = kTypeMpeg;
    mp2.records.container.layout = StreamLayout::kAudioElementary;
    AudioResult& r = mp2.Audio(0).audio[kAudioClassMpeg];
    r.codecClass = kAudioClassMpeg;
    r.versionCode = 2;
    r.layerCode = 3;
    EXPECT_EQ(mp2.Types(kAudioStream).source.subtype, kSubtypeMpeg1Audio);
    EXPECT_EQ(mp2.Types(kAudioStream).elementary.subtype, FormatTagGuid(0x55));
    r.versionCode = 1;
    mp2.Types(kAudioStream, 0, false);

    // Program streams: video by its version code, LPCM substreams.
    Analysed vob;
    vob.records.container.typeId = kTypeMpeg;
    vob.records.container.layout = StreamLayout::kMpeg2Program;
    vob.records.video.headers[kHeaderMpegVideo].version = 3;
    vob.Audio(0).substreamId = 0xA0;
    EXPECT_EQ(vob.Types(kVideoStream).elementary.subtype, kSubtypeMpeg2Video);
    EXPECT_EQ(vob.Types(kAudioStream).elementary.subtype, kSubtypeDvdLpcm);
    EXPECT_EQ(vob.Types(kAudioStream).source.subtype, kSubtypeMpeg2Program);

    // Beyond the MPEG family: the demuxer's input type and the codec found.
    Analysed mp4;
    mp4.records.container.typeId = kTypeMp4;
    mp4.records.video.h264 = true;
    StreamInfo& aac = mp4.Audio(0);
    aac.fourcc = 0x6134706D;  // "mp4a"
    EXPECT_EQ(mp4.Types(kVideoStream).source.subtype, kSubtypeQtMovie);
    EXPECT_EQ(mp4.Types(kVideoStream).elementary.subtype, FourccGuid("H264"));
    EXPECT_EQ(mp4.Types(kAudioStream).elementary.subtype, FormatTagGuid(0xFF));

    Analysed flv;
    flv.records.container.typeId = kTypeFlv;
    flv.records.video.flvCodecId = 2;
    flv.Audio(0).codecName = "Nellymoser";
    EXPECT_EQ(flv.Types(kVideoStream).elementary.subtype, FourccGuid("FLV1"));
    EXPECT_EQ(flv.Types(kAudioStream).elementary, *TypeForCaps("audio/x-nellymoser"));
    flv.records.video.flvCodecId = 9;
    flv.Types(kVideoStream, 0, false);

    Analysed ac3;
    ac3.records.container.typeId = kTypeAc3;
    ac3.Audio(0).audio[kAudioClassAc3].codecClass = kAudioClassAc3;
    EXPECT_EQ(ac3.Types(kAudioStream).source.subtype, kSubtypeDolbyAc3);

    Analysed ts;  // transport streams and Matroska, once their analysers fill the records
    ts.records.container.typeId = kTypeTransportStream;
    ts.records.video.mpeg2 = true;
    EXPECT_EQ(ts.Types(kVideoStream).source.subtype, kSubtypeMpeg2Transport);
    EXPECT_EQ(ts.Types(kVideoStream).elementary.subtype, kSubtypeMpeg2Video);
    ts.records.container.typeId = 49;
    EXPECT_EQ(ts.Types(kVideoStream).source, *TypeForCaps("video/x-matroska"));

    // WAVE: the format tag; PCM needs no codec at all.
    Analysed wav;
    wav.records.container.typeId = kTypeWave;
    wav.Audio(0).audio[kAudioClassMpeg].formatTag = 0x11;
    EXPECT_EQ(wav.Types(kAudioStream).elementary.subtype, FormatTagGuid(0x11));
    wav.records.Stream(0).audio[kAudioClassMpeg].formatTag = 1;
    EXPECT_EQ(AudioStatusCode(nullptr, wav.records, true, 0), kStatusNotNeeded);
    EXPECT_EQ(AudioStatusCode(nullptr, mp4.records, false, 0), kStatusDisabled);
    EXPECT_EQ(AudioStatusCode(nullptr, mp4.records, true, 0), 9);
    EXPECT_EQ(VideoStatusCode(nullptr, mp4.records, false, true), kStatusNotNeeded);
    EXPECT_EQ(VideoStatusCode(nullptr, mp4.records, false, false), kStatusDisabled);
    EXPECT_EQ(VideoStatusCode(nullptr, mp4.records, true, false), kStatusUndetermined);
}

// Renderers, an AVI splitter and an MP3 decoder, and an XviD AVI with an MP3
// and an AC-3 stream: what the status questions below are asked about.
void MachineAndAvi(Builder& b, Analysed& avi) {
    b.Add("-", {}, {}, {});
    b.Add("Video Renderer", kClsidVideoRenderer, {kYv12}, {}, kKindRenderer, 0);
    b.Add("DirectSound", kClsidDSoundRender, {kPcm}, {}, kKindRenderer, 0);
    b.Add("AVI Splitter", G("{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"), {kAviStream}, {kAnyVideo});
    b.Add("MP3 decoder", {}, {{kMediaTypeAudio, FormatTagGuid(0x55)}}, {kPcm});
    avi.records.container.typeId = kTypeAvi;
    avi.records.video.fourcc = 0x64697678;
    avi.Audio(0).audio[kAudioClassMpeg].formatTag = 0x55;
    avi.Audio(1).audio[kAudioClassMpeg].formatTag = 0x2000;
}

TEST(CodecStatus, AnswersFromTheInventory) {
    Builder b;
    Analysed avi;
    MachineAndAvi(b, avi);
    // Without the default renderer the plain one ends video chains.
    EXPECT_EQ(VideoStatusCode(&b.inventory, avi.records, true, false), kStatusMissing);
    EXPECT_EQ(AudioStatusCode(&b.inventory, avi.records, true, 0), kStatusInstalled);
    EXPECT_EQ(AudioStatusCode(&b.inventory, avi.records, true, 1), kStatusMissing);
    b.Add("xvid", {}, {{kMediaTypeVideo, FourccGuid("XVID")}}, {kYv12});
    EXPECT_EQ(VideoStatusCode(&b.inventory, avi.records, true, false), kStatusInstalled);
    EXPECT_STREQ(TextsForStatus(kStatusInstalled).field, "Кодек(и) установлен(ы)");
    EXPECT_STREQ(TextsForStatus(9).panel, "Статус не определен");
}

TEST(CodecStatus, RememberedAnswersAreTheSearchesOwn) {
    Builder b;
    Analysed avi;
    MachineAndAvi(b, avi);
    // Each question twice, in a mixed order: remembered answers equal fresh searches.
    struct Question {
        StreamKind kind;
        int entry;
        int expected;
    };
    const Question questions[] = {{kVideoStream, 0, kStatusMissing}, {kAudioStream, 0, kStatusInstalled},
                                  {kAudioStream, 1, kStatusMissing}, {kAudioStream, 0, kStatusInstalled},
                                  {kVideoStream, 0, kStatusMissing}, {kAudioStream, 1, kStatusMissing}};
    auto ask = [&](const Question& q) {
        return q.kind == kVideoStream ? VideoStatusCode(&b.inventory, avi.records, true, false)
                                      : AudioStatusCode(&b.inventory, avi.records, true, q.entry);
    };
    b.inventory.rememberSearches = true;
    for (const Question& q : questions) EXPECT_EQ(ask(q), q.expected);
    EXPECT_EQ(b.inventory.searchAnswers.size(), 3u);  // each distinct question searched once
    // Whoever changes the entries forgets the answers; a new decoder is then found.
    b.Add("xvid", {}, {{kMediaTypeVideo, FourccGuid("XVID")}}, {kYv12});
    b.inventory.searchAnswers.clear();
    EXPECT_EQ(ask(questions[0]), kStatusInstalled);
}

}  // namespace
}  // namespace torvo

namespace torvo {
namespace {

// The coded types that decide the answers GStreamer gives on real files:
// decoders that exist for Indeo 3, PNG, RPZA, MS Video 1, QDM2, AMR and the
// extensible WAVE codings; no decoder for what a demuxer cannot hand on.
TEST(StreamTypes, TypesTheDemuxersHandOn) {
    Analysed indeo;
    indeo.records.container.typeId = kTypeAvi;
    indeo.records.video.fourcc = 0x32335649;  // "IV32"
    EXPECT_EQ(indeo.Types(kVideoStream).elementary, TypeForCaps("video/x-indeo, indeoversion=(int)3"));
    Analysed vp9;
    vp9.records.container.typeId = kTypeAvi;
    vp9.records.video.fourcc = 0x30395056;  // "VP90": no caps of the AVI demuxer
    EXPECT_NE(vp9.Types(kVideoStream).elementary, TypeForCaps("video/x-vp9"));

    // The RealMedia demuxer types only the codes it knows; others arrive as an unknown FourCC.
    const std::pair<uint32_t, MediaTypePair> realVideo[] = {
        {0x30325652, *TypeForCaps("video/x-pn-realvideo, rmversion=(int)2")},  // "RV20"
        {0x33315652, ProjectTypeForCaps("video/x-unknown-fourcc")},              // "RV13"
        {0x30365652, ProjectTypeForCaps("video/x-unknown-fourcc")},              // "RV60"
    };
    for (const auto& [fourcc, expected] : realVideo) {
        Analysed rm;
        rm.records.container.typeId = 19;  // RealMedia
        rm.records.video.fourcc = fourcc;
        EXPECT_EQ(rm.Types(kVideoStream).elementary, expected) << fourcc;
    }
    const std::pair<uint32_t, MediaTypePair> realAudio[] = {
        {0x345F3431, *TypeForCaps("audio/x-pn-realaudio, raversion=(int)1")},  // "14_4"
        {0x4A63706C, ProjectTypeForCaps("video/x-unknown-fourcc")},              // "lpcJ"
        {0x74656E64, MediaTypePair{kMediaTypeAudio, kSubtypeDolbyAc3}},          // "dnet"
    };
    for (const auto& [fourcc, expected] : realAudio) {
        Analysed ra;
        ra.records.container.typeId = 20;  // RealAudio
        ra.Audio(0).fourcc = fourcc;
        ra.Audio(0).formatTag = fourcc == 0x74656E64 ? 0x2000 : 0;
        EXPECT_EQ(ra.Types(kAudioStream).elementary, expected) << fourcc;
    }

    const std::pair<const char*, std::string_view> movieVideo[] = {
        {"png ", "image/png"}, {"rpza", "video/x-apple-video"}};
    for (const auto& [fourcc, caps] : movieVideo) {
        Analysed mov;
        mov.records.container.typeId = kTypeQuickTime;
        mov.records.video.fourcc = uint32_t(fourcc[0]) | uint32_t(fourcc[1]) << 8 | uint32_t(fourcc[2]) << 16 |
                                   uint32_t(fourcc[3]) << 24;
        EXPECT_EQ(mov.Types(kVideoStream).elementary, ProjectTypeForCaps(caps)) << fourcc;
    }

    struct SoundCase {
        int32_t typeId;
        uint32_t fourcc;
        int32_t tag, subFormatTag, bits;
        MediaTypePair expected;
        bool pcm;
    };
    const SoundCase sounds[] = {
        {kTypeQuickTime, 0x324D4451, 0, 0, 0, ProjectTypeForCaps("audio/x-qdm2"), false},  // "QDM2"
        {kTypeMp4, 0x726D6173, 0, 0, 0, ProjectTypeForCaps("audio/AMR"), false},          // "samr"
        {kTypeQuickTime, 0x5000736D, 0x50, 0, 0, ProjectTypeForCaps("audio/x-qt-ms-0050"), false},
        {kTypeWave, 0, 0xFFFE, 3, 64, {kMediaTypeAudio, FormatTagGuid(3)}, false},
        {kTypeWave, 0, 0xFFFE, 0x2000, 16, {kMediaTypeAudio, kSubtypeDolbyAc3}, false},
        {kTypeWave, 0, 0xFFFE, 1, 16, {kMediaTypeAudio, FormatTagGuid(1)}, true},
        {kTypeWave, 0, 1, 0, 36, ProjectTypeForCaps("audio/x-wav-pcm-36bit"), false},
    };
    for (const SoundCase& c : sounds) {
        SCOPED_TRACE(c.tag);
        Analysed a;
        a.records.container.typeId = c.typeId;
        StreamInfo& s = a.Audio(0);
        s.fourcc = c.fourcc;
        s.bitsPerSample = c.bits;
        s.subFormatTag = c.subFormatTag;
        if (c.typeId == kTypeWave) {
            s.audio[3].codecClass = 3;
            s.audio[3].formatTag = c.tag;
        } else {
            s.formatTag = c.tag;
            s.sourceKind = kSourceContainerSound;
        }
        EXPECT_EQ(a.Types(kAudioStream).elementary, c.expected);
        EXPECT_EQ(IsPcmAudio(a.records, 0), c.pcm);
    }
}

}  // namespace
}  // namespace torvo
