#!/usr/bin/env bash
# Set-up, then a normal and an AddressSanitizer+UBSan build, each running the
# whole test suite. Warnings are errors here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
jobs=$(nproc)
run() {  # run DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTORVO_WERROR=ON -DTORVO_BENCH=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}
echo "== normal build"
run build-check -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run build-asan -DCMAKE_BUILD_TYPE=Debug -DTORVO_SANITIZE=ON -DTORVO_BENCH=OFF

echo "== fuzz smoke campaign (libFuzzer, a short run per target over the samples)"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVO_FUZZ=ON -DTORVO_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_all
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
find tests/data -type f ! -name '*.sh' -size -400k -exec cp {} "$corpus/" \;
for target in build-fuzz/fuzz/fuzz_*; do
  [[ -x "$target" ]] || continue
  echo "-- $(basename "$target")"
  "$target" -max_total_time="${TORVO_FUZZ_SECONDS:-20}" -max_len=400000 -rss_limit_mb=4096 \
    -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done
