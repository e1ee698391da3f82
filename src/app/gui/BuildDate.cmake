# Writes the build's day (UTC, or SOURCE_DATE_EPOCH's) into OUT, touching the
# file only when the day changed, so that a rebuild recompiles only its user.
string(TIMESTAMP day "%Y-%m-%d" UTC)
file(CONFIGURE OUTPUT "${OUT}" CONTENT "#pragma once\n#define TORVO_BUILD_DATE \"${day}\"\n")
