#!/usr/bin/env bash
# Builds enctl and runs it against the simulated lab (sim/README.md): the
# version listing, then `enctl show` on the built-in default lab of one
# enclosure per product, and `show handles` of one of them with its drives,
# then a firmware update of that enclosure on the virtual clock (the 900-second
# wait and the status polls take no time; the lab's time follows enctl's).
# The lab is stopped on exit.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
./build/enctl version

labdir=$(mktemp -d "${TMPDIR:-/tmp}/enctl-demo-lab.XXXXXX")
cleanup() {
  ./build/enctl-lab stop "$labdir" >/dev/null 2>&1 || true
  rm -rf "$labdir"
}
trap cleanup EXIT

labenv=$(./build/enctl-lab start "$labdir")
mapfile -t assignments <<<"$labenv"
echo
echo "Simulated lab started in $labdir (no hardware needed):"
printf '  %s\n' "${assignments[@]}"
echo
echo "$ enctl show"
env "${assignments[@]}" ./build/enctl show || true
echo
echo "$ enctl SCSI5:0,0,0 show handles"
env "${assignments[@]}" ./build/enctl SCSI5:0,0,0 show handles || true
echo
image=$(./build/enctl-lab image 5 2050-001 "$labdir")
echo "$ enctl SCSI5:0,0,0 fw download_activate $image   (typing y; virtual clock)"
echo y | env "${assignments[@]}" ENCTL_VIRTUAL_CLOCK=1 ./build/enctl SCSI5:0,0,0 fw download_activate "$image" || true
./build/enctl-lab wait "$labdir" 60  # the enclosure restarts on the new firmware
echo "$ enctl SCSI5:0,0,0 show"
env "${assignments[@]}" ./build/enctl SCSI5:0,0,0 show || true
