// Byte builders and runners shared by the container tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "TestUtil.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo::test {

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Be16(uint32_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes Be24(uint32_t v) { return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
inline Bytes Be64(uint64_t v) { return Bytes{} + Be32(uint32_t(v >> 32)) + Be32(uint32_t(v)); }
inline Bytes Le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
inline Bytes Le64(uint64_t v) { return Le32(uint32_t(v)) + Le32(uint32_t(v >> 32)); }
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }

// Runs an analyser over bytes held in memory.
struct MemoryReader {
    explicit MemoryReader(const Bytes& bytes) { reader.AttachMemory(bytes.data(), bytes.size(), true); }
    CFileCache reader;
    AnalysisRecords records;
};

inline std::string ContainerSample(const std::string& name) { return SamplePath("containers/" + name); }

// The NAL unit header bytes of a start-code stream (00 00 00 01 before each
// unit); empty when the bytes do not start with a start code.
inline std::vector<int> NalHeaders(ByteView bytes) {
    std::vector<int> types;
    for (uint64_t pos = 0; pos + 4 < bytes.size();) {
        if (bytes.Be32(pos) != 1) return pos == 0 ? std::vector<int>{} : types;
        types.push_back(bytes.U8(pos + 4));
        uint64_t next = pos + 4;
        while (next + 4 <= bytes.size() && bytes.Be32(next) != 1) ++next;
        pos = next + 4 <= bytes.size() ? next : bytes.size();
    }
    return types;
}

}  // namespace torvo::test
