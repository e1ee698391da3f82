// ID3 tags of MPEG audio files (id3.org, ID3v2.2-2.4 and ID3v1): the title,
// artist, album, year and comment, as metadata items for the user data list,
// and the pictures the tag attaches.
#pragma once

#include <vector>

#include "base/ByteView.h"
#include "records/Records.h"

namespace torvo {

// Reads an ID3v2 tag at the start of data; returns the items added. The
// tag's attached pictures (APIC) go into `pictures` when given.
size_t ReadId3v2(ByteView data, std::vector<MetadataItem>& items, std::vector<AttachedPicture>* pictures = nullptr);

// Reads an ID3v1 tag (128 bytes from "TAG"); an item whose name the list
// already holds (from an ID3v2 tag) is not added again.
size_t ReadId3v1(ByteView tag, std::vector<MetadataItem>& items);

}  // namespace torvo
