#!/usr/bin/env bash
# Installs the Debian packages the rig needs beyond the project's own
# (tools/install-deps.sh): qemu, the static busybox of the guest and kmod's
# depmod and modprobe for the module closure. Does nothing when present.
set -euo pipefail
packages=(qemu-system-x86 busybox-static kmod)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
