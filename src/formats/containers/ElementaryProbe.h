// The elementary-stream parsers run over what a transport stream or a
// Matroska file collected: the video buffer by the codec the container
// declared, each sound stream by the tests that fit its declared codec.
#pragma once

#include <cstdint>

#include "records/Records.h"

namespace torvo {

enum class VideoCodecKind { kNone, kMpeg12, kMpeg4, kH264, kHevc, kOther };

// Runs the parsers for the kind over VideoInfo's buffer; for HEVC the
// sequence parameter set gives the size and the name.
void ProbeCollectedVideo(VideoCodecKind kind, AnalysisRecords& records);

// The elementary audio tests as bits.
enum AudioTests : unsigned {
    kTestMpegAudio = 1,
    kTestAc3 = 2,
    kTestDts = 4,
    kTestAac = 8,
    kTestAllAudio = 15,
};

// Runs the chosen tests over a stream's buffer, each into its result record.
void ProbeCollectedAudio(unsigned tests, StreamInfo& stream, ContainerInfo& container);

// FourCC (first byte low) of a four-character code.
constexpr uint32_t FourCCOf(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

}  // namespace torvo
