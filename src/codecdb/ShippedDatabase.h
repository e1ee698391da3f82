// The codec database the program ships, as the build parsed it: a file with
// the same bytes is not parsed again at start-up (see CompactDatabase).
#pragma once

#include "codecdb/ReadDatabase.h"

namespace torvo {

// Made by the build from data/Torvo27.dat (codecdb/WriteShippedDatabase.cpp).
const CompactDatabase& ShippedCompactDatabase();

}  // namespace torvo
