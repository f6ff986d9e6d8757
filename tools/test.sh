#!/usr/bin/env bash
# Builds enctl and runs the whole test suite.
#   tools/test.sh             normal build in build/
#   tools/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   --werror (with either)    compiler warnings fail the build (CI)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
flags=(-DENCTL_WERROR=OFF)
for arg in "$@"; do
  case "$arg" in
    --sanitize) build=build-asan; flags+=(-DENCTL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
    --werror) flags+=(-DENCTL_WERROR=ON) ;;
    *) echo "usage: tools/test.sh [--sanitize] [--werror]" >&2; exit 2 ;;
  esac
done
tools/install-deps.sh
cmake -S . -B "$build" "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)"
