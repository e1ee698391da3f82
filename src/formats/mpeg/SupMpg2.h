// CSupMpg2: walks MPEG-2 video (ISO/IEC 13818-2), counting sequence,
// extension, GOP and picture headers and the picture coding flags, and
// reduces them to a summary: interlaced or progressive, field order,
// pictures per field, 3:2 pulldown, display size and colour matrix.
#pragma once

#include <array>
#include <cstdint>

#include "base/ByteView.h"
#include "records/MpegRecords.h"
#include "formats/mpeg/StartCodes.h"

namespace torvo {

class CSupMpg2 {
public:
    // Contexts in which extensions and user data are counted.
    enum Context : size_t { kAfterSequence = 0, kAfterGop = 1, kAfterPicture = 2 };

    explicit CSupMpg2(ParseErrorFlag* errors = nullptr) : errors_(errors) { Reset(); }
    virtual ~CSupMpg2() = default;

    void Reset();
    // Walks the range (looking its start codes up in index, when given and
    // holding them); returns sequenceSeen.
    int Scan(ByteView data, StartCodeIndex* index = nullptr);
    // Fills the summary; returns sequenceSeen.
    int Summarise(Mpeg2Summary& summary) const;

    // Field periods a picture of the given mode occupies (0 for modes that do not occur).
    static int FieldCount(size_t mode);

    int sequenceSeen = 0;
    int pictureCount = 0;
    std::array<int, 32> modeCounts{};
    int interlaced = 0;
    std::array<std::array<int, 16>, 3> extensionCounts{};
    std::array<int, 3> userDataCounts{};
    int malformedSequences = 0, otherErrors = 0;
    int sequenceHeaders = 0, sequenceExtensions = 0, gopHeaders = 0, pictures = 0;
    int displayWidth = 0, displayHeight = 0;
    int matrixCoefficients = -1, videoFormat = -1;

private:
    uint64_t Next(uint64_t p) const;
    int Code(uint64_t p) const;
    uint64_t SequenceWalk(uint64_t p);
    uint64_t PictureGroupWalk(uint64_t p);
    uint64_t CountWhile(uint64_t p, uint8_t code, int& counter);
    void DisplayExtension(uint64_t p);

    ParseErrorFlag* errors_;
    ParseErrorFlag ownErrors_;
    ByteView data_;
    StartCodeIndex* index_ = nullptr;
};

}  // namespace torvo
