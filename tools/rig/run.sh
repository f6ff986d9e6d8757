#!/usr/bin/env bash
# Boots the rig (Debian's kernel in qemu, tools/rig/README.md) and runs
# scenarios in it; prints each scenario's output and result, and exits 0 only
# when every scenario passed.
#   tools/rig/run.sh [--build DIR] [--lab LAB.json] [--keep] [SCENARIO...]
#   tools/rig/run.sh [--build DIR] [--lab LAB.json] --shell
# Every scenario runs by default; --shell opens a shell in the guest with the
# devices set up. The lab is tools/rig/lab.json unless --lab names another.
# KVM is used when /dev/kvm works, TCG otherwise (ENCTL_RIG_ACCEL=tcg|kvm
# decides instead). The guest is built first (tools/rig/build.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$here/../../build
keep=false
shell=false
lab=
scenarios=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --lab) lab=$2; shift 2 ;;
    --keep) keep=true; shift ;;
    --shell) shell=true; shift ;;
    -*) echo "usage: tools/rig/run.sh [--build DIR] [--lab LAB.json] [--keep] [--shell] [SCENARIO...]" >&2; exit 2 ;;
    *) scenarios+=("$1"); shift ;;
  esac
done
# The order matters: the last two change the devices (and put them back).
[ ${#scenarios[@]} -gt 0 ] || scenarios=(show ses transfers unit_attention handler_stop)
for s in "${scenarios[@]}"; do
  [ -f "$here/scenarios/$s.sh" ] || { echo "rig: no scenario $s in $here/scenarios" >&2; exit 2; }
done

failed() {
  echo "rig: FAILED: $*"
  echo "rig: 0 passed, ${#scenarios[@]} failed"
  exit 1
}

command -v qemu-system-x86_64 >/dev/null || failed "qemu-system-x86_64 is not installed (tools/rig/install-deps.sh)"
build=$(cd "$build" && pwd)
image=$build/rig
"$here/build.sh" "$build" "$image" || failed "the guest could not be built"

work=$(mktemp -d "${TMPDIR:-/tmp}/enctl-rig.XXXXXX")
cleanup() { if $keep; then echo "rig: results kept in $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
mkdir -p "$work/share"
if [ -n "$lab" ]; then cp "$lab" "$work/share/lab.json" || failed "cannot read $lab"; fi

qemu_base=(qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot -m 384 -smp 1
  -kernel "$image/vmlinuz" -initrd "$image/initrd.cpio")
kernel_args="console=ttyS0 panic=-1 loglevel=4"

# KVM only when a guest really boots with it: a usable-looking /dev/kvm can
# still fail (nested virtualisation).
accel=${ENCTL_RIG_ACCEL:-auto}
if [ "$accel" = auto ]; then
  accel=tcg
  if [ -w /dev/kvm ] &&
     (timeout -k 5 30 "${qemu_base[@]}" -accel kvm -cpu host -serial "file:$work/probe.log" \
       -append "$kernel_args rig.probe=1"; exit $?) >/dev/null 2>&1 &&
     grep -q "rig: probe ok" "$work/probe.log"; then
    accel=kvm
  fi
fi
case "$accel" in
  kvm) accel_args=(-accel kvm -cpu host); limit=300 ;;
  tcg) accel_args=(-accel tcg); limit=900 ;;
  *) failed "ENCTL_RIG_ACCEL must be kvm or tcg, not $accel" ;;
esac

share=(-virtfs "local,path=$work/share,mount_tag=rig,security_model=none,id=rig")
if $shell; then
  "${qemu_base[@]}" "${accel_args[@]}" -serial mon:stdio "${share[@]}" -append "$kernel_args rig.shell=1"
  exit 0
fi

list=$(IFS=,; echo "${scenarios[*]}")
echo "rig: $(cat "$image/kernel") under $accel, scenarios: ${scenarios[*]}"
started=$(date +%s)
set +e
timeout -k 10 "$limit" "${qemu_base[@]}" "${accel_args[@]}" \
  -serial "file:$work/console.log" "${share[@]}" \
  -append "$kernel_args rig.scenarios=$list rig.limit=$((limit / 2))" > "$work/qemu.log" 2>&1
qemu_rc=$?
set -e
elapsed=$(($(date +%s) - started))
out=$work/share/out

if [ ! -f "$out/booted" ]; then
  tail -n 30 "$work/console.log" "$work/qemu.log" 2>/dev/null
  [ "$qemu_rc" = 124 ] && failed "the guest did not boot within $limit s"
  failed "the guest did not boot (qemu exit $qemu_rc)"
fi
if [ "$(cat "$out/setup.rc" 2>/dev/null)" != 0 ]; then
  cat "$out/setup.log" 2>/dev/null
  tail -n 40 "$out/dmesg.txt" 2>/dev/null
  failed "the rig's devices could not be set up (guest log above)"
fi

passed=0
failures=()
for s in "${scenarios[@]}"; do
  echo "=== rig scenario $s"
  cat "$out/$s.log" 2>/dev/null
  rc=$(cat "$out/$s.rc" 2>/dev/null || echo none)
  if [ "$rc" = 0 ]; then
    passed=$((passed + 1))
    echo "--- PASS $s ($(awk '{ printf "%.1f s", $2 - $1 }' "$out/$s.time"))"
  else
    failures+=("$s")
    [ "$rc" = none ] && rc="no result (the guest stopped first)"
    [ "$rc" = 137 ] && rc="killed at the time limit"
    echo "--- FAIL $s: exit $rc"
  fi
done
if [ ${#failures[@]} -gt 0 ]; then
  echo "=== guest kernel log (last 40 lines)"
  tail -n 40 "$out/dmesg.txt" 2>/dev/null
fi
echo "rig: $accel, ${elapsed} s in all"
echo "rig: $passed passed, ${#failures[@]} failed"
[ ${#failures[@]} -eq 0 ] || { echo "rig: FAILED: ${failures[*]}"; exit 1; }
