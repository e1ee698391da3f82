// Fuzz target: the first stages of identification over the bytes as a whole
// file: the ID3v2 tag step, the signature table, the transport stream test
// with its packet layout, and the settling of the file type.
#include <cstddef>
#include <cstdint>

#include "base/FileCache.h"
#include "analysis/Identify.h"
#include "formats/containers/SupTS.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace torvo;
    CFileCache reader;
    if (!reader.AttachMemory(data, size, false)) return 0;
    FileIdentity identity;
    IdentifyBySignature(reader, identity);
    if (IsTransportStream(reader.Header())) {
        identity.layout = StreamLayout::kTransportStream;
        FindTransportPacketLayout(reader.Header());
    }
    SettleFileType(identity);
    return 0;
}
