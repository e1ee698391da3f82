#include "analysis/Records.h"

#include <algorithm>

namespace torvo {

size_t ElementaryBuffer::Append(ByteView bytes) {
    const size_t take = std::min(bytes.size(), Room());
    bytes_.insert(bytes_.end(), bytes.data(), bytes.data() + take);
    return take;
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
