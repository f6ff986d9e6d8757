#!/usr/bin/env bash
# The tests that run discovery and the lab on several threads, built with
# ThreadSanitizer in build-tsan/ (only the programs they need).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DENCTL_TSAN=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build build-tsan -j "$(nproc)" --target test_discovery test_sim
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
build-tsan/tests/test_discovery --gtest_filter='ConcurrentDiscovery.*'
build-tsan/tests/test_sim --gtest_filter='SimLab.ServiceTimes*'
