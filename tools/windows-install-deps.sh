#!/usr/bin/env bash
# Installs the Debian packages of the Windows build: the mingw-w64 cross
# compiler and Windows headers, Wine to run the programs, and GoogleTest's
# source (built for Windows with the tests). Does nothing when they are present.
set -euo pipefail
packages=(cmake g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
