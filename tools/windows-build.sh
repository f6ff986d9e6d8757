#!/usr/bin/env bash
# Cross-builds enctl.exe and the Windows test programs with mingw-w64 into
# build-windows/, runs the tests under Wine, then a smoke run of
# `enctl.exe version` and `enctl.exe show` on a Wine prefix without devices.
#   tools/windows-build.sh            build, tests, smoke run
#   tools/windows-build.sh --build    build only
#   --werror (with either)            compiler warnings fail the build (CI)
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
flags=(-DENCTL_WERROR=OFF)
for arg in "$@"; do
  case "$arg" in
    --build) build_only=1 ;;
    --werror) flags+=(-DENCTL_WERROR=ON) ;;
    *) echo "usage: tools/windows-build.sh [--build] [--werror]" >&2; exit 2 ;;
  esac
done
tools/windows-install-deps.sh
start=$(date +%s)
build=build-windows
command -v ccache >/dev/null && flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"
cmake --build "$build" -j2
built=$(date +%s)
echo "windows build: $((built - start)) s"
[ "$build_only" = 1 ] && exit 0

# A private Wine prefix, quiet and without a display.
export WINEPREFIX="${WINEPREFIX:-$PWD/$build/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true

(cd "$build" && ctest --output-on-failure)
# The count of the Windows tests, one line.
gtest=$("$wine" "$build/test_windows.exe" 2>&1 | tr -d '\r')
passed=$(echo "$gtest" | grep -c '^\[       OK \]' || true)
failed=$(echo "$gtest" | grep -c '^\[  FAILED  \] [A-Za-z]' || true)
echo "windows tests under Wine: $passed passed, $failed failed"

# Smoke run: the version listing matches the Linux build of the same commit
# when there is a Linux build beside it (brought up to date first: the listing
# names each module's last commit); show on a host without enclosures ends as
# such a host does (exit 1 with its message), not in a crash or a hang.
timeout 60 "$wine" "$build/enctl.exe" version | tr -d '\r' > "$build/version.txt"
cat "$build/version.txt"
if [ -f build/CMakeCache.txt ]; then
  cmake --build build --target enctl -j2 >/dev/null
  diff <(build/enctl version) "$build/version.txt"
  echo "version listing: same as the Linux build"
fi
set +e
show=$(timeout 60 "$wine" "$build/enctl.exe" show 2>&1 | tr -d '\r')
rc=$?
set -e
echo "$show"
echo "enctl.exe show exit code: $rc"
if [ "$rc" -ge 124 ] || [ "$rc" -eq 0 ]; then
  echo "FAILED: enctl.exe show should end with the no-enclosure outcome" >&2
  exit 1
fi
echo "windows build and Wine tests: $(( $(date +%s) - start )) s"
