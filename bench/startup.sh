#!/usr/bin/env bash
# Start-up time and peak memory of `enctl version` (no devices are touched).
#   bench/startup.sh [BUILD_DIR] [RUNS]
# Uses hyperfine when installed, otherwise a timed loop; peak memory comes from
# /usr/bin/time -v, otherwise from getrusage through python3.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-200}
enctl="$build/enctl"
if [ ! -x "$enctl" ]; then
  cmake -S . -B "$build" >/dev/null
  cmake --build "$build" -j2 --target enctl >/dev/null
fi

echo "enctl version: start-up wall time over $runs runs"
if command -v hyperfine >/dev/null 2>&1; then
  hyperfine --warmup 5 --runs "$runs" --shell=none "$enctl version"
else
  "$enctl" version >/dev/null  # warm the page cache
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do
    "$enctl" version >/dev/null
  done
  end=$(date +%s%N)
  total_us=$(((end - start) / 1000))
  echo "  total ${total_us} us, mean $((total_us / runs)) us per run"
fi

echo "enctl version: peak memory"
if [ -x /usr/bin/time ]; then
  /usr/bin/time -v "$enctl" version 2>&1 >/dev/null | grep -E "Maximum resident set size" | sed 's/^\s*/  /'
else
  python3 - "$enctl" <<'PY'
import resource, subprocess, sys
subprocess.run([sys.argv[1], "version"], stdout=subprocess.DEVNULL, check=True)
print("  Maximum resident set size (kbytes): %d" % resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
PY
fi
