#!/usr/bin/env bash
# Set-up, a build, and torvo-cli over every bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVO_TESTS=OFF >/dev/null
cmake --build build --target torvo-cli torvo
mapfile -t samples < <(find tests/data -type f ! -name '*.sh' | sort)
./build/src/app/cli/torvo-cli "${samples[@]}"
