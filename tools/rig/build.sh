#!/usr/bin/env bash
# Builds the rig's guest from Debian packages and a build of the project:
#   tools/rig/build.sh [BUILD_DIR [OUT_DIR]]     (build/ and build/rig/ by default)
# OUT_DIR gets vmlinuz and initrd.cpio: Debian's kernel (linux-image-amd64,
# unpacked with dpkg-deb, kept in the cache) with the module closure the rig
# needs, busybox-static, enctl, the lab and the rig's programs, the sg3_utils
# tools, and every shared library they load. The cache is
# ${ENCTL_RIG_CACHE:-~/.cache/enctl-rig}.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
out=${2:-$build/rig}
cache=${ENCTL_RIG_CACHE:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/enctl-rig}
modules=(configfs target_core_user tcm_loop sg ses sd_mod 9pnet_virtio 9p virtio_pci)
programs=("$build/enctl" "$build/enctl-lab" "$build/enctl-rig-handler" "$build/enctl-rig-probe")
sg_tools=(sg_ses sg_inq sg_vpd sg_turs sg_raw)

die() {
  echo "rig build: $*" >&2
  exit 1
}

for p in "${programs[@]}" "$build/libenctl_lab_shim.so"; do
  [ -x "$p" ] || [ -f "$p" ] || die "$p is missing: build the project first"
done
command -v dpkg-deb >/dev/null && command -v depmod >/dev/null && command -v modprobe >/dev/null ||
  die "dpkg-deb, depmod and modprobe are needed (tools/rig/install-deps.sh)"
busybox=$(command -v busybox) || die "busybox-static is not installed (tools/rig/install-deps.sh)"
if ldd "$busybox" >/dev/null 2>&1; then die "$busybox is not the static busybox (busybox-static)"; fi

# The kernel: the package linux-image-amd64 depends on, unpacked once.
mkdir -p "$cache"
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
if [ -z "$package" ]; then
  package=$(ls "$cache" | sed -n 's/^\(linux-image-.*\)\.tree$/\1/p' | sort -V | tail -1)
  [ -n "$package" ] || die "no kernel package known to apt (apt-get update first) and none in $cache"
fi
tree=$cache/$package.tree
if [ ! -f "$tree/.unpacked" ]; then
  rm -rf "$tree" "$cache/download"
  mkdir -p "$cache/download"
  for attempt in 1 2 3; do
    (cd "$cache/download" && apt-get download -o APT::Sandbox::User=root "$package" >/dev/null) && break
    [ "$attempt" = 3 ] && die "cannot download $package"
    sleep 10
  done
  dpkg-deb -x "$cache"/download/"$package"_*.deb "$tree"
  rm -rf "$cache/download"
  touch "$tree/.unpacked"
fi
version=$(ls "$tree/lib/modules" | head -1)
[ -n "$version" ] && [ -f "$tree/boot/vmlinuz-$version" ] || die "$tree holds no kernel"
[ -f "$tree/lib/modules/$version/modules.dep" ] || depmod -b "$tree" "$version"

stage=$(mktemp -d "${TMPDIR:-/tmp}/enctl-rig-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,dev,proc,sys,run,tmp,lib/modules,rig/bin,rig/scenarios}

# Modules in load order, each once.
for m in "${modules[@]}"; do
  modprobe -d "$tree" -S "$version" --show-depends "$m" || die "module $m is not in $package"
done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }' > "$stage/modules.list"
while read -r path; do
  cp "$path" "$stage/lib/modules/"
  basename "$path" >> "$stage/lib/modules/order"
done < "$stage/modules.list"
rm "$stage/modules.list"

cp "$busybox" "$stage/bin/busybox"
cp "${programs[@]}" "$build/libenctl_lab_shim.so" "$stage/rig/bin/"
# Debugging information only slows the guest's start.
if command -v strip >/dev/null; then
  for p in "${programs[@]}" "$build/libenctl_lab_shim.so"; do strip --strip-debug "$stage/rig/bin/${p##*/}"; done
fi
for tool in "${sg_tools[@]}"; do
  path=$(command -v "$tool") || die "$tool is missing (sg3-utils)"
  cp "$path" "$stage/rig/bin/"
done

# Shared libraries at the paths the loader looks for them.
for binary in "$stage"/rig/bin/*; do
  ldd "$binary" | awk '/=> \// { print $3 } /^\t\// { print $1 }'
done | sort -u | while read -r lib; do
  mkdir -p "$stage$(dirname "$lib")"
  cp -L "$lib" "$stage$lib"
done

cp "$here/guest/init" "$stage/init"
chmod 755 "$stage/init"
cp "$here/guest/rig.sh" "$here/lab.json" "$stage/rig/"
cp "$here"/scenarios/*.sh "$stage/rig/scenarios/"

mkdir -p "$out"
(cd "$stage" && find . | LC_ALL=C sort | "$busybox" cpio -o -H newc 2>/dev/null) > "$out/initrd.cpio.new"
mv "$out/initrd.cpio.new" "$out/initrd.cpio"
cp "$tree/boot/vmlinuz-$version" "$out/vmlinuz"
echo "$package" > "$out/kernel"
