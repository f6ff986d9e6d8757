#!/usr/bin/env bash
# Builds enctl and runs it against the simulated lab (sim/README.md): the
# version listing, then `enctl show` on the built-in default lab of one
# enclosure per product, and `show handles` of one of them with its drives. The lab is stopped on exit.
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
