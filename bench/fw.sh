#!/usr/bin/env bash
# Sends one firmware image (default 64 MiB) to a simulated enclosure with
# `enctl fw download -nostatdelay` on the virtual clock and reports the
# segment rate against the lab and enctl's own CPU time per segment.
#   bench/fw.sh [BUILD_DIR] [IMAGE_BYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
size=${2:-67108864}
if [ ! -x "$build/enctl" ] || [ ! -x "$build/enctl-lab" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target enctl enctl-lab >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/enctl-bench-fw.XXXXXX")
cleanup() {
  "$build/enctl-lab" stop "$work/lab" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# One product 2 enclosure (no fixed delay after the download), a short write.
echo '{"enclosures": [{"product": 2, "microcode": {"write_seconds": 15}}]}' >"$work/lab.json"
mapfile -t env_lines < <("$build/enctl-lab" start "$work/lab" "$work/lab.json")
image=$("$build/enctl-lab" image 2 2050-001 "$work" --size "$size")
segments=$(((size + 4095) / 4096))

start=$(date +%s%N)
env "${env_lines[@]}" ENCTL_VIRTUAL_CLOCK=1 /usr/bin/time -f "%U %S" -o "$work/cpu.txt" \
  "$build/enctl" SCSI1:0,0,0 fw download "$image" -nostatdelay >"$work/out.txt" || true
end=$(date +%s%N)
wall_us=$(((end - start) / 1000))
read -r user sys <"$work/cpu.txt"
echo "image: $size bytes, $segments segments of 4096 bytes"
echo "  result: $(grep -a -o 'Download status complete (0x..)\|ERROR.*' "$work/out.txt" | head -1)"
echo "  wall time: $wall_us us, $((segments * 1000000 / (wall_us > 0 ? wall_us : 1))) segments per second"
awk -v u="$user" -v s="$sys" -v n="$segments" \
  'BEGIN { printf "  enctl CPU time: %.2f s user, %.2f s system, %.1f us per segment\n", u, s, (u + s) * 1e6 / n }'
