// What a container reader met while walking a file: nothing amiss, or the
// byte offset where the file stops short (truncated) or stops making sense
// (damaged), with a one-line reason. Readers return it; the driver turns a
// failure into a container note and the typed report's diagnostics.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace torvo {

class ReadStatus {
public:
    enum class Kind : uint8_t { kOk, kTruncated, kDamaged };

    ReadStatus() = default;
    static ReadStatus Ok() { return {}; }
    // `offset` is where the structure that is cut short or wrong starts.
    static ReadStatus Truncated(uint64_t offset, std::string reason) {
        return ReadStatus(Kind::kTruncated, offset, std::move(reason));
    }
    static ReadStatus Damaged(uint64_t offset, std::string reason) {
        return ReadStatus(Kind::kDamaged, offset, std::move(reason));
    }

    bool IsOk() const { return kind_ == Kind::kOk; }
    Kind GetKind() const { return kind_; }
    uint64_t Offset() const { return offset_; }
    // English, one line, for scripts and logs.
    const std::string& Reason() const { return reason_; }
    // The stable id scripts test: "ok", "truncated" or "damaged".
    std::string_view Code() const {
        switch (kind_) {
            case Kind::kTruncated: return "truncated";
            case Kind::kDamaged: return "damaged";
            case Kind::kOk: break;
        }
        return "ok";
    }

    // Keeps the first problem met: what a walk finds after it lost its way says less.
    ReadStatus& Merge(ReadStatus later) {
        if (IsOk()) *this = std::move(later);
        return *this;
    }

private:
    ReadStatus(Kind kind, uint64_t offset, std::string reason) : kind_(kind), offset_(offset), reason_(std::move(reason)) {}

    Kind kind_ = Kind::kOk;
    uint64_t offset_ = 0;
    std::string reason_;
};

// A structure at `start` that declares `declared` bytes (header included
// or not, as `what` says) of which only `present` are in the file.
inline ReadStatus CutShort(uint64_t start, std::string_view what, uint64_t declared, uint64_t present) {
    return ReadStatus::Truncated(start, std::string(what) + " declares " + std::to_string(declared) + " bytes, " +
                                            std::to_string(present) + " present");
}

}  // namespace torvo
