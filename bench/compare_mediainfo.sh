#!/usr/bin/env bash
# Times torvo-cli against mediainfo over a whole corpus (bench/make_corpus.sh),
# each tool in one process over every file: whole-process wall time with
# start-up and the codec database load, the median of several runs, the tools
# taking turns, then each figure, the ratios and the peak memory of each.
# Debian 12: apt-get install mediainfo time.
#
#   bench/compare_mediainfo.sh [--default-run] [CORPUS_DIR] [TORVO_CLI]
#   bench/compare_mediainfo.sh --table [CORPUS_DIR] [TORVO_CLI]
#
# Header analysis (the default here): `torvo-cli --json --no-scan` against
# `mediainfo --Output=JSON`. With --default-run: torvo-cli with its default
# settings (the full scan of AVI and MPEG files on) against mediainfo's full
# parse (--ParseSpeed=1) and its default.
#
# --table: the whole picture side by side in one sitting: one file (the
# corpus's first AVI), the corpus, and 2,000 files (hard links cycling through
# the corpus, made in a scratch folder), each with torvo-cli --no-scan and its
# default run against mediainfo with and without --ParseSpeed=1: wall median
# and peak RSS. Then, where the Python module is importable (PYTHONPATH), the
# Python and Dask files/s against the CLI's (bench/python_bench.py; the module
# built beside the CLI unless PYTHONPATH names one). Runs a
# set: TORVO_BENCH_RUNS (15) for one file and the corpus, TORVO_BENCH_RUNS_MANY
# (5) for the 2,000 files (TORVO_BENCH_MANY: how many). TORVO_BENCH_BASELINE=PATH adds the rows of another
# torvo-cli (an earlier build), timed in the same turns.
set -euo pipefail
mode=headers
if [[ "${1:-}" == "--default-run" ]]; then mode=default; shift; fi
if [[ "${1:-}" == "--table" ]]; then mode=table; shift; fi
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
if [[ "$mode" == table ]]; then
  python3 - "$runs" "${TORVO_BENCH_RUNS_MANY:-5}" "$config" "$cli" "$corpus" <<'PY'
import os, statistics, subprocess, sys, tempfile, time
runs, many_runs, config, cli, corpus = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
files = sorted(os.path.join(corpus, f) for f in os.listdir(corpus) if os.path.isfile(os.path.join(corpus, f)))
one = next((f for f in files if f.endswith(".avi")), files[0])
# 2,000 names for the same bytes: the page cache holds them as it holds the corpus.
links = tempfile.mkdtemp(prefix="torvo-bench-2000-")
many = []
for i in range(int(os.environ.get("TORVO_BENCH_MANY", "2000"))):
    source = files[i % len(files)]
    target = os.path.join(links, f"{i:04d}_{os.path.basename(source)}")
    try:
        os.link(source, target)
    except OSError:  # the corpus lies on another file system
        os.symlink(os.path.abspath(source), target)
    many.append(target)
environment = dict(os.environ, XDG_CONFIG_HOME=config)
tools = [("torvo-cli --json --no-scan", [cli, "--json", "--no-scan"]),
         ("torvo-cli --json", [cli, "--json"]),
         ("mediainfo --Output=JSON", ["mediainfo", "--Output=JSON"]),
         ("mediainfo --ParseSpeed=1 --Output=JSON", ["mediainfo", "--ParseSpeed=1", "--Output=JSON"])]
# An earlier build to compare with, taking its turns beside the others.
baseline = os.environ.get("TORVO_BENCH_BASELINE")
if baseline:
    tools += [("baseline --json --no-scan", [baseline, "--json", "--no-scan"]),
              ("baseline --json", [baseline, "--json"])]

def measure(paths, count):
    """Median wall seconds and peak RSS (KiB) of each tool over paths, the tools taking turns."""
    times = {name: [] for name, _ in tools}
    peaks = {name: 0 for name, _ in tools}
    warm = 2 if len(paths) < 1000 else 1
    for turn in range(count + warm):  # warm-up turns (page cache, codec inventory) not counted
        for name, command in tools:
            start = time.perf_counter()
            process = subprocess.Popen(command + paths, stdout=subprocess.DEVNULL, env=environment)
            _, status, usage = os.wait4(process.pid, 0)
            if os.waitstatus_to_exitcode(status) not in (0, 1):
                sys.exit(f"{name} failed")
            if turn >= warm:
                times[name].append(time.perf_counter() - start)
    # A child of this process inherits its peak size through fork and exec:
    # the peak comes from one more run under GNU time instead (whose own
    # share, the floor printed below, is in every figure alike).
    for name, command in tools:
        peaks[name] = peak_of(command + paths)
    return {name: (statistics.median(times[name]), peaks[name]) for name, _ in tools}

def peak_of(command):
    with tempfile.NamedTemporaryFile("r") as out:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name, *command], stdout=subprocess.DEVNULL,
                       env=environment)
        return int(out.read().split()[-1])

with open("/proc/loadavg") as f:
    print(f"load average at the start: {' '.join(f.read().split()[:3])}")
print(f"{'set':12} {'tool':40} {'median ms':>10} {'ms a file':>10} {'peak RSS KiB':>13} {'x torvo':>8}")
for label, paths, count in (("1 file", [one], runs), (f"{len(files)} files", files, runs),
                            (f"{len(many)} files", many, many_runs)):
    result = measure(paths, count)
    for name, (median, peak) in result.items():
        # mediainfo's default against the header analysis, its full parse against the default run.
        against = "torvo-cli --json" if "--ParseSpeed" in name else "torvo-cli --json --no-scan"
        ratio = f"{median / result[against][0]:7.1f}x" if name.startswith("mediainfo") else ""
        print(f"{label:12} {name:40} {median * 1000:10.1f} {median * 1000 / len(paths):10.3f} {peak:13} {ratio:>8}")
    sys.stdout.flush()
with open("/proc/loadavg") as f:
    print(f"load average at the end: {' '.join(f.read().split()[:3])}")
print("(mediainfo --Output=JSON is compared with torvo-cli --no-scan, --ParseSpeed=1 with the default run;")
print(f" peak RSS under GNU time, whose floor (/bin/true) is {peak_of(['/bin/true'])} KiB)")
for path in many:
    os.unlink(path)
os.rmdir(links)
PY
  # The Python module and Dask against the CLI over the corpus.
  # The interpreter the module was built for (Debian's, which has Dask); PYTHON overrides it.
  python=${PYTHON:-$(command -v /usr/bin/python3 || command -v python3)}
  # The module built beside the CLI (build/python for build/src/app/cli/torvo-cli), unless PYTHONPATH names one.
  built=$(cd "$(dirname "$cli")/../../.." && pwd)/python
  if [[ -z "${PYTHONPATH:-}" && -d "$built/torvo" ]]; then export PYTHONPATH=$built; fi
  if "$python" -c "import torvo" 2>/dev/null; then
    "$python" "$(dirname "$0")/python_bench.py" "$cli" "$corpus" many 3
    if "$python" -c "import dask.distributed" 2>/dev/null; then
      "$python" "$(dirname "$0")/python_bench.py" "$cli" "$corpus" dask 3
    fi
  else
    echo "the Python module is not importable (set PYTHONPATH=build/python): no Python figures"
  fi
  exit 0
fi

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
# A child of this process inherits its peak size through fork and exec: the
# peak comes from one more run under GNU time.
import tempfile
for name, command in commands.items():
    with tempfile.NamedTemporaryFile("r") as out:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name, *command], stdout=subprocess.DEVNULL,
                       env=environment)
        peaks[name] = int(out.read().split()[-1])
print(f"files: {len(files)}, {runs} runs each")
first = next(iter(commands))
for name in commands:
    m = statistics.median(times[name])
    ratio = "" if name == first else f"  {m / statistics.median(times[first]):5.1f}x torvo-cli's time"
    print(f"{name:40} median {m * 1000:8.1f} ms  ({m * 1000 / len(files):.3f} ms a file)  peak RSS {peaks[name]} KiB{ratio}")
PY
