// The names the analysis driver asks the codec database for: audio format
// tags, video FourCCs, encoders named in user data, MP4 brands.
#pragma once

#include "analysis/Driver.h"
#include "base/GuidText.h"
#include "codecdb/ReadDatabase.h"

namespace torvo {

// Fills the driver's naming callbacks from a loaded database, which must
// outlive the driver.
void UseDatabaseNames(DriverOptions& options, const CReadDatabase& database);

// The names of a loaded codec database, which must outlive the lookup.
GuidNameLookup DatabaseGuidNames(const CReadDatabase& database);

}  // namespace torvo
