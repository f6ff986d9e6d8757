#!/usr/bin/env bash
# `enctl getlog all-noprompt` on the default lab: wall time, commands sent to
# the enclosures and to the disks, outside programs run and the time spent
# waiting for them.
#   bench/getlog.sh [BUILD_DIR]
# The run uses the virtual clock, so the enclosures' own waits (the log
# bundle's size polls, 10 s each) are counted, not slept.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
enctl="$build/enctl"
lab="$build/enctl-lab"
if [ ! -x "$enctl" ] || [ ! -x "$lab" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target enctl enctl-lab >/dev/null
fi

work=$(mktemp -d /tmp/enctl-bench-getlog-XXXXXX)
cleanup() {
  "$lab" stop "$work/lab" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/tmp"
"$lab" start "$work/lab" >"$work/lab.env"
mapfile -t lab_env <"$work/lab.env"
run_getlog() { env "${lab_env[@]}" TMPDIR="$work/tmp" ENCTL_VIRTUAL_CLOCK=1 "$enctl" "$@" getlog all-noprompt; }

echo "getlog all-noprompt on the default lab"
"$lab" stats "$work/lab" reset >/dev/null
start=$(date +%s%N)
run_getlog >"$work/plain.txt"
end=$(date +%s%N)
echo "  wall time: $(((end - start) / 1000000)) ms"
"$lab" stats "$work/lab" | awk '
  $1 ~ /^SCSI/ { to_enclosures += $NF; next }
  $1 == "total" { next }
  { to_disks += $NF }
  END { printf "  device commands: %d to the enclosures, %d to the disks (the outside tools included)\n", to_enclosures, to_disks }'
rm -rf "${work:?}/tmp/"*

# A second run with debug output counts and times the outside programs.
run_getlog debug >"$work/debug.txt"
awk '
  /^command: / { n++ }
  /^command took [0-9]+ ms$/ { ms += $3 }
  /^Log bundle not ready after / { polls++ }
  /^log_size=/ { polls++ }
  END {
    printf "  outside programs: %d, %.1f s waiting for them (debug run)\n", n, ms / 1000
    printf "  log bundle size polls: %d (%d s of the enclosures'"'"' time, not slept here)\n", polls, polls * 10
  }' "$work/debug.txt"
zip=$(ls "$work/tmp"/*.zip 2>/dev/null | head -1 || true)
[ -n "$zip" ] && echo "  package: $(stat -c %s "$zip") bytes"
