// The MPEG-family parsers over arbitrary bytes, one function per stage: the
// split fuzz targets run one each, and the combined entry point that the
// robustness tests replay samples through runs them all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/FileCache.h"
#include "analysis/MpegContent.h"
#include "formats/containers/CoverPicture.h"
#include "formats/containers/Id3Tags.h"
#include "formats/mpeg/SupDV.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupHEVC.h"
#include "ReusedRecords.h"
#include "formats/mpeg/SupMpg.h"
#include "formats/mpeg/SupMpg4.h"

namespace torvo::fuzz {

// The elementary audio scans (MPEG audio, AC-3, DTS, ADTS and ADIF AAC),
// the ID3v2 tag and the header of a picture it carries.
inline void RunMpegAudio(const uint8_t* data, size_t size) {
    const ByteView bytes(data, size);
    AudioResult result;
    CSupMp3().Analyse(bytes, result);
    CSupAC3().Analyse(bytes, result);
    CSupDTS().Analyse(bytes, result);
    ContainerInfo container;
    container.fileSize = size;
    CSupAAC().Analyse(bytes, result, container);
    container.typeId = kTypeAacAdif;
    CSupAAC().Analyse(bytes, result, container);
    // An ID3v2 tag in front of the audio, with its texts and pictures, and a
    // picture's own header read from the first byte on.
    std::vector<MetadataItem> items;
    ReadId3v2(bytes, items, &container.pictures);
    AttachedPicture picture;
    ReadPictureHeader(bytes, picture);
}

// The video parsers: DV, H.264, H.265, the MPEG-2 statistics, MPEG-4 Part 2.
// The first byte stands for the time scale a container would give MPEG-4.
inline void RunMpegVideo(const uint8_t* data, size_t size) {
    const ByteView bytes(data, size);
    DvInfo dv;
    CSupDV().Analyse(dv, bytes);
    VideoHeader header;
    CSupH264().Analyse(header, bytes);
    HevcSequence sequence;
    CSupHEVC().Analyse(bytes, sequence);
    CSupHEVC::IsElementaryStream(bytes, sequence);
    CSupHEVC::CountPictures(bytes);
    CSupMpg2 counter;
    counter.Scan(bytes);
    ContainerInfo container;
    container.fileSize = size;
    VideoInfo video;
    video.timeScale = size ? data[0] : 0;
    CSupMpg4().Analyse(container, video, bytes);
}

// The system-stream analysis (packs, PES packets, the streams inside).
inline void RunMpegSystem(const uint8_t* data, size_t size) {
    AnalysisRecords& records = ReusedRecords();
    CSupMpg mpg(records);
    mpg.Analyse(ByteView(data, size), size * 3);
}

// The content stage of identification, over the bytes as a whole file.
inline void RunMpegContent(const uint8_t* data, size_t size) {
    CFileCache reader;
    if (!reader.AttachMemory(data, size, false)) return;
    AnalysisRecords& records = ReusedRecords();
    FileIdentity identity;
    CMpegContentAnalyser().Analyse(reader, identity, records);
}

}  // namespace torvo::fuzz
