#!/usr/bin/env bash
# Set-up, then a normal and an AddressSanitizer+UBSan build, each running the
# whole test suite. Warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
jobs=$(nproc)
# A compiler cache, where the machine has one, makes a second run of unchanged
# sources cheap; paths below the checkout are hashed relative to it, so that
# another clone of the same tree hits the same entries.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
run() {  # run DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTORVO_WERROR=ON -DTORVO_BENCH=ON "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}
echo "== normal build"
run build-check -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run build-asan -DCMAKE_BUILD_TYPE=Debug -DTORVO_SANITIZE=ON -DTORVO_BENCH=OFF

echo "== fuzz smoke (libFuzzer: each target over its seed corpus, then a few seconds of mutation)"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVO_FUZZ=ON -DTORVO_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_all
bash tools/fuzz.sh smoke build-fuzz "${TORVO_FUZZ_SECONDS:-5}"
