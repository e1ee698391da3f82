#include "records/Records.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace torvo {

SpareBlocks::~SpareBlocks() {
    for (size_t i = 0; i < count_; ++i) std::free(blocks_[i]);
}

uint8_t* SpareBlocks::Take() {
    if (count_ > 0) return blocks_[--count_];
    return static_cast<uint8_t*>(std::malloc(kElementaryBufferSize));
}

void SpareBlocks::GiveBack(uint8_t* block) {
    if (count_ < kMaxKept) blocks_[count_++] = block;
    else std::free(block);
}

size_t ElementaryBuffer::Append(ByteView bytes) {
    const size_t take = std::min(bytes.size(), Room());
    if (take == 0) return 0;
    if (!bytes_) {
        // The whole 4 MiB at once: pages that are never written are never
        // touched, and the bytes collected are never copied again.
        bytes_ = spares_ ? spares_->Take() : static_cast<uint8_t*>(std::malloc(kElementaryBufferSize));
        if (!bytes_) return 0;
        capacity_ = kElementaryBufferSize;
    }
    std::memcpy(bytes_ + size_, bytes.data(), take);
    size_ += take;
    return take;
}

void ElementaryBuffer::Clear() {
    if (bytes_ && spares_) spares_->GiveBack(bytes_);
    else std::free(bytes_);
    bytes_ = nullptr;
    size_ = capacity_ = 0;
}

StreamInfo& AnalysisRecords::Stream(size_t slot) {
    auto& stream = streams.at(slot);
    if (!stream) stream = NewStream();
    return *stream;
}

std::unique_ptr<StreamInfo> AnalysisRecords::NewStream() {
    auto stream = std::make_unique<StreamInfo>();
    stream->data.DrawFrom(spares.get());
    return stream;
}

void AnalysisRecords::Reset() {
    container = {};
    video = VideoInfo{};
    video.data.DrawFrom(spares.get());  // moved records draw on their spares again from here
    for (auto& stream : streams) stream.reset();
    audioList.fill(-1);
    shownAudio = 0;
    videoStatus = 0;
    audioStatus.fill(0);
    audioBeyondList.clear();
    audioBeyondListStatus.clear();
    diagnostics.clear();
}

std::array<AudioResult, kAudioClassCount> EffectiveResults(const StreamInfo& s) {
    std::array<AudioResult, kAudioClassCount> results = s.audio;
    if (s.sourceKind > 0 && static_cast<size_t>(s.sourceKind) < kAudioClassCount &&
        results[s.sourceKind].codecClass == 0) {
        AudioResult& r = results[s.sourceKind];
        r.codecClass = s.sourceKind;
        r.formatTag = s.formatTag;
        r.channels = s.channels;
        r.sampleRate = s.sampleRate;
        r.bitrateKbps = s.bitrateKbps;
        r.rateMode = s.bitrateType;
        r.channelModeText = s.channelLayoutName;
        if (s.fourcc && !s.codecName.empty()) {
            // A sound sample entry is named by its FourCC and the codec's name.
            std::string fourcc;
            for (int i = 0; i < 4; ++i) fourcc += static_cast<char>((s.fourcc >> (8 * i)) & 0xFF);
            r.codecText = fourcc + ": " + s.codecName;
        } else {
            r.codecText = s.codecName;
        }
    }
    return results;
}

}  // namespace torvo
