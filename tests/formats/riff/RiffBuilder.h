// Byte builders for RIFF files: chunks, lists and the AVI and WAVE headers,
// so that tests can make the files ffmpeg never writes.
#pragma once

#include <string>
#include <vector>

#include "TestUtil.h"

namespace torvo::test {

inline Bytes Le16(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
inline Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A chunk with the given size field (default: the data's size), padded to even length.
inline Bytes Chunk(const std::string& id, const Bytes& data, int64_t declared = -1) {
    Bytes out = Cat({Text(id), Le32(declared < 0 ? uint32_t(data.size()) : uint32_t(declared)), data});
    if (data.size() & 1) out.push_back(0);
    return out;
}
inline Bytes List(const std::string& id, const std::string& type, const std::vector<Bytes>& children,
                  int64_t declared = -1) {
    Bytes body = Text(type);
    for (const Bytes& c : children) body.insert(body.end(), c.begin(), c.end());
    return Cat({Text(id), Le32(declared < 0 ? uint32_t(body.size()) : uint32_t(declared)), body});
}

inline Bytes Avih(uint32_t usPerFrame, uint32_t frames, uint32_t width, uint32_t height, uint32_t maxBytes = 0) {
    Bytes d = Cat({Le32(usPerFrame), Le32(maxBytes), Le32(0), Le32(0x10), Le32(frames), Le32(0), Le32(2), Le32(0),
                   Le32(width), Le32(height)});
    d.resize(56, 0);
    return Chunk("avih", d);
}
inline Bytes Strh(const std::string& type, const std::string& handler, uint32_t scale, uint32_t rate,
                  uint32_t length, uint32_t sampleSize = 0) {
    std::string fourcc = handler;
    fourcc.resize(4, '\0');
    Bytes d = Cat({Text(type), Text(fourcc), Le32(0), Le32(0), Le32(0), Le32(scale), Le32(rate), Le32(0),
                   Le32(length), Le32(0), Le32(0), Le32(sampleSize)});
    d.resize(56, 0);
    return Chunk("strh", d);
}
inline Bytes BitmapStrf(int32_t width, int32_t height, std::string compression, const Bytes& extra = {}) {
    compression.resize(4, '\0');
    return Chunk("strf", Cat({Le32(40), Le32(uint32_t(width)), Le32(uint32_t(height)), Le16(1), Le16(24),
                              Text(compression), Bytes(20, 0), extra}));
}
inline Bytes WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t align = 4) {
    return Cat({Le16(tag), Le16(channels), Le32(rate), Le32(avgBytes), Le16(align), Le16(16)});
}

// A RIFF AVI with one video stream (40 ms frames), optionally one audio
// stream, and a 'movi' list whose chunks follow `pattern`: 'V' a 100-byte
// video chunk, 'A' a 50-byte audio chunk, 'Z' a video chunk of size 0.
struct AviSpec {
    std::string pattern = "VAVAVA";
    bool audio = true;
    bool legacyIndex = false;
    std::vector<Bytes> extraHeader;  // further children of hdrl
    std::vector<Bytes> extraTop;     // further children of the RIFF chunk, before movi
    Bytes strfExtra;                 // bytes after the video BITMAPINFOHEADER
    size_t indexSize = 1600;
};
inline Bytes BuildAvi(const AviSpec& spec) {
    std::vector<Bytes> hdrl = {Avih(40000, 6, 320, 240),
                               List("LIST", "strl", {Strh("vids", "XVID", 1, 25, 6), BitmapStrf(320, 240, "XVID", spec.strfExtra)})};
    if (spec.audio)
        hdrl.push_back(List("LIST", "strl", {Strh("auds", "", 1, 16000, 0),
                                             Chunk("strf", WaveFormat(0x55, 2, 44100, 16000))}));
    hdrl.insert(hdrl.end(), spec.extraHeader.begin(), spec.extraHeader.end());
    std::vector<Bytes> movi;
    for (char c : spec.pattern) {
        if (c == 'V') movi.push_back(Chunk("00dc", Cat({Bytes{0, 0, 1, 0xB6}, Bytes(96, 0x11)})));
        if (c == 'A') movi.push_back(Chunk("01wb", Bytes(50, 0x22)));
        if (c == 'Z') movi.push_back(Chunk("00dc", {}));
    }
    std::vector<Bytes> top = {List("LIST", "hdrl", hdrl)};
    top.insert(top.end(), spec.extraTop.begin(), spec.extraTop.end());
    top.push_back(List("LIST", "movi", movi));
    if (spec.legacyIndex) top.push_back(Chunk("idx1", Bytes(spec.indexSize, 0)));
    return List("RIFF", "AVI ", top);
}

}  // namespace torvo::test
