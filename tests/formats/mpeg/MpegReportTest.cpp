// The MPEG summary lines and the video format fields and lamps, from the
// records the analysis of real samples leaves behind.
#include <gtest/gtest.h>

#include "analysis/MpegReport.h"
#include "formats/mpeg/MpegTestUtil.h"
#include "formats/mpeg/SupMpg.h"

namespace torvo {
namespace {

std::unique_ptr<AnalysisRecords> Analysed(const std::string& sample, int32_t typeId = kTypeMpeg) {
    auto records = std::make_unique<AnalysisRecords>();
    records->container.typeId = typeId;
    const test::Bytes bytes = test::Sample(sample);
    CSupMpg(*records).Analyse(test::View(bytes), bytes.size());
    return records;
}

TEST(MpegReport, SummaryLines) {
    Display display;
    ReportMpegSummary(display, *Analysed("dvd_pal_ac3.vob"));
    ASSERT_EQ(display.Container().Lines().size(), 2u);
    EXPECT_EQ(display.Container().Lines()[0].text, "Формат DVD \"VOB\"");
    EXPECT_EQ(display.Container().Lines()[1].text, "Програмн.поток MPEG-2 << { 1 вид, 1 ауд }");
    EXPECT_EQ(display.Container().Lines()[1].colour, kColourMpegSummary);

    ContainerInfo c;
    c.cdImage = c.mpegInCdxa = true;
    c.layout = StreamLayout::kMpeg1System;
    c.videoCount = 1;
    EXPECT_EQ(MpegSummaryLine(c), "ISO << CDXA << Системн.поток MPEG-1 << { 1 вид }");
    c.otherCount = 2;  // the "others" text ends in two blanks, so the brace is not closed
    EXPECT_EQ(MpegSummaryLine(c), "ISO << CDXA << Системн.поток MPEG-1 << { 1 вид, 2 иных,  ");
    EXPECT_EQ(MpegSummaryLine(ContainerInfo{}), "нет ");
    EXPECT_EQ(MpegSummaryLine(Analysed("mp3_cbr128.mp3")->container), "Элементный звук  MPEG << { 1 ауд }");
}

TEST(MpegReport, VideoFormatCases) {
    Display mpeg2;
    EXPECT_EQ(ReportVideoFormat(mpeg2, *Analysed("mpeg2_interlaced.m2v")), VideoFormatCase::kMpeg2);
    EXPECT_EQ(mpeg2.Lamp("MPG2"), LampState::kLit);
    EXPECT_EQ(mpeg2.Lamp("I/L"), LampState::kLit);
    EXPECT_EQ(mpeg2.Lamp("PROG"), LampState::kDark);
    EXPECT_EQ(mpeg2.Lamp("TFF"), LampState::kLit);
    EXPECT_EQ(mpeg2.Lamp("3:2"), LampState::kDark);
    EXPECT_EQ(mpeg2.Fields().Field("VIDEO_MPEG2"), "MPEG-2");
    EXPECT_EQ(mpeg2.Fields().Field("VIDEO_MPEG2_I_L"), "I/L");
    EXPECT_EQ(mpeg2.Fields().Field("VIDEO_MPEG2_PROG"), "");
    EXPECT_EQ(mpeg2.Fields().Field("VIDEO_MPEG2_TFF"), "TFF");

    Display mpeg4;
    EXPECT_EQ(ReportVideoFormat(mpeg4, *Analysed("mpeg4_qpel.m4v")), VideoFormatCase::kMpeg4);
    EXPECT_EQ(mpeg4.Lamp("MPG4"), LampState::kLit);
    EXPECT_EQ(mpeg4.Lamp("QPEL"), LampState::kLit);
    EXPECT_EQ(mpeg4.Lamp("BVOP"), LampState::kLit);
    EXPECT_EQ(mpeg4.Lamp("PVOP"), LampState::kLit);
    EXPECT_EQ(mpeg4.Lamp("NVOP"), LampState::kDark);
    EXPECT_EQ(mpeg4.Fields().Field("VIDEO_MPEG4"), "MPEG-4");
    EXPECT_EQ(mpeg4.Fields().Field("VIDEO_MPEG4_QPEL"), "QPel");
    EXPECT_EQ(mpeg4.Fields().Field("VIDEO_MPEG4_GMC"), "");

    Display h264;
    EXPECT_EQ(ReportVideoFormat(h264, *Analysed("h264_320x240.264")), VideoFormatCase::kH264);
    EXPECT_EQ(h264.Lamp("H264"), LampState::kLit);

    // Raw DV: the DV flags drive the lamps, and the picture follows from them.
    auto dv = Analysed("dv_pal_16x9.dv", kTypeUnknown);
    Display dvDisplay;
    EXPECT_EQ(ReportVideoFormat(dvDisplay, *dv), VideoFormatCase::kRawDv);
    EXPECT_EQ(dvDisplay.Lamp("16:9"), LampState::kLit);
    EXPECT_EQ(dvDisplay.Lamp("PAL"), LampState::kLit);
    EXPECT_EQ(dvDisplay.Lamp("I/L"), LampState::kLit);
    EXPECT_EQ(dvDisplay.Lamp("3:2"), LampState::kHidden);
    ApplyDvPicture(dv->video);
    EXPECT_EQ(dv->video.width, 720);
    EXPECT_EQ(dv->video.height, 576);
    EXPECT_DOUBLE_EQ(dv->video.displayAspect, 16.0 / 9.0);

    // Nothing for files of other types, or without a video stream.
    Display none;
    EXPECT_EQ(ReportVideoFormat(none, *Analysed("mpeg2_interlaced.m2v", kTypeAsf)), VideoFormatCase::kNone);
    EXPECT_EQ(ReportVideoFormat(none, *Analysed("mp3_cbr128.mp3")), VideoFormatCase::kNone);
    EXPECT_TRUE(none.LitLamps().empty());
}

}  // namespace
}  // namespace torvo
