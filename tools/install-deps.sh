#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need
# (chromium: the browser test of the health report; clang and its runtime
# libraries: the libFuzzer harnesses of tools/fuzz.sh). Does nothing when they
# are all present.
set -euo pipefail
packages=(
  build-essential cmake g++ git
  libgtest-dev libgmock-dev
  libcurl4-openssl-dev libcjson-dev libzip-dev zlib1g-dev
  sg3-utils smartmontools python3 zip unzip
  chromium
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
