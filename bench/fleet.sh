#!/usr/bin/env bash
# `show` and `show handles` against labs whose devices take time to answer
# (DISK_US per disk command, ENCLOSURE_US per enclosure command), with the
# worker pool and with one worker, side by side: wall time against the lab's
# lower bound (the busiest device's service time), enctl's CPU time per
# device command, peak memory, commands per disk and per enclosure.
#   bench/fleet.sh [BUILD_DIR] [DISK_US] [ENCLOSURE_US] [SIZES...]
# Defaults: build, 300 us, 2000 us, sizes 16x1000 and 64x4096.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
disk_us=${2:-300}
enclosure_us=${3:-2000}
shift $(($# < 3 ? $# : 3))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(16x1000 64x4096)
enctl="$build/enctl"
lab="$build/enctl-lab"
if [ ! -x "$enctl" ] || [ ! -x "$lab" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target enctl enctl-lab >/dev/null
fi

work=$(mktemp -d /tmp/enctl-bench-fleet-XXXXXX)
cleanup() {
  "$lab" stop "$work/lab" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

printf '%-9s %-12s %-8s %9s %9s %9s %8s %9s %7s %7s\n' size command workers "wall ms" "bound ms" "cpu ms" "us/cmd" "peak KiB" "/disk" "/encl"
for size in "${sizes[@]}"; do
  enclosures=${size%x*}
  disks=${size#*x}
  "$lab" generate "$enclosures" "$disks" "$disk_us" "$enclosure_us" >"$work/lab.json"
  "$lab" start "$work/lab" "$work/lab.json" >"$work/lab.env"
  mapfile -t lab_env <"$work/lab.env"
  for command in "show" "show handles"; do
    for workers in pool 1; do
      cap=()
      [ "$workers" = pool ] || cap=(ENCTL_JOB_WORKERS=1)
      # shellcheck disable=SC2086
      env "${lab_env[@]}" "${cap[@]}" "$enctl" $command >/dev/null  # warm the page cache
      "$lab" stats "$work/lab" reset >/dev/null
      # shellcheck disable=SC2086
      env "${lab_env[@]}" "${cap[@]}" /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$enctl" $command >/dev/null
      "$lab" stats "$work/lab" >"$work/stats"
      read -r wall user sys peak <"$work/time"
      awk -v size="$size" -v command="$command" -v workers="$workers" -v wall="$wall" -v user="$user" \
          -v sys="$sys" -v peak="$peak" -v encls="$enclosures" -v disks="$disks" '
        $1 ~ /^SCSI/ { to_encl += $NF; next }
        $1 == "total" { total = $2; next }
        $1 == "busiest" { bound = $3 / 1000; next }
        { to_disks += $NF }
        END {
          cpu = (user + sys) * 1000
          printf "%-9s %-12s %-8s %9.0f %9.1f %9.0f %8.1f %9d %7.2f %7.2f\n", size, command, workers, wall * 1000,
                 bound, cpu, total ? cpu * 1000 / total : 0, peak, disks ? to_disks / disks : 0, to_encl / encls
        }' "$work/stats"
    done
  done
  "$lab" stop "$work/lab" >/dev/null
done
