#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build tree (see fuzz/CMakeLists.txt).
#
#   tools/fuzz.sh smoke    BUILD [SECONDS]        each target over its seed corpus, then SECONDS (default 5)
#                                                 of mutation from a fixed seed; fails on any finding
#   tools/fuzz.sh campaign BUILD SECONDS [NAME..] longer runs, one target at a time, with the
#                                                 executions and executions per second of each
#   tools/fuzz.sh merge    BUILD NAME DIR...      adds what DIR... cover beyond fuzz/corpus/NAME,
#                                                 minimised (-merge=1), to fuzz/corpus/NAME
#
# In a campaign, TORVO_FUZZ_RUNS=N also stops each target after N runs, and
# TORVO_FUZZ_KEEP=DIR keeps each target's new inputs in DIR/<name> (for merge).
#
# Any sanitizer report, crash, leak, timeout (10 s an input) or memory blow-up
# stops a target; the input is saved under BUILD/fuzz-findings/<target>/ and
# the run fails with the report's last lines.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:?smoke, campaign or merge}
build=${2:?fuzz build tree}
findings="$build/fuzz-findings"

targets() {  # the names of the built targets, or the ones given
  if (($#)); then printf '%s\n' "$@"; return; fi
  for options in "$build"/fuzz/fuzz_*.options; do
    local name; name=$(basename "$options" .options)
    [[ -x "$build/fuzz/$name" ]] && echo "${name#fuzz_}"
  done
}

option() {  # option NAME KEY: a value from the target's .options file
  sed -n "s/^$2=//p" "$build/fuzz/fuzz_$1.options"
}

# run NAME SECONDS: fuzzes one target, with new inputs kept in a scratch folder
# so that the committed corpus is only read.
run() {
  local name=$1 seconds=$2 binary="$build/fuzz/fuzz_$1"
  local corpus dict maxLen scratch log rc=0
  corpus=$(option "$name" corpus) dict=$(option "$name" dict) maxLen=$(option "$name" max_len)
  scratch=$(mktemp -d) log=$(mktemp)
  if [[ "$mode" == campaign && -n "${TORVO_FUZZ_KEEP:-}" ]]; then
    rmdir "$scratch"; scratch="$TORVO_FUZZ_KEEP/$name"; mkdir -p "$scratch"
  fi
  mkdir -p "$findings/fuzz_$name" "$corpus"
  local args=(-max_total_time="$seconds" -max_len="$maxLen" -timeout=10 -rss_limit_mb=2048
              -artifact_prefix="$findings/fuzz_$name/" -print_final_stats=1)
  [[ -n "$dict" ]] && args+=(-dict="$dict")
  # The smoke run is CI's: the same mutations every time, so that a red run
  # means a change broke something, not that the dice found an old fault.
  [[ "$mode" == smoke ]] && args+=(-seed=1)
  [[ "$mode" == campaign && -n "${TORVO_FUZZ_RUNS:-}" ]] && args+=(-runs="$TORVO_FUZZ_RUNS")
  local cpu; cpu=$(mktemp)
  # The processor time it used as well: on a shared machine executions per
  # second of wall time say more about the neighbours than about the target.
  /usr/bin/time -o "$cpu" -f '%U %S' timeout --signal=KILL $((seconds + 300)) \
    "$binary" "${args[@]}" "$scratch" "$corpus" >"$log" 2>&1 || rc=$?
  local runs speed perCpu
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  perCpu=$(awk -v runs="${runs:-0}" 'NR == 1 && NF == 2 { t = $1 + $2; printf "%d", (t > 0 ? runs / t : 0) }' "$cpu")
  printf '%-22s %10s runs %8s exec/s %8s exec/cpu-s  corpus %s\n' "fuzz_$name" "${runs:-?}" "${speed:-?}" \
         "${perCpu:-?}" "$(find "$corpus" -type f | wc -l)"
  rm -f "$cpu"
  if ((rc != 0)); then
    echo "!! fuzz_$name failed (exit $rc); the input is in $findings/fuzz_$name/:"
    ls -l "$findings/fuzz_$name/" || true
    grep -E 'ERROR|runtime error|SUMMARY|deadly|Timeout|out-of-memory' "$log" | head -n 5 || true
    tail -n 40 "$log"
  fi
  [[ "$mode" == campaign && -n "${TORVO_FUZZ_KEEP:-}" ]] || rm -rf "$scratch"
  rm -f "$log"
  return "$rc"
}

case "$mode" in
  smoke|campaign)
    seconds=${3:-5}
    shift $(($# < 3 ? $# : 3))
    failed=()
    for name in $(targets "$@"); do
      run "$name" "$seconds" || failed+=("fuzz_$name")
    done
    if ((${#failed[@]})); then
      echo "fuzzing found faults in: ${failed[*]} (inputs under $findings)"
      exit 1
    fi
    echo "fuzzing: no findings"
    ;;
  merge)
    name=${3:?target name}
    shift 3
    corpus=$(option "$name" corpus)
    mkdir -p "$corpus"
    "$build/fuzz/fuzz_$name" -merge=1 -max_len="$(option "$name" max_len)" -timeout=10 -rss_limit_mb=2048 \
      "$corpus" "$@"
    ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
