// File type identification: an ID3v2 tag is stepped over, the signature table
// is tried, and the MPEG-2 transport stream test runs; files with no signature
// are then handed to a content analyser.
#pragma once

#include <cstdint>

#include "base/FileCache.h"
#include "records/Records.h"
#include "records/SignatureTable.h"

namespace torvo {

// What identification knows about the file being analysed.
struct FileIdentity {
    int32_t typeId = kTypeUnknown;
    StreamLayout layout = StreamLayout::kNone;
    const SignatureRow* row = nullptr;  // the recorded signature row
};

// Recognises files without a signature by what they contain (raw DV, MPEG
// system and video streams, elementary audio). It may set the type id and
// the stream layout, and fills the records with the streams it finds; it is
// called only when neither the type nor the layout is known yet.
class ContentAnalyser {
public:
    virtual ~ContentAnalyser() = default;
    // Returns what the analysis found wrong with the file's end.
    virtual ReadStatus Analyse(CFileCache& reader, FileIdentity& identity, AnalysisRecords& records) = 0;
};

// Size of the ID3v2 tag at the start of the header buffer (header included),
// or 0 when there is none.
uint64_t Id3v2TagSize(ByteView header);

// Stages 1 and 2: steps over one ID3v2 tag, then returns the first matching
// row (also recorded in identity, with its type id) or nullptr.
const SignatureRow* IdentifyBySignature(CFileCache& reader, FileIdentity& identity);

// The MPEG-2 transport stream test over the header buffer: true when some
// packet id shows fourteen continuity counters in a row.
bool IsTransportStream(ByteView header);

// After the analysers: derives the type id from the layout or a raw DV
// finding when it is still unknown, and records the row for the type id when
// no signature matched. dvTypeId is 53/54 when the video record says raw DV.
void SettleFileType(FileIdentity& identity, int32_t dvTypeId = kTypeUnknown);

}  // namespace torvo
