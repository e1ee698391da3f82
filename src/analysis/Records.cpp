#include "analysis/Records.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace torvo {
namespace {

// Buffers given back by finished analyses, for the next file's streams: their
// pages stay mapped, so a run over many files does not fault them in again.
// A few cover the video and the first sound streams of a file.
constexpr size_t kSpareBuffers = 3;
struct SpareBuffers {
    std::array<uint8_t*, kSpareBuffers> blocks{};
    size_t count = 0;
    ~SpareBuffers() {
        for (size_t i = 0; i < count; ++i) std::free(blocks[i]);
    }
};
thread_local SpareBuffers spareBuffers;

uint8_t* TakeBuffer() {
    if (spareBuffers.count > 0) return spareBuffers.blocks[--spareBuffers.count];
    return static_cast<uint8_t*>(std::malloc(kElementaryBufferSize));
}

void GiveBackBuffer(uint8_t* block) {
    if (spareBuffers.count < kSpareBuffers) spareBuffers.blocks[spareBuffers.count++] = block;
    else std::free(block);
}

}  // namespace

size_t ElementaryBuffer::Append(ByteView bytes) {
    const size_t take = std::min(bytes.size(), Room());
    if (take == 0) return 0;
    if (!bytes_) {
        // The whole 4 MiB at once: pages that are never written are never
        // touched, and the bytes collected are never copied again.
        bytes_ = TakeBuffer();
        if (!bytes_) return 0;
        capacity_ = kElementaryBufferSize;
    }
    std::memcpy(bytes_ + size_, bytes.data(), take);
    size_ += take;
    return take;
}

void ElementaryBuffer::Clear() {
    if (bytes_) GiveBackBuffer(bytes_);
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
    videoStatus = 0;
    audioStatus.fill(0);
}

}  // namespace torvo
