#!/usr/bin/env bash
# Times torvo-cli's default run (the full scan) over one large file that is not
# in the page cache against the disk's own pace: dd with O_DIRECT reading the
# same file. Each run starts with the page cache dropped; the two take turns.
# Needs root (drop_caches). The file is only read.
#
#   bench/uncached_scan.sh FILE [TORVO_CLI]      (TORVO_BENCH_RUNS: 5)
set -euo pipefail
file=${1:?usage: uncached_scan.sh FILE [TORVO_CLI]}
cli=${2:-$(dirname "$0")/../build/src/app/cli/torvo-cli}
runs=${TORVO_BENCH_RUNS:-5}
[[ -w /proc/sys/vm/drop_caches ]] || { echo "needs root to drop the page cache" >&2; exit 2; }
config=$(mktemp -d); trap 'rm -rf "$config"' EXIT

python3 - "$runs" "$file" "$cli" "$config" <<'PY'
import os, statistics, subprocess, sys, time
runs, path, cli, config = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
env = dict(os.environ, XDG_CONFIG_HOME=config)
tools = [("dd iflag=direct bs=4M", ["dd", f"if={path}", "of=/dev/null", "bs=4M", "iflag=direct"]),
         ("torvo-cli (full scan)", [cli, path])]
# One warm-up of each: the codec inventory and the program's own files.
for _, command in tools:
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, check=False)
times = {name: [] for name, _ in tools}
for _ in range(runs):
    for name, command in tools:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("1\n")
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, check=False)
        times[name].append(time.perf_counter() - start)
size = os.path.getsize(path)
base = statistics.median(times[tools[0][0]])
print(f"{path}: {size / 2**30:.2f} GiB, {runs} runs each, page cache dropped before every run")
for name, _ in tools:
    median = statistics.median(times[name])
    print(f"  {name:24s} median {median:7.3f} s  {size / median / 2**20:8.1f} MiB/s  {median / base:5.2f}x dd")
PY
