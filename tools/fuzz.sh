#!/usr/bin/env bash
# Fuzzes every decoder of device and network data: builds the libFuzzer
# harnesses of fuzz/ with clang and the sanitizers in build-fuzz/, writes their
# seed corpus from the simulated lab and the test REST service (the normal
# build's enctl-fuzz-seeds), then runs each harness for SECONDS (default 60)
# over its corpus, which grows with what it finds. Fails when a harness finds a
# crash, a leak or a sanitizer report (the input is kept in
# build-fuzz/artifacts/<harness>/).
#
#   tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
harnesses=(fuzz_ses_elements fuzz_ses_pages fuzz_device_data fuzz_rest_json fuzz_saved_text)

tools/install-deps.sh
launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build "${launcher[@]}" > /dev/null
cmake --build build -j2 --target enctl-fuzz-seeds > /dev/null
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DENCTL_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
cmake --build build-fuzz -j2 > /dev/null

corpus=build-fuzz/corpus
build/enctl-fuzz-seeds "$corpus" .
failed=0
for harness in "${harnesses[@]}"; do
  mkdir -p "build-fuzz/artifacts/$harness"
  log="build-fuzz/$harness.log"
  if ! "build-fuzz/fuzz/$harness" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/artifacts/$harness/" "$corpus/$harness" > "$log" 2>&1; then
    failed=1
    echo "$harness: FAILED (see $log)"
    tail -n 30 "$log"
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
  echo "$harness: $runs runs, $cov, corpus $(ls "$corpus/$harness" | wc -l) inputs, no crash, leak or report"
done
exit "$failed"
