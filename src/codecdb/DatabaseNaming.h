// The names the analysis driver asks the codec database for: audio format
// tags, video FourCCs, encoders named in user data, MP4 brands.
#pragma once

#include "analysis/Driver.h"
#include "codecdb/ReadDatabase.h"

namespace torvo {

// Fills the driver's naming callbacks from a loaded database, which must
// outlive the driver.
void UseDatabaseNames(DriverOptions& options, const CReadDatabase& database);

}  // namespace torvo
