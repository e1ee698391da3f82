#!/usr/bin/env bash
# Times torvo-cli against mediainfo over a whole corpus (bench/make_corpus.sh),
# each tool in one process over every file: whole-process wall time with
# start-up and the codec database load, the median of several runs, the tools
# taking turns, then each figure, the ratios and the peak memory of each.
# Debian 12: apt-get install mediainfo time.
#
#   bench/compare_mediainfo.sh [--default-run] [CORPUS_DIR] [TORVO_CLI]
#
# Header analysis (the default here): `torvo-cli --json --no-scan` against
# `mediainfo --Output=JSON`. With --default-run: torvo-cli with its default
# settings (the full scan of AVI and MPEG files on) against mediainfo's full
# parse (--ParseSpeed=1) and its default.
set -euo pipefail
mode=headers
if [[ "${1:-}" == "--default-run" ]]; then mode=default; shift; fi
corpus=${1:-/tmp/torvo-corpus}
cli=${2:-$(dirname "$0")/../build/src/app/cli/torvo-cli}
runs=${TORVO_BENCH_RUNS:-15}
[[ -d "$corpus" ]] || { echo "no corpus at $corpus (run bench/make_corpus.sh)" >&2; exit 2; }
[[ -x "$cli" ]] || { echo "no torvo-cli at $cli" >&2; exit 2; }
# The settings of the run live in a scratch folder, never in the user's.
config=$(mktemp -d); trap 'rm -rf "$config"' EXIT

# The tools take turns, run by run: on a shared machine whose speed drifts
# over seconds, all medians then come from the same stretch of time. Each is
# started directly, as hyperfine -N would, not through a shell.
python3 - "$mode" "$runs" "$config" "$cli" "$corpus" <<'PY'
import os, resource, statistics, subprocess, sys, time
mode, runs, config, cli, corpus = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
files = sorted(os.path.join(corpus, f) for f in os.listdir(corpus) if os.path.isfile(os.path.join(corpus, f)))
if mode == "headers":
    commands = {"torvo-cli --json --no-scan": [cli, "--json", "--no-scan", *files],
                "mediainfo --Output=JSON": ["mediainfo", "--Output=JSON", *files]}
else:
    commands = {"torvo-cli --json": [cli, "--json", *files],
                "mediainfo --ParseSpeed=1 --Output=JSON": ["mediainfo", "--ParseSpeed=1", "--Output=JSON", *files],
                "mediainfo --Output=JSON": ["mediainfo", "--Output=JSON", *files]}
environment = dict(os.environ, XDG_CONFIG_HOME=config)
times = {name: [] for name in commands}
peaks = {}
for turn in range(runs + 2):  # the first two turns warm the caches and are not counted
    for name, command in commands.items():
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, env=environment)
        _, status, usage = os.wait4(process.pid, 0)
        if status != 0 and os.waitstatus_to_exitcode(status) not in (0, 1):
            sys.exit(f"{name} failed")
        if turn >= 2:  # the warm-up turns gather the codec inventory once: not what a run costs
            times[name].append(time.perf_counter() - start)
            peaks[name] = max(peaks.get(name, 0), usage.ru_maxrss)
print(f"files: {len(files)}, {runs} runs each")
first = next(iter(commands))
for name in commands:
    m = statistics.median(times[name])
    ratio = "" if name == first else f"  {m / statistics.median(times[first]):5.1f}x torvo-cli's time"
    print(f"{name:40} median {m * 1000:8.1f} ms  ({m * 1000 / len(files):.3f} ms a file)  peak RSS {peaks[name]} KiB{ratio}")
PY
