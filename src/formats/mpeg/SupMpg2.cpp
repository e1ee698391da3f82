#include "formats/mpeg/SupMpg2.h"

#include <algorithm>
#include <cstdlib>

namespace torvo {
namespace {

constexpr uint8_t kPicture = 0x00, kUserData = 0xB2, kSequence = 0xB3, kExtension = 0xB5, kGop = 0xB8;
constexpr int kSequenceExtensionId = 1, kDisplayExtensionId = 2, kPictureCodingExtensionId = 8;
constexpr int kLastSliceCode = 0xAF;

// Field periods by mode = progressive_sequence * 16 + picture_structure * 4 +
// top_field_first * 2 + repeat_first_field.
constexpr std::array<int, 32> kFieldCounts = [] {
    std::array<int, 32> t{};
    t[4] = 1;   // top field: L
    t[8] = 1;   // bottom field: L
    t[12] = 2;  // BA
    t[13] = 3;  // BAB
    t[14] = 2;  // AB
    t[15] = 3;  // ABA
    t[28] = 1;  // R
    t[29] = 2;  // RR
    t[31] = 3;  // RRR
    return t;
}();

}  // namespace

int CSupMpg2::FieldCount(size_t mode) { return mode < kFieldCounts.size() ? kFieldCounts[mode] : 0; }

void CSupMpg2::Reset() {
    sequenceSeen = pictureCount = interlaced = 0;
    modeCounts.fill(0);
    for (auto& row : extensionCounts) row.fill(0);
    userDataCounts.fill(0);
    malformedSequences = otherErrors = sequenceHeaders = sequenceExtensions = gopHeaders = pictures = 0;
    displayWidth = displayHeight = 0;
    matrixCoefficients = videoFormat = -1;
}

uint64_t CSupMpg2::Next(uint64_t p) const {
    const uint64_t q = FindStartCode(data_, p + 1, index_);
    return q == ByteView::npos ? data_.size() : q;
}

int CSupMpg2::Code(uint64_t p) const { return IsAnyStartCode(data_, p) ? data_.U8(p + 3) : -1; }

uint64_t CSupMpg2::CountWhile(uint64_t p, uint8_t code, int& counter) {
    while (Code(p) == code) {
        ++counter;
        p = Next(p);
    }
    return p;
}

int CSupMpg2::Scan(ByteView data, StartCodeIndex* index) {
    data_ = data;
    index_ = index;
    for (uint64_t p = 0; p < data.size();) p = Code(p) == kSequence ? SequenceWalk(p) : Next(p);
    index_ = nullptr;
    return sequenceSeen;
}

uint64_t CSupMpg2::SequenceWalk(uint64_t p) {
    ++sequenceHeaders;
    p = Next(p);
    if (Code(p) != kExtension) {  // MPEG-1: no sequence extension
        ++malformedSequences;
        return Next(p);
    }
    if ((data_.U8(p + 4) >> 4) == kSequenceExtensionId) {
        ++sequenceExtensions;
        interlaced = 1 - ((data_.U8(p + 5) >> 3) & 1);
    } else {
        ++otherErrors;
    }
    p = Next(p);
    while (Code(p) == kExtension) {
        const int id = data_.U8(p + 4) >> 4;
        ++extensionCounts[kAfterSequence][static_cast<size_t>(id)];
        if (id == kDisplayExtensionId) DisplayExtension(p);
        p = Next(p);
    }
    p = CountWhile(p, kUserData, userDataCounts[kAfterSequence]);
    while (Code(p) == kGop || Code(p) == kPicture) {
        p = PictureGroupWalk(p);
        sequenceSeen = 1;
    }
    return p;
}

uint64_t CSupMpg2::PictureGroupWalk(uint64_t p) {
    if (Code(p) == kGop) {
        ++gopHeaders;
        p = Next(p);
        p = CountWhile(p, kExtension, extensionCounts[kAfterGop][0]);
        p = CountWhile(p, kUserData, userDataCounts[kAfterGop]);
        if (Code(p) != kPicture) {
            ++otherErrors;
            return p;
        }
    }
    if (Code(p) != kPicture) return p;
    ++pictures;
    p = Next(p);
    if (Code(p) == kExtension) {
        if ((data_.U8(p + 4) >> 4) == kPictureCodingExtensionId) {
            const int structure = data_.U8(p + 6) & 3;
            const int tff = data_.U8(p + 7) >> 7, rff = (data_.U8(p + 7) >> 1) & 1;
            const size_t mode = static_cast<size_t>((1 - interlaced) * 16 + structure * 4 + tff * 2 + rff);
            ++modeCounts[mode];
            ++pictureCount;
        } else {
            ++otherErrors;
        }
        p = Next(p);
    }
    p = CountWhile(p, kExtension, extensionCounts[kAfterPicture][0]);
    p = CountWhile(p, kUserData, userDataCounts[kAfterPicture]);
    // The slices, passed by in one lookup.
    static constexpr StartCodeSet kNotSlices = StartCodeSet::Range(0x01, kLastSliceCode).Complement();
    if (const int code = Code(p); code >= 0x01 && code <= kLastSliceCode) {
        const uint64_t q = FindStartCodeIn(data_, p + 1, kNotSlices, index_);
        p = q == ByteView::npos ? data_.size() : q;
    }
    return p;
}

void CSupMpg2::DisplayExtension(uint64_t p) {
    const uint8_t b4 = data_.U8(p + 4);
    videoFormat = (b4 >> 1) & 7;
    uint64_t sizes = p + 5;
    if (b4 & 1) {  // colour description
        matrixCoefficients = data_.U8(p + 7);
        sizes = p + 8;
    } else {
        matrixCoefficients = -1;
    }
    const uint8_t s0 = data_.U8(sizes), s1 = data_.U8(sizes + 1), s2 = data_.U8(sizes + 2), s3 = data_.U8(sizes + 3);
    displayWidth = s0 << 6 | s1 >> 2;
    (errors_ ? *errors_ : ownErrors_).Check("Bad Marker bit", (s1 >> 1) & 1);
    displayHeight = (s1 & 1) << 13 | s2 << 5 | s3 >> 3;
}

int CSupMpg2::Summarise(Mpeg2Summary& summary) const {
    summary = Mpeg2Summary{};
    summary.interlaced = interlaced;
    summary.seen = sequenceSeen;
    int64_t sum = 0;
    for (size_t m = 0; m < modeCounts.size(); ++m) sum += int64_t(modeCounts[m]) * kFieldCounts[m];
    const int64_t n = pictureCount;
    if (sum > 0) {
        const int64_t c = n / 2 + 2 * n;
        if (std::llabs(sum - c) <= c / 8) {
            summary.pulldown32 = 1;
        } else {
            summary.plain = std::llabs(sum - 2 * n) < std::max<int64_t>(n / 16, 2);
            if (interlaced) {
                summary.tff = modeCounts[14] > 0;
                summary.bff = modeCounts[12] > 0;
                summary.ppf = modeCounts[4] > 0 || modeCounts[8] > 0;
            }
        }
    }
    summary.displayWidth = displayWidth;
    summary.displayHeight = displayHeight;
    summary.matrixCoefficients = matrixCoefficients;
    summary.videoFormat = videoFormat;
    return sequenceSeen;
}

}  // namespace torvo
