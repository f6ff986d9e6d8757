#!/usr/bin/env bash
# Builds enctl and runs it: the version listing and the general usage.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
./build/enctl version
./build/enctl || true
