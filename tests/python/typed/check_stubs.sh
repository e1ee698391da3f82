#!/usr/bin/env bash
# mypy (Debian's) over a program written against the torvo stubs: the example
# passes --strict, and each misuse is an error on its own line.
# Arguments: the interpreter, a cache folder for mypy.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$1" -c 'import mypy' 2>/dev/null || { echo "mypy not installed"; exit 77; }
out=$("$1" -m mypy --strict --config-file="$here/mypy.ini" --cache-dir="$2" "$here/example.py" "$here/misuse.py" 2>&1)
status=0
grep -q 'example.py' <<<"$out" && { echo "the example does not pass:"; status=1; }
wanted=$(grep -n '  # [a-z-]*$' "$here/misuse.py" | sed -E 's/^([0-9]+):.*# ([a-z-]+)$/misuse.py:\1: [\2]/')
got=$(grep -E '^[^ ]*misuse.py:[0-9]+: error' <<<"$out" | sed -E 's|^.*(misuse.py:[0-9]+): error: .*\[([a-z-]+)\]$|\1: [\2]|' | sort -u)
missing=$(comm -23 <(sort <<<"$wanted") <(sort <<<"$got"))
lines() { cut -d: -f1,2 | sort -u; }
[[ -z "$missing" && "$(lines <<<"$got")" == "$(lines <<<"$wanted")" ]] ||
    { printf 'misuse errors\n  wanted: %s\n  got:    %s\n' "$wanted" "$got"; status=1; }
((status)) && echo "$out"
exit $status
