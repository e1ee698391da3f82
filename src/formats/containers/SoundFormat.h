// What the readers of the sound formats (FLAC, AIFF, AU, WavPack, Creative
// Voice, RIFX) and of Ogg and RealMedia share: a clamped view of the file,
// the sound stream they describe, durations from sample counts, and the
// Vorbis comments that FLAC, Vorbis, Opus and Speex carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ByteView.h"
#include "base/FileCache.h"
#include "records/Records.h"

namespace torvo {

// Up to `length` bytes at `position`, cut to the end of the file and to the
// reader's window; empty past the end.
ByteView ViewAt(CFileCache& reader, uint64_t position, uint64_t length);

// The next free stream slot as a sound stream the container describes: it
// is counted, offered in the audio list and named. Null when all slots are taken.
StreamInfo* AddSoundStream(AnalysisRecords& records, std::string_view codecName, int32_t formatTag);

// The sample format of a sound stream, each number held within its field.
void SetSoundFormat(StreamInfo& stream, uint64_t rate, uint64_t channels, uint64_t bits, int32_t bitrateType);

// The sound stream in the first slot as the file's only track, named `codec`.
void AddOnlySoundTrack(AnalysisRecords& records, std::string codec);

// Milliseconds of `samples` at `rate`; 0 when the rate is 0 or the time is
// beyond what a report can show (a hundred thousand hours).
int64_t SamplesToMs(uint64_t samples, uint64_t rate);

// The stream's and the file's playing time, and the file's bitrate over it
// when the container states none.
void SetSoundDuration(AnalysisRecords& records, StreamInfo& stream, int64_t durationMs, uint64_t audioBytes);

// A Vorbis comment block (vendor string, then "NAME=value" texts with 32-bit
// little-endian lengths): each comment becomes a metadata item, at most the
// records' limit, each text at most 255 bytes. The vendor string is returned.
std::string ReadVorbisComments(ByteView block, std::vector<MetadataItem>& items);

// Adds an item when both parts are non-empty and the list has room.
void AddMetadataItem(std::vector<MetadataItem>& items, std::string name, std::string text);

}  // namespace torvo
