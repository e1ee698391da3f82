// CSupWav: the header objects of ASF (Windows Media) files as the published
// ASF format document lays them out: file and stream properties, the header extension with its
// extended stream properties and metadata, the codec list and the stream
// bitrates. Objects are recognised by their GUIDs compared as stored bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileCache.h"
#include "records/Records.h"
#include "base/Translate.h"

namespace torvo {

using AsfGuid = std::array<uint8_t, 16>;

class CSupWav {
public:
    static constexpr size_t kMaxAudioStreams = 4;
    static constexpr size_t kMaxCodecEntries = 8;
    static constexpr size_t kMaxCodecText = 63;
    static constexpr size_t kFilePropertiesSize = 80;

    // What the header says about one stream number (1-127).
    struct StreamEntry {
        std::string_view kind;  // "вид", "ауд", ... ; empty for a number never described
        bool encrypted = false;
        uint32_t averageBitrate = 0;  // bits per second, from the stream bitrate properties
        int isVbr = -1;               // -1 not stated, 0 false, 1 true
        // From the extended stream properties.
        bool extended = false;
        uint64_t timePerFrame = 0;  // 100-ns units
        uint32_t dataBitrate = 0;   // bits per second
    };

    struct CodecEntry {
        uint16_t type = 0;  // 1 video, 2 audio
        std::string name, description;
    };

    // Audio streams go to records.Stream(0..3) in the order they are described.
    CSupWav(CFileCache& reader, AnalysisRecords& records);
    virtual ~CSupWav();

    // Reads the Header object. Data that does not start with the Header
    // object (or whose second reserved byte is not 2) is left alone and is
    // ok; otherwise the status says where the file's top-level objects stop
    // short or go wrong.
    ReadStatus ReadHeader();
    // Whether ReadHeader found the Header object and read it.
    bool HeaderRead() const { return headerRead_; }

    const std::array<uint8_t, kFilePropertiesSize>& FileProperties() const { return fileProperties_; }
    uint32_t PacketSize() const { return packetSize_; }
    bool Broadcast() const { return broadcast_; }
    bool Seekable() const { return seekable_; }
    const StreamEntry& Stream(unsigned number) const { return streams_[number & 0x7F]; }
    const std::vector<CodecEntry>& Codecs() const { return codecs_; }
    uint32_t AspectRatioX() const { return aspectX_; }
    uint32_t AspectRatioY() const { return aspectY_; }

private:
    ReadStatus CheckTopLevel() const;
    void Dispatch(const AsfGuid& guid, uint64_t body, uint64_t bodySize, int depth);
    void ReadFileProperties(ByteView body);
    void ReadStreamProperties(ByteView body);
    void ReadHeaderExtension(uint64_t body, uint64_t bodySize, int depth);
    void ReadCodecList(ByteView body);
    void ReadStreamBitrates(ByteView body);
    void ReadExtendedStreamProperties(ByteView body, uint64_t bodyPosition, int depth);
    void ReadMetadata(ByteView body);
    void ReadContentDescription(ByteView body);
    // The video's frame period from the presentation times of the first data packets.
    void ReadPayloadTimes(uint64_t dataObject, uint64_t length);
    void AddMetadataItem(std::string name, std::string text, int stream, bool composed = false);
    void Finish();

    CFileCache& reader_;
    AnalysisRecords& records_;
    std::array<uint8_t, kFilePropertiesSize> fileProperties_{};
    uint32_t packetSize_ = 0;
    bool broadcast_ = false, seekable_ = false;
    std::array<StreamEntry, 128> streams_{};
    bool videoFilled_ = false;
    unsigned videoStream_ = 0;
    uint32_t aspectX_ = 0, aspectY_ = 0;
    bool haveAspectX_ = false, haveAspectY_ = false;
    std::vector<CodecEntry> codecs_;
    // Stream numbers of the metadata items that came from the Metadata object,
    // by item index; their kind name is put in front once every stream is known.
    std::vector<std::pair<size_t, int>> metadataStreams_;
    bool headerRead_ = false;
};

// The GUID in its stored form (the first three fields little-endian) from
// its text form "75B22630-668E-11CF-A6D9-00AA0062CE6C".
constexpr AsfGuid GuidFromText(std::string_view text) {
    auto hex = [](char c) -> uint8_t {
        return static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - 'A' + 10);
    };
    auto byteAt = [&](size_t pos) { return static_cast<uint8_t>(hex(text[pos]) << 4 | hex(text[pos + 1])); };
    // Positions of the text's byte pairs in stored order.
    constexpr size_t kOrder[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
    AsfGuid guid{};
    for (size_t i = 0; i < 16; ++i) guid[i] = byteAt(kOrder[i]);
    return guid;
}

namespace asf {
inline constexpr AsfGuid kHeader = GuidFromText("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr AsfGuid kData = GuidFromText("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr AsfGuid kFileProperties = GuidFromText("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr AsfGuid kStreamProperties = GuidFromText("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr AsfGuid kHeaderExtension = GuidFromText("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr AsfGuid kCodecList = GuidFromText("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr AsfGuid kStreamBitrateProperties = GuidFromText("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr AsfGuid kExtendedStreamProperties = GuidFromText("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr AsfGuid kMetadata = GuidFromText("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA");
inline constexpr AsfGuid kContentDescription = GuidFromText("75B22633-668E-11CF-A6D9-00AA0062CE6C");
// Recognised, nothing taken: Simple Index and the payload extension systems.
inline constexpr std::array<AsfGuid, 7> kPassedOver = {
    GuidFromText("33000890-E5B1-11CF-89F4-00A0C90349CB"), GuidFromText("399595EC-8667-4E2D-8FDB-98814CE76C1E"),
    GuidFromText("E165EC0E-19ED-45D7-B4A7-25CBD1E28E9B"), GuidFromText("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC"),
    GuidFromText("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8"), GuidFromText("C6BD9450-867F-4907-83A3-C77921B733AD"),
    GuidFromText("6698B84E-0AFA-4330-AEB2-1C0A98D7A44D"),
};

struct StreamKind {
    AsfGuid guid;
    std::string_view name;
};
inline constexpr AsfGuid kAudioMedia = GuidFromText("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr AsfGuid kVideoMedia = GuidFromText("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr std::array<StreamKind, 7> kStreamKinds = {{
    {kAudioMedia, N_("ауд")},
    {kVideoMedia, N_("вид")},
    {GuidFromText("59DACFC0-59E6-11D0-A3AC-00A0C90348F6"), "Cmd"},
    {GuidFromText("B61BE100-5B4E-11CF-A8FD-00805F5C442B"), "JFIF"},
    {GuidFromText("35907DE0-E415-11CF-A917-00805F5C442B"), "JPEG"},
    {GuidFromText("91BD222C-F21C-497A-8B6D-5AA86BFC0185"), "File"},
    {GuidFromText("3AFB65E2-47EF-40F2-AC2C-70A90D71D343"), "Bin"},
}};
// The kind name of a stream type; any type not listed is binary.
constexpr std::string_view StreamKindName(const AsfGuid& type) {
    for (const StreamKind& kind : kStreamKinds)
        if (kind.guid == type) return kind.name;
    return "Bin";
}
}  // namespace asf

}  // namespace torvo
