#!/usr/bin/env bash
# Times `torvo-cli --json --no-scan` against `mediainfo --Output=JSON` over a whole
# corpus (bench/make_corpus.sh), each tool in one process over every file:
# whole-process wall time with start-up and the codec database load, the
# median of several runs (hyperfine), then both figures, the ratio and the
# peak memory of each. Debian 12: apt-get install hyperfine mediainfo time.
#
#   bench/compare_mediainfo.sh [CORPUS_DIR] [TORVO_CLI]
set -euo pipefail
corpus=${1:-/tmp/torvo-corpus}
cli=${2:-$(dirname "$0")/../build/src/app/cli/torvo-cli}
runs=${TORVO_BENCH_RUNS:-15}
[[ -d "$corpus" ]] || { echo "no corpus at $corpus (run bench/make_corpus.sh)" >&2; exit 2; }
[[ -x "$cli" ]] || { echo "no torvo-cli at $cli" >&2; exit 2; }
files=$(find "$corpus" -maxdepth 1 -type f | sort | tr '\n' ' ')
count=$(wc -w <<<"$files")
# The settings of the run live in a scratch folder, never in the user's.
config=$(mktemp -d); results=$(mktemp); trap 'rm -rf "$config" "$results"' EXIT
# Header analysis, as mediainfo does it: the full scan (on by default) is left out.
torvo="XDG_CONFIG_HOME=$config $cli --json --no-scan $files"
mediainfo="mediainfo --Output=JSON $files"

hyperfine --style basic --warmup 2 --runs "$runs" --export-json "$results" \
  -n torvo-cli "$torvo >/dev/null" -n mediainfo "$mediainfo >/dev/null" >&2

peak() { /usr/bin/time -f %M sh -c "$1 >/dev/null" 2>&1 | tail -n 1; }
torvoPeak=$(peak "$torvo")
mediainfoPeak=$(peak "$mediainfo")

python3 - "$results" "$count" "$torvoPeak" "$mediainfoPeak" <<'PY'
import json, sys
runs = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
count, torvo_kb, mediainfo_kb = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
t, m = runs["torvo-cli"]["median"], runs["mediainfo"]["median"]
print(f"files: {count}")
print(f"torvo-cli --json --no-scan median {t * 1000:8.1f} ms  ({t * 1000 / count:.3f} ms a file)  peak RSS {torvo_kb} KiB")
print(f"mediainfo --Output=JSON    median {m * 1000:8.1f} ms  ({m * 1000 / count:.3f} ms a file)  peak RSS {mediainfo_kb} KiB")
print(f"ratio (mediainfo / torvo-cli): {m / t:.1f}x")
PY
