#!/usr/bin/env bash
# Runs one enctl command against a big simulated lab and reports its wall time
# and the device round trips it made (commands the lab received, by opcode
# and page, summed over all devices).
#   bench/lab.sh [BUILD_DIR] [ENCLOSURES] [DISKS] [ENCTL ARGS...]
# Defaults: build, 16 enclosures, 1000 disks, `show handles`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
enclosures=${2:-16}
disks=${3:-1000}
shift $(($# < 3 ? $# : 3))
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(show handles)
if [ ! -x "$build/enctl" ] || [ ! -x "$build/enctl-lab" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target enctl enctl-lab >/dev/null
fi

labdir=$(mktemp -d "${TMPDIR:-/tmp}/enctl-bench-lab.XXXXXX")
cleanup() {
  "$build/enctl-lab" stop "$labdir/lab" >/dev/null 2>&1 || true
  rm -rf "$labdir"
}
trap cleanup EXIT

"$build/enctl-lab" generate "$enclosures" "$disks" >"$labdir/lab.json"
mapfile -t env_lines < <("$build/enctl-lab" start "$labdir/lab" "$labdir/lab.json")

echo "lab: $enclosures enclosures, $disks disks; command: enctl ${args[*]}"
env "${env_lines[@]}" "$build/enctl" "${args[@]}" >/dev/null || true  # warm the page cache
"$build/enctl-lab" stats "$labdir/lab" reset
start=$(date +%s%N)
env "${env_lines[@]}" "$build/enctl" "${args[@]}" >"$labdir/out.txt" || true
end=$(date +%s%N)
echo "  wall time: $(((end - start) / 1000)) us"
echo "  output lines: $(wc -l <"$labdir/out.txt")"
"$build/enctl-lab" stats "$labdir/lab" >"$labdir/stats.txt"
echo "  device round trips: $(awk '$1 == "total" { print $2 }' "$labdir/stats.txt")"
echo "  by opcode and page (count, opcode, page):"
awk '$1 != "total" { n[$3 " " $4] += $5 } END { for (k in n) print "    " n[k] " " k }' "$labdir/stats.txt" | sort -k2,3
