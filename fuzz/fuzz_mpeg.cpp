// Fuzz target: every MPEG-family parser over the same bytes — the elementary
// audio scans, DV, H.264, the MPEG-2 statistics, MPEG-4 Part 2, the whole
// system-stream analysis and the content stage of identification.
// Built for libFuzzer with -DTORVO_FUZZ=ON (clang); the test suite links the
// same entry point and replays truncated and mutated samples through it.
#include <cstddef>
#include <cstdint>

#include "base/FileCache.h"
#include "analysis/MpegContent.h"
#include "formats/mpeg/SupDV.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupMpg.h"
#include "formats/mpeg/SupMpg4.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace torvo;
    const ByteView bytes(data, size);
    {
        AudioResult result;
        CSupMp3().Analyse(bytes, result);
        CSupAC3().Analyse(bytes, result);
        CSupDTS().Analyse(bytes, result);
        ContainerInfo container;
        container.fileSize = size;
        CSupAAC().Analyse(bytes, result, container);
        container.typeId = kTypeAacAdif;
        CSupAAC().Analyse(bytes, result, container);
        DvInfo dv;
        CSupDV().Analyse(dv, bytes);
        VideoHeader header;
        CSupH264().Analyse(header, bytes);
        CSupMpg2 counter;
        counter.Scan(bytes);
        VideoInfo video;
        video.timeScale = size ? data[0] : 0;
        CSupMpg4().Analyse(container, video, bytes);
    }
    {
        AnalysisRecords records;
        CSupMpg mpg(records);
        mpg.Analyse(bytes, size * 3);
    }
    {
        CFileCache reader;
        if (reader.AttachMemory(data, size, false)) {
            AnalysisRecords records;
            FileIdentity identity;
            CMpegContentAnalyser().Analyse(reader, identity, records);
        }
    }
    return 0;
}
