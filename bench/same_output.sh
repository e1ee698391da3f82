#!/usr/bin/env bash
# Checks that a build of torvo-cli writes exactly what an earlier build wrote:
# the text report, JSON and --fields, with and without the full scan, over
# every file under the given folders (default: tests/data and the benchmark
# corpus), once with all files in one run (the files then share the cores)
# and once file by file (the one-file start). Any difference is printed and
# the status is 1. The read speed a scan reports is left out of the comparison.
#
#   bench/same_output.sh BASELINE_CLI [TORVO_CLI] [FOLDER...]
#
# Both programs run with the same scratch settings and cache folders; a
# baseline outside its build tree finds its database through XDG_DATA_DIRS
# and its GStreamer module through TORVO_GST_MODULE, as an installed one does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
baseline=${1:?usage: bench/same_output.sh BASELINE_CLI [TORVO_CLI] [FOLDER...]}
cli=${2:-$here/../build/src/app/cli/torvo-cli}
shift $(($# < 2 ? $# : 2))
folders=("$@")
((${#folders[@]})) || folders=("$here/../tests/data" /tmp/torvo-corpus)
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
export XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=${SAME_OUTPUT_CACHE:-$scratch/cache}
mkdir -p "$XDG_CONFIG_HOME/Quellmark"
# SAME_OUTPUT_SETTINGS=FILE: both run with these stored settings.
[[ -z "${SAME_OUTPUT_SETTINGS:-}" ]] || cp "$SAME_OUTPUT_SETTINGS" "$XDG_CONFIG_HOME/Quellmark/Torvo.conf"

files=()
for folder in "${folders[@]}"; do
  [[ -d "$folder" ]] || { echo "skipping $folder (missing)" >&2; continue; }
  while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$folder" -type f ! -name '*.sh' ! -name '*.txt' -print0 | sort -z)
done
((${#files[@]})) || { echo "no files" >&2; exit 2; }

status=0
speed='s/"read_kib_per_s":[0-9]+/"read_kib_per_s":_/'
compare() {  # label, then the options
  local label=$1; shift
  # The read speed of a scan is the one figure that may differ.
  "$baseline" "$@" 2> "$scratch/before.err" | sed -E "$speed" > "$scratch/before" || true
  "$cli" "$@" 2> "$scratch/after.err" | sed -E "$speed" > "$scratch/after" || true
  if ! cmp -s "$scratch/before" "$scratch/after"; then
    echo "DIFFERENT: $label" >&2
    # head may close the pipe early: that is not a failure of the comparison.
    diff "$scratch/before" "$scratch/after" | cut -c1-300 | head -20 >&2 || true
    status=1
  fi
}
# The first run of each program fills its codec inventory cache.
"$baseline" --no-scan "${files[0]}" > /dev/null 2>&1 || true
"$cli" --no-scan "${files[0]}" > /dev/null 2>&1 || true
for mode in "" --json --fields; do
  for scan in --scan --no-scan; do
    compare "${mode:-text} $scan, ${#files[@]} files in one run" $mode $scan "${files[@]}"
  done
done
for f in "${files[@]}"; do
  for mode in "" --json --fields; do compare "${mode:-text} --scan $f" $mode --scan "$f"; done
  compare "text --no-scan $f" --no-scan "$f"
done
((status)) || echo "same output: ${#files[@]} files, $baseline and $cli" >&2
exit $status
