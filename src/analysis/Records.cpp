#include "analysis/Records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace torvo {

size_t ElementaryBuffer::Append(ByteView bytes) {
    const size_t take = std::min(bytes.size(), Room());
    if (take == 0) return 0;
    if (size_ + take > capacity_) {
        // The whole 4 MiB at once: pages that are never written are never
        // touched, and the bytes already collected are never copied again.
        const size_t capacity = kElementaryBufferSize;
        auto* grown = static_cast<uint8_t*>(std::realloc(bytes_, capacity));
        if (!grown) return 0;
        bytes_ = grown;

        capacity_ = capacity;
    }
    std::memcpy(bytes_ + size_, bytes.data(), take);
    size_ += take;
    return take;
}

void ElementaryBuffer::Clear() {
    std::free(bytes_);
    bytes_ = nullptr;
    size_ = capacity_ = 0;
}

StreamInfo& AnalysisRecords::Stream(size_t slot) {
    auto& stream = streams.at(slot);
    if (!stream) stream = std::make_unique<StreamInfo>();
    return *stream;
}

void AnalysisRecords::Reset() {
    container = {};
    video = VideoInfo{};
    for (auto& stream : streams) stream.reset();
    audioList.fill(-1);
    shownAudio = 0;
}

}  // namespace torvo
