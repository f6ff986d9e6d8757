#!/usr/bin/env bash
# `enctl show` and `enctl show handles` on a simulated lab of many enclosures
# and disks: wall time, peak memory and SCSI commands per enclosure.
#   bench/show.sh [BUILD_DIR] [ENCLOSURES] [DISKS] [RUNS]
# Defaults: build, 16 enclosures, 1000 disks, 10 runs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
enclosures=${2:-16}
disks=${3:-1000}
runs=${4:-10}
enctl="$build/enctl"
lab="$build/enctl-lab"
if [ ! -x "$enctl" ] || [ ! -x "$lab" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target enctl enctl-lab >/dev/null
fi

work=$(mktemp -d /tmp/enctl-bench-show-XXXXXX)
cleanup() {
  "$lab" stop "$work/lab" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$lab" generate "$enclosures" "$disks" >"$work/lab.json"
"$lab" start "$work/lab" "$work/lab.json" >"$work/lab.env"
mapfile -t lab_env <"$work/lab.env"

run_enctl() { env "${lab_env[@]}" "$enctl" "$@"; }

# Wall time: mean over RUNS runs, after one warm-up run.
wall_time() {
  run_enctl "$@" >/dev/null
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do
    run_enctl "$@" >/dev/null
  done
  end=$(date +%s%N)
  echo "  wall time: mean $(((end - start) / runs / 1000)) us over $runs runs"
}

# Peak resident memory of one run (the lab's preload library included).
peak_memory() {
  python3 - "${lab_env[@]}" -- "$enctl" "$@" <<'PY'
import os, resource, subprocess, sys
args = sys.argv[1:]
split = args.index("--")
env = dict(os.environ)
for assignment in args[:split]:
    name, _, value = assignment.partition("=")
    env[name] = value
subprocess.run(args[split + 1:], env=env, stdout=subprocess.DEVNULL, check=False)
print("  peak memory: %d KiB (maximum resident set size)" % resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
PY
}

# SCSI commands of one run, per enclosure and in total (from the lab's counters).
commands() {
  "$lab" stats "$work/lab" reset >/dev/null
  run_enctl "$@" >/dev/null
  "$lab" stats "$work/lab" | awk -v n="$enclosures" '
    $1 ~ /^SCSI/ { enclosure[$1] += $NF; to_enclosures += $NF; next }
    $1 == "total" { total = $2; next }
    { to_disks += $NF }
    END {
      min = -1; max = 0
      for (e in enclosure) {
        if (min < 0 || enclosure[e] < min) min = enclosure[e]
        if (enclosure[e] > max) max = enclosure[e]
      }
      printf "  SCSI commands: %d in total; %d to %d enclosures (%.1f per enclosure, min %d, max %d); %d to disks\n",
             total, to_enclosures, length(enclosure), length(enclosure) ? to_enclosures / length(enclosure) : 0,
             min < 0 ? 0 : min, max, to_disks
    }'
}

shown=$(run_enctl show | grep -c '^Device: ' || true)
listed=$(run_enctl show handles | grep -cE '^ +[0-9]+  ' || true)
echo "lab: $enclosures enclosures, $disks disks ($shown enclosures shown, $listed slots listed by show handles)"
for operation in "show" "show handles"; do
  # shellcheck disable=SC2086
  set -- $operation
  echo "enctl $operation"
  wall_time "$@"
  peak_memory "$@"
  commands "$@"
done
