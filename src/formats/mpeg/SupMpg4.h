// CSupMpg4: MPEG-4 Part 2 visual (ISO/IEC 14496-2) elementary data: the
// video object layer header field by field, and the VOP headers with their
// timing, counted by coding type, with the two kinds of not-coded VOPs.
#pragma once

#include <cstdint>
#include <vector>

#include "base/ByteView.h"
#include "records/Records.h"
#include "formats/mpeg/BitReader.h"

namespace torvo {

class StartCodeIndex;

// The video object layer header fields this parser reads and keeps.
struct VolInfo {
    int randomAccessible = 0, objectType = 0, verid = 0, priority = 0;
    int aspectRatioInfo = 0, parWidth = 0, parHeight = 0;
    int chromaFormat = 0, lowDelay = 0, vbvParameters = 0;
    int shape = 0, shapeExtension = 0;
    uint32_t timeResolution = 0;
    int timeBits = 0;
    int fixedVopRate = 0;
    uint32_t fixedVopTimeIncrement = 0;
    int width = 0, height = 0;
    int interlaced = 0, obmcDisable = 0, spriteEnable = 0;
    int notEightBit = 0, quantPrecision = 5, bitsPerPixel = 8;
    int quantType = 0, quarterSample = 0;
    int complexityEstimationDisable = 0, resyncMarkerDisable = 0, dataPartitioned = 0, reversibleVlc = 0;
    int newpredEnable = 0, reducedResolutionVop = 0;
    int scalability = 0;
};

class CSupMpg4 {
public:
    virtual ~CSupMpg4() = default;

    // Runs over the range; true when it was accepted. Writes the summary and,
    // when accepted, the MPEG video header of VideoInfo. Start codes are
    // looked up in index when it is given and holds them.
    bool Analyse(ContainerInfo& container, VideoInfo& video, ByteView data, StartCodeIndex* index = nullptr);
    // The same over the video payload collected in VideoInfo.
    bool AnalyseCollected(ContainerInfo& container, VideoInfo& video) {
        return Analyse(container, video, video.data.View());
    }

    // Number of significant bits of a time resolution (1 for 0 and 1).
    static int TimeBits(uint32_t resolution);

    // Reads a layer header whose video object start code is at the view's start.
    bool ReadVol(ByteView item, VolInfo& vol) const;

    int GoodVops() const { return goodVops_; }
    int BadVops() const { return badVops_; }
    double AccumulatedMs() const { return accumulatedMs_; }

private:
    bool ReadVop(ByteView item, const VolInfo& vol, Mpeg4Summary& summary);
    static void SkipQuantMatrix(BitReader& bits);

    int previousModulo_ = 0;
    uint32_t previousIncrement_ = 0;
    uint32_t lastReferenceIncrement_ = 0;
    // The times of the first VOPs in ticks (seconds counted as a decoder
    // counts them: a B-VOP's from the reference shown before it): their
    // shortest step is the VOP period of a layer that states no fixed rate.
    static constexpr size_t kTimedVops = 64;
    std::vector<uint64_t> vopTimes_;
    uint64_t timeBase_ = 0, lastTimeBase_ = 0;
    uint32_t ShortestVopStep();
    bool referenceAdvancedSeconds_ = false;
    double accumulatedMs_ = 0;
    int goodVops_ = 0, badVops_ = 0;
};

}  // namespace torvo
