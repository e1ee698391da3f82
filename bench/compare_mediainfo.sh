#!/usr/bin/env bash
# Times `torvo-cli --json --no-scan` against `mediainfo --Output=JSON` over a whole
# corpus (bench/make_corpus.sh), each tool in one process over every file:
# whole-process wall time with start-up and the codec database load, the
# median of several runs, the tools taking turns, then both figures, the
# ratio and the peak memory of each. Debian 12: apt-get install mediainfo time.
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
config=$(mktemp -d); trap 'rm -rf "$config"' EXIT
# Header analysis, as mediainfo does it: the full scan (on by default) is left out.
torvo="XDG_CONFIG_HOME=$config $cli --json --no-scan $files"
mediainfo="mediainfo --Output=JSON $files"

# The two tools take turns, run by run: on a shared machine whose speed drifts
# over seconds, both medians then come from the same stretch of time. Each is
# started directly, as hyperfine -N would, not through a shell.
python3 - "$count" "$runs" "$config" "$cli" $files <<'PY'
import os, statistics, subprocess, sys, time
count, runs, config, cli, files = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5:]
commands = {"torvo-cli": [cli, "--json", "--no-scan", *files], "mediainfo": ["mediainfo", "--Output=JSON", *files]}
environment = dict(os.environ, XDG_CONFIG_HOME=config)
times = {name: [] for name in commands}
for turn in range(runs + 2):  # the first two turns warm the caches and are not counted
    for name, command in commands.items():
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, env=environment, check=True)
        if turn >= 2:
            times[name].append(time.perf_counter() - start)
with open(os.path.join(config, "medians"), "w") as out:
    out.write(f"{statistics.median(times['torvo-cli'])} {statistics.median(times['mediainfo'])}\n")
PY

peak() { /usr/bin/time -f %M sh -c "$1 >/dev/null" 2>&1 | tail -n 1; }
torvoPeak=$(peak "$torvo")
mediainfoPeak=$(peak "$mediainfo")
read -r t m <"$config/medians"
python3 - "$count" "$runs" "$t" "$m" "$torvoPeak" "$mediainfoPeak" <<'PY'
import sys
count, runs = int(sys.argv[1]), int(sys.argv[2])
t, m = float(sys.argv[3]), float(sys.argv[4])
torvo_kb, mediainfo_kb = int(sys.argv[5]), int(sys.argv[6])
print(f"files: {count}, {runs} runs each")
print(f"torvo-cli --json --no-scan median {t * 1000:8.1f} ms  ({t * 1000 / count:.3f} ms a file)  peak RSS {torvo_kb} KiB")
print(f"mediainfo --Output=JSON    median {m * 1000:8.1f} ms  ({m * 1000 / count:.3f} ms a file)  peak RSS {mediainfo_kb} KiB")
print(f"ratio (mediainfo / torvo-cli): {m / t:.1f}x")
PY
