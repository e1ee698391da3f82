// The elementary audio parsers on real streams made by ffmpeg and on
// byte-built frames for the cases no encoder produces.
#include <gtest/gtest.h>

#include "formats/mpeg/MpegTestUtil.h"
#include "formats/mpeg/SupAAC.h"
#include "formats/mpeg/SupAC3.h"
#include "formats/mpeg/SupDTS.h"
#include "formats/mpeg/SupMp3.h"

namespace torvo {
namespace {

using test::Bytes;
using test::View;

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, joint stereo: 417 bytes, 418 with padding.
constexpr uint8_t kL3b1 = 0xFB, kL3b2 = 0x90, kL3Joint = 0x40;
Bytes Cbr128Frame(bool padding = false) {
    return test::Mp3Frame(kL3b1, kL3b2 | (padding ? 2 : 0), kL3Joint, padding ? 418 : 417);
}

AudioResult Mp3(const Bytes& b) {
    AudioResult r;
    CSupMp3().Analyse(View(b), r);
    return r;
}

TEST(Mp3, RealStreams) {
    struct Case {
        const char* name;
        int version, layer, rate, bitrate, mode, durationUs;
        const char* channelMode;
    };
    const Case cases[] = {
        {"mp3_cbr128.mp3", 2, 4, 44100, 128, 1, 26122, "монофония "},
        {"mp3_mpeg2_22050.mp3", 3, 4, 22050, 32, 1, 52244, "монофония "},
        {"mp3_mpeg25_8000.mp3", 4, 4, 8000, 16, 1, 144000, "монофония "},
        {"mp2_48000.mp2", 2, 3, 48000, 192, 1, 24000, "монофония "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AudioResult r = Mp3(test::Sample(c.name));
        EXPECT_EQ(r.codecClass, kAudioClassMpeg);
        EXPECT_EQ(r.versionCode, c.version);
        EXPECT_EQ(r.layerCode, c.layer);
        EXPECT_EQ(r.sampleRate, c.rate);
        EXPECT_EQ(r.bitrateKbps, c.bitrate);
        EXPECT_EQ(r.rateMode, c.mode);
        EXPECT_EQ(r.frameDurationUs, c.durationUs);
        EXPECT_EQ(r.channelModeText, c.channelMode);
        EXPECT_EQ(r.channels, 1);
        EXPECT_EQ(r.breakCount, 0);
        EXPECT_TRUE(r.encoderText.empty());
    }
    // ffprobe counts 40 frames in the CBR sample; the frame ends chain.
    const AudioResult cbr = Mp3(test::Sample("mp3_cbr128.mp3"));
    EXPECT_EQ(cbr.frameCount, 40u);
    ASSERT_GE(cbr.frameEnds.size(), 3u);
    EXPECT_TRUE(cbr.frameEnds[1] == 417 || cbr.frameEnds[1] == 418);
    EXPECT_TRUE(cbr.frameEnds[2] - cbr.frameEnds[1] == 417 || cbr.frameEnds[2] - cbr.frameEnds[1] == 418);
}

TEST(Mp3, XingHeaderMakesTheStreamVariable) {
    const AudioResult stereo = Mp3(test::Sample("mp3_vbr_lame.mp3"));
    EXPECT_EQ(stereo.codecClass, kAudioClassMpeg);
    EXPECT_EQ(stereo.rateMode, 2);
    EXPECT_EQ(stereo.channels, 2);
    // ffmpeg names itself "Lavc..." where LAME would write "LAME": no encoder text.
    EXPECT_EQ(stereo.encoderText, "");
    EXPECT_GT(stereo.bitrateKbps, 24);
    EXPECT_LT(stereo.bitrateKbps, 128);
    // In a mono MPEG-1 frame the header sits at offset 21, which is not looked at.
    const AudioResult mono = Mp3(test::Sample("mp3_vbr_mono.mp3"));
    EXPECT_EQ(mono.codecClass, kAudioClassMpeg);
    EXPECT_NE(mono.rateMode, 0);
}

TEST(Mp3, LameTextStopsAtTheFirstByteOutsideTheAllowedSet) {
    Bytes first = Cbr128Frame();
    const std::string lame = "LAME3.100 (beta)_x/y";
    test::Put(first, 36, "Xing");
    test::Put(first, 156, lame);
    first[156 + lame.size()] = 0x01;
    Bytes b = first;
    test::Repeat(b, Cbr128Frame(), 9);
    const AudioResult r = Mp3(b);
    EXPECT_EQ(r.encoderText, lame);
    EXPECT_EQ(r.rateMode, 2);
    EXPECT_EQ(r.bitrateKbps, 128);

    // Text running on to offset 186 is cut at 30 characters; "lame" must be upper case.
    std::fill(b.begin() + 156, b.begin() + 200, 'A');
    test::Put(b, 156, "LAME");
    EXPECT_EQ(Mp3(b).encoderText, "LAME" + std::string(26, 'A'));
    test::Put(b, 156, "lame");
    EXPECT_EQ(Mp3(b).encoderText, "");
    // The tag itself is compared without regard to case.
    test::Put(b, 36, "xInG");
    EXPECT_EQ(Mp3(b).rateMode, 2);
}

TEST(Mp3, VbriHeaderNamesFraunhofer) {
    Bytes b = Cbr128Frame();
    test::Put(b, 36, "vbri");
    test::Repeat(b, Cbr128Frame(), 9);
    const AudioResult r = Mp3(b);
    EXPECT_EQ(r.encoderText, "Fraunhofer");
    EXPECT_EQ(r.rateMode, 2);
    EXPECT_EQ(r.bitrateKbps, 128);
}

TEST(Mp3, AcceptanceNeedsFiveFramesAndFewBreaks) {
    Bytes four;
    test::Repeat(four, Cbr128Frame(), 4);
    AudioResult r = Mp3(four);
    EXPECT_EQ(r.codecClass, 0);
    EXPECT_EQ(r.frameCount, 0u);  // the whole record is zeroed
    EXPECT_EQ(r.sampleRate, 0);

    Bytes five;
    test::Repeat(five, Cbr128Frame(), 5);
    EXPECT_EQ(Mp3(five).codecClass, kAudioClassMpeg);

    // One lost sync after ten frames, then a hundred more: 110 * 256 / 111 >= 224.
    Bytes broken;
    test::Repeat(broken, Cbr128Frame(), 10);
    test::Append(broken, {0x12, 0x34, 0x56});
    test::Repeat(broken, Cbr128Frame(), 100);
    r = Mp3(broken);
    EXPECT_EQ(r.codecClass, kAudioClassMpeg);
    EXPECT_EQ(r.frameCount, 110u);
    EXPECT_EQ(r.breakCount, 1);
    EXPECT_EQ(r.frameEnds[11], 10 * 417 + 3 + 417);

    // Many breaks: 8 frames, each followed by garbage.
    Bytes ragged;
    for (int i = 0; i < 8; ++i) {
        test::Repeat(ragged, Cbr128Frame(), 1);
        test::Append(ragged, {0x00});
    }
    EXPECT_EQ(Mp3(ragged).codecClass, 0);
}

// After a lost sync the search goes on at the next FF whose next byte has its
// top three bits set: an FF without one, or as the last byte, is passed over.
// A loss with no frame after it is not a break.
TEST(Mp3, LostSyncResumesAtTheNextRealSync) {
    const struct {
        Bytes garbage;
        int framesAfter;
    } cases[] = {
        {{0x12, 0xFF, 0x12}, 100}, {{0xFF, 0x00}, 100}, {{0x12, 0xFF, 0x00, 0xFF, 0x1F}, 100},
        {{0x12, 0xFF}, 0},         {{0x12, 0xFF, 0x00, 0xFF}, 0},
    };
    for (const auto& c : cases) {
        Bytes b;
        test::Repeat(b, Cbr128Frame(), 10);
        b.insert(b.end(), c.garbage.begin(), c.garbage.end());
        test::Repeat(b, Cbr128Frame(), c.framesAfter);
        const AudioResult r = Mp3(b);
        SCOPED_TRACE(c.garbage.size());
        EXPECT_EQ(r.frameCount, 10u + unsigned(c.framesAfter));
        EXPECT_EQ(r.breakCount, c.framesAfter > 0 ? 1 : 0);  // no frame after the loss: no break
        if (c.framesAfter > 0) {
            EXPECT_EQ(r.frameEnds[11], 10 * 417 + c.garbage.size() + 417);
        }
    }
}

TEST(Mp3, BitrateChangesCountFromTheFourthFrame) {
    // 160 kbit/s at 44.1 kHz: 522 bytes.
    const Bytes f160 = test::Mp3Frame(kL3b1, 0xA0, kL3Joint, 522);
    Bytes early;  // a change among the first three frames does not count
    test::Repeat(early, f160, 1);
    test::Repeat(early, Cbr128Frame(), 9);
    AudioResult r = Mp3(early);
    EXPECT_EQ(r.rateMode, 1);
    EXPECT_EQ(r.bitrateKbps, 128);

    Bytes late;
    test::Repeat(late, Cbr128Frame(), 4);
    test::Repeat(late, f160, 4);
    r = Mp3(late);
    EXPECT_EQ(r.rateMode, 2);
    EXPECT_EQ(r.bitrateKbps, (4 * 128 + 4 * 160) / 8);
}

TEST(Mp3, ReservedSampleRateIndexIsFiftyKilohertz) {
    // MPEG-1 Layer III 128 kbit/s, rate index 3: 144 * 128000 / 50000 = 368 bytes.
    Bytes b;
    test::Repeat(b, test::Mp3Frame(kL3b1, 0x9C, 0xC0, 368), 6);
    const AudioResult r = Mp3(b);
    EXPECT_EQ(r.sampleRate, 50000);
    EXPECT_EQ(r.frameCount, 6u);
    EXPECT_EQ(r.channelModeText, "монофония ");
    EXPECT_EQ(r.frameDurationUs, 1152 * 1000000 / 50000);
}

// --- AC-3 ---

// A 48 kHz AC-3 frame with the given frame-size code, acmod and lfe.
Bytes Ac3Frame(int frmsizecod, int acmod, bool lfe, int bsmod = 0) {
    Bytes f(static_cast<size_t>(CSupAC3::FrameBytes(0, frmsizecod)), 0);
    f[0] = 0x0B;
    f[1] = 0x77;
    f[4] = static_cast<uint8_t>(frmsizecod);
    f[5] = static_cast<uint8_t>(8 << 3 | bsmod);
    test::BitWriter w;
    w.Put(static_cast<unsigned>(acmod), 3);
    if ((acmod & 1) && acmod != 1) w.Put(0, 2);
    if (acmod & 4) w.Put(0, 2);
    if (acmod == 2) w.Put(0, 2);
    w.Put(lfe, 1).Align();
    std::copy(w.Data().begin(), w.Data().end(), f.begin() + 6);
    return f;
}

TEST(Ac3, RealStreams) {
    AudioResult r;
    ASSERT_TRUE(CSupAC3().Analyse(View(test::Sample("ac3_51.ac3")), r));
    EXPECT_EQ(r.codecClass, kAudioClassAc3);
    EXPECT_EQ(r.channels, 5);
    EXPECT_EQ(r.lfe, 1);
    EXPECT_EQ(r.channelModeText, "6 канал.(3/2 .1)");
    EXPECT_EQ(r.bitrateKbps, 448);
    EXPECT_EQ(r.sampleRate, 48000);
    EXPECT_EQ(r.frameDurationUs, 32000);
    EXPECT_EQ(r.rateMode, 1);
    EXPECT_EQ(r.serviceText, "CM");
    EXPECT_EQ(r.frameEnds[1], 1792);
    EXPECT_EQ(r.frameEnds[2], 2 * 1792);

    AudioResult stereo;
    ASSERT_TRUE(CSupAC3().Analyse(View(test::ReadBytes(test::SamplePath("ac3_stereo.ac3"))), stereo));
    EXPECT_EQ(stereo.channelModeText, "стерео (2/0)");
    EXPECT_EQ(stereo.bitrateKbps, 96);
    EXPECT_EQ(stereo.channels, 2);
    EXPECT_EQ(stereo.sampleRate, 44100);
}

TEST(Ac3, LfeBitFollowsTheOptionalMixFields) {
    // lfeon moves with cmixlev, surmixlev and dsurmod, which depend on acmod.
    for (int acmod = 0; acmod < 8; ++acmod) {
        for (int lfe = 0; lfe < 2; ++lfe) {
            Bytes b;
            test::Repeat(b, Ac3Frame(10, acmod, lfe, acmod), 12);
            AudioResult r;
            ASSERT_TRUE(CSupAC3().Analyse(View(b), r)) << acmod;
            EXPECT_EQ(r.lfe, lfe) << acmod;
            EXPECT_EQ(r.bitrateKbps, 80);
        }
    }
    Bytes b;
    test::Repeat(b, Ac3Frame(10, 1, true), 12);
    AudioResult r;
    CSupAC3().Analyse(View(b), r);
    EXPECT_EQ(r.channelModeText, "2 канала(1/0 .1)");
}

TEST(Ac3, GarbageAfterFiveFramesIsABreak) {
    Bytes b;
    test::Repeat(b, Ac3Frame(28, 2, false), 5);
    b.insert(b.end(), 300, 0x55);
    test::Repeat(b, Ac3Frame(28, 2, false), 10);
    AudioResult r;
    ASSERT_TRUE(CSupAC3().Analyse(View(b), r));
    EXPECT_EQ(r.breakCount, 1);
    // 4 frames before the gap (the fifth is the break), then 8: the last frame
    // lies in the tail that is never tried, and the one before has no next sync.
    EXPECT_EQ(r.frameCount, 12u);

    Bytes few;
    test::Repeat(few, Ac3Frame(28, 2, false), 4);
    few.insert(few.end(), 3000, 0);
    EXPECT_FALSE(CSupAC3().Analyse(View(few), r));
    EXPECT_EQ(r.frameCount, 0u);
}

// --- DTS ---

TEST(Dts, CoreHeaderAtTheDataStart) {
    AudioResult r;
    ASSERT_TRUE(CSupDTS().Analyse(View(test::Sample("dts_51.dts")), r));
    EXPECT_EQ(r.codecClass, kAudioClassDts);
    EXPECT_EQ(r.sampleRate, 48000);
    EXPECT_EQ(r.bitrateKbps, 1411);  // ffprobe: 1411200 bit/s
    EXPECT_EQ(r.channels, 5);
    EXPECT_EQ(r.channelModeText, "C + L + R + SL + SR");

    // AMODE 9, SFREQ 13, RATE 15.
    Bytes b = {0x7F, 0xFE, 0x80, 0x01, 0, 0, 0, 0x02, 0x75, 0xE0, 0};
    AudioResult built;
    ASSERT_TRUE(CSupDTS().Analyse(View(b), built));
    EXPECT_EQ(built.channels, 5);
    EXPECT_EQ(built.sampleRate, 48000);
    EXPECT_EQ(built.bitrateKbps, 768);
    // AMODE 16 and above: user-defined.
    b[7] = 0x04;
    b[8] = 0x34;
    AudioResult user;
    ASSERT_TRUE(CSupDTS().Analyse(View(b), user));
    EXPECT_EQ(user.channelModeText, "пользователя");
    EXPECT_EQ(user.channels, 0);

    // One byte of padding first: not recognised, and the record is left alone.
    b.insert(b.begin(), 0x00);
    AudioResult untouched;
    untouched.channels = 42;
    EXPECT_FALSE(CSupDTS().Analyse(View(b), untouched));
    EXPECT_EQ(untouched.channels, 42);
}

// --- AAC ---

Bytes AdtsFrame(int id, int profile, int rateIndex, int channels, size_t length) {
    Bytes f(length, 0);
    test::BitWriter w;
    w.Put(0xFFF, 12).Put(static_cast<unsigned>(id), 1).Put(0, 2).Put(1, 1);
    w.Put(static_cast<unsigned>(profile), 2).Put(static_cast<unsigned>(rateIndex), 4).Put(0, 1);
    w.Put(static_cast<unsigned>(channels), 3).Put(0, 4).Put(length, 13).Put(0x7FF, 11).Put(0, 2);
    std::copy(w.Data().begin(), w.Data().end(), f.begin());
    return f;
}

TEST(Aac, RealAdtsStreams) {
    for (const std::string& path : {test::SamplePath("mpeg/aac_stereo.aac"), test::SamplePath("aac_adts.aac")}) {
        SCOPED_TRACE(path);
        const Bytes b = test::ReadBytes(path);
        ContainerInfo container;
        container.fileSize = b.size();
        AudioResult r;
        ASSERT_TRUE(CSupAAC().Analyse(View(b), r, container));
        EXPECT_EQ(r.codecClass, kAudioClassAac);
        EXPECT_EQ(r.sampleRate, 44100);
        EXPECT_EQ(r.profileText, "LC Profile");
        EXPECT_EQ(r.versionCode, 5);  // ffmpeg writes ID 0 (MPEG-4)
        EXPECT_EQ(r.frameDurationUs, 23219);
        EXPECT_EQ(r.adifFlag, 0);
        // About one second of sound (ffprobe: 1.0 s); the last frame is not chained.
        EXPECT_NEAR(container.scrDurationMs, 1000, 80);
    }
    const Bytes stereo = test::Sample("aac_stereo.aac");
    ContainerInfo container;
    container.fileSize = stereo.size();
    AudioResult r;
    CSupAAC().Analyse(View(stereo), r, container);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.channelModeText, "стерео (2/0)");
    EXPECT_NEAR(r.bitrateKbps, 96, 12);  // ffprobe: 96.6 kbit/s
}

TEST(Aac, AdtsFieldsAndChaining) {
    Bytes b;
    test::Repeat(b, AdtsFrame(1, 1, 4, 2, 300), 12);
    ContainerInfo container;
    container.fileSize = b.size();
    AudioResult r;
    ASSERT_TRUE(CSupAAC().Analyse(View(b), r, container));
    EXPECT_EQ(r.profileText, "LC Profile");
    EXPECT_EQ(r.sampleRate, 44100);
    EXPECT_EQ(r.channelModeText, "стерео (2/0)");
    EXPECT_EQ(r.versionCode, 3);
    EXPECT_EQ(r.frameCount, 11u);  // the last frame reaches the end of the data
    // 300 bytes every 23,219 us.
    EXPECT_EQ(r.bitrateKbps, static_cast<int>(int64_t(11 * 300) * 8000000 / (int64_t(23219) * 11 * 1000)));

    // A frame with a layer other than 0 does not chain.
    Bytes layered;
    test::Repeat(layered, AdtsFrame(1, 1, 4, 2, 300), 12);
    for (size_t at = 0; at < layered.size(); at += 300) layered[at + 1] |= 0x02;
    EXPECT_FALSE(CSupAAC().Analyse(View(layered), r, container));
    EXPECT_EQ(r.sampleRate, 0);

    // Garbage between frames: the frame before it does not chain, so every
    // byte of that frame and of the gap is scanned and counted as a break.
    Bytes gappy;
    test::Repeat(gappy, AdtsFrame(0, 0, 3, 6, 16), 6);
    gappy.insert(gappy.end(), 2, 0x11);
    test::Repeat(gappy, AdtsFrame(0, 0, 3, 6, 16), 150);
    ASSERT_TRUE(CSupAAC().Analyse(View(gappy), r, container));
    EXPECT_EQ(r.breakCount, 16 + 2);
    EXPECT_EQ(r.frameCount, 5u + 149u);
    EXPECT_EQ(r.channelModeText, "6 канал.(3/2 .1)");
    EXPECT_EQ(r.profileText, "Main Profile");
    EXPECT_EQ(r.sampleRate, 48000);
    gappy.resize(gappy.size() - 100 * 16);
    EXPECT_FALSE(CSupAAC().Analyse(View(gappy), r, container));  // 54 frames cannot carry 18 breaks
}

TEST(Aac, LastHeaderWithAReservedRate) {
    // The last header scanned sets the sample rate even when it does not
    // chain; a reserved index there must not break the timing arithmetic.
    Bytes b;
    test::Repeat(b, AdtsFrame(0, 1, 4, 2, 64), 8);
    test::Repeat(b, AdtsFrame(0, 1, 15, 2, 64), 1);  // reaches the end: the scan stops there
    ContainerInfo container;
    container.fileSize = b.size();
    AudioResult r;
    ASSERT_TRUE(CSupAAC().Analyse(View(b), r, container));
    EXPECT_EQ(r.sampleRate, 0);
    EXPECT_EQ(r.frameDurationUs, 0);
    EXPECT_EQ(r.frameCount, 8u);
}

TEST(Aac, AdifHeader) {
    ContainerInfo container;
    container.typeId = kTypeAacAdif;
    // bitstream_type 1: no buffer fullness; profile 1 (LC), rate index 3.
    test::BitWriter w;
    w.Put(0, 1).Put(0, 1).Put(0, 1).Put(1, 1).Put(128000, 23).Put(0, 4);  // header up to the PCE count
    w.Put(0, 4).Put(1, 2).Put(3, 4).Align();                                 // PCE: tag, object type, rate
    Bytes b;
    test::Append(b, "ADIF");
    b.insert(b.end(), w.Data().begin(), w.Data().end());
    AudioResult r;
    ASSERT_TRUE(CSupAAC().Analyse(View(b), r, container));
    EXPECT_EQ(r.adifFlag, 1);
    EXPECT_EQ(r.codecClass, kAudioClassAac);
    EXPECT_EQ(r.bitrateKbps, 128000);  // bits per second, as the header gives it
    EXPECT_EQ(r.profileText, "LC Profile");
    EXPECT_EQ(r.sampleRate, 48000);

    // bitstream_type 0 with a copyright id: the buffer fullness comes first.
    test::BitWriter c;
    c.Put(1, 1).Put(0, 8).Put(0x1234, 64).Put(0, 1).Put(0, 1).Put(0, 1).Put(64000, 23).Put(0, 4).Put(0, 20);
    c.Put(0, 4).Put(3, 2).Put(8, 4).Align();
    Bytes b2;
    test::Append(b2, "ADIF");
    b2.insert(b2.end(), c.Data().begin(), c.Data().end());
    AudioResult r2;
    ASSERT_TRUE(CSupAAC().Analyse(View(b2), r2, container));
    EXPECT_EQ(r2.bitrateKbps, 64000);
    EXPECT_EQ(r2.profileText, "LTP Profile");
    EXPECT_EQ(r2.sampleRate, 16000);
}

}  // namespace
}  // namespace torvo
