# The rig's guest library (busybox sh), sourced by the init and by every
# scenario. rig_setup starts the lab from /rig/lab.json (or the share's
# lab.json) and gives every SCSI device of the lab a TCMU device, served by
# its own enctl-rig-handler, exported through a tcm_loop LUN at the lab's own
# address, so that the kernel names it as the lab does (sgN, sdX,
# SCSIH:C,T,L).

LAB=/run/lab
LAB_ROOT=$LAB/root
LAB_SOCKET=$LAB/lab.sock
STATE=/run/rig
TARGET=/sys/kernel/config/target
LOOP=$TARGET/loopback
CORE=$TARGET/core/user_0
# Seconds a command may wait for its handler before the kernel fails it.
CMD_TIME_OUT=${CMD_TIME_OUT:-4}

fail() {
    echo "FAIL: $*"
    exit 1
}

note() { echo "rig: $*"; }

# wait_for SECONDS TEST...: polls TEST every 50 ms; false when time runs out.
wait_for() {
    local tenths=$(($1 * 20))
    shift
    while ! "$@"; do
        tenths=$((tenths - 1))
        [ "$tenths" -gt 0 ] || return 1
        usleep 50000
    done
}

# Runs a program through the lab's preload shim instead of the kernel.
shim() {
    env ENCTL_SYSROOT=$LAB_ROOT ENCTL_LAB_SOCKET=$LAB_SOCKET LD_PRELOAD=/rig/bin/libenctl_lab_shim.so "$@"
}

# The lab's SCSI devices, one line each: "NODE H C T L TYPE", in sg order.
lab_devices() {
    local number node target
    for number in $(ls $LAB_ROOT/sys/class/scsi_generic | sed 's/^sg//' | sort -n); do
        node=sg$number
        target=$(readlink -f "$LAB_ROOT/sys/class/scsi_generic/$node/device")
        echo "$node $(echo "${target##*/}" | tr ':' ' ') $(cat "$target/type")"
    done
}

wwn_of_host() { printf 'naa.50014050000%05d' "$1"; }

# Creates tcm_loop hosts until host H exists; each must get the next number.
ensure_host() {
    local want=$1 count name
    while [ ! -d "$LOOP/$(wwn_of_host "$want")" ]; do
        count=$(ls "$LOOP" | grep -c '^naa\.')
        name=$(wwn_of_host "$count")
        mkdir "$LOOP/$name" || fail "cannot create tcm_loop host $count"
        wait_for 10 test -d "/sys/class/scsi_host/host$count" ||
            fail "tcm_loop host $count did not become scsi host$count (the kernel has $(ls /sys/class/scsi_host))"
    done
}

# The UIO node of a user backstore.
uio_of() {
    local dev
    for dev in /sys/class/uio/uio*; do
        case "$(cat "$dev/name")" in */"$1"/enctl/"$1") echo "${dev##*/}"; return 0 ;; esac
    done
    return 1
}

# start_handler NODE [OPTIONS]: a handler for the node's backstore.
start_handler() {
    local node=$1 uio
    shift
    uio=$(uio_of "$node") || fail "no UIO node for $node"
    enctl-rig-handler "$uio" "$LAB_SOCKET" "$node" "$@" >> "$STATE/handler-$node.log" 2>&1 &
    echo $! > "$STATE/$node.pid"
}

stop_handler() {
    local pid
    pid=$(cat "$STATE/$1.pid")
    kill "$pid" 2>/dev/null
    wait_for 10 sh -c "! kill -0 $pid 2>/dev/null" || fail "handler of $1 does not stop"
}

handler_alive() { kill -0 "$(cat "$STATE/$1.pid")" 2>/dev/null; }

# The guest's sg name of a SCSI address "H:C:T:L", once the kernel made it.
sg_of() { ls "/sys/bus/scsi/devices/$1/scsi_generic" 2>/dev/null; }

# attach NODE H C T L TYPE: backstore, handler, LUN; waits for the kernel's
# devices and checks their names against the lab's.
attach() {
    local node=$1 h=$2 c=$3 t=$4 l=$5 type=$6 hctl="$2:$3:$4:$5" tpg
    [ "$c" = 0 ] || fail "$node: tcm_loop has channel 0 only (the lab says $hctl)"
    [ "$t" -lt 32 ] || fail "$node: tcm_loop has targets 0 to 31 only (the lab says $hctl)"
    ensure_host "$h"
    tpg=$LOOP/$(wwn_of_host "$h")/tpgt_$t
    if [ ! -d "$tpg" ]; then
        mkdir "$tpg" || fail "cannot create $tpg"
        echo "$(wwn_of_host "$h")1" > "$tpg/nexus" || fail "cannot create the nexus of $tpg"
    fi
    # Every command goes to the handler: the size is never used, but needed.
    mkdir -p "$CORE/$node" || fail "cannot create backstore $node"
    echo -n "dev_config=enctl/$node,dev_size=1048576" > "$CORE/$node/control" || fail "$node: control"
    echo 1 > "$CORE/$node/enable" || fail "$node: enable"
    echo "$CMD_TIME_OUT" > "$CORE/$node/attrib/cmd_time_out" || fail "$node: cmd_time_out"
    start_handler "$node"
    mkdir "$tpg/lun/lun_$l" || fail "cannot create LUN $l of $tpg"
    ln -s "$CORE/$node" "$tpg/lun/lun_$l/$node" || fail "cannot link $node to $tpg/lun/lun_$l"
    wait_for 20 test -n "$(sg_of "$hctl")" || fail "$node: no sg device appeared at $hctl"
    [ "$(sg_of "$hctl")" = "$node" ] || fail "the kernel named $hctl $(sg_of "$hctl"), the lab $node"
    if [ "$type" = 0 ]; then
        local disk
        disk=$(ls "$LAB_ROOT/sys/devices/platform/host$h/target$h:$c:$t/$hctl/block")
        wait_for 20 test -e "/sys/bus/scsi/devices/$hctl/block/$disk" ||
            fail "$node: the kernel did not name $hctl $disk (it has $(ls /sys/bus/scsi/devices/$hctl/block 2>/dev/null))"
    fi
    note "$node at $hctl type $type"
}

rig_setup() {
    mkdir -p "$STATE"
    local description=/rig/lab.json
    [ -f /share/lab.json ] && description=/share/lab.json
    enctl-lab start $LAB $description > "$STATE/lab.env" || fail "the lab does not start"
    [ -d "$LOOP" ] || mkdir "$LOOP" || fail "no tcm_loop fabric"
    lab_devices > "$STATE/devices"
    grep -q . "$STATE/devices" || fail "the lab has no SCSI devices"
    while read -r node h c t l type; do
        attach "$node" "$h" "$c" "$t" "$l" "$type"
    done < "$STATE/devices"
    if ls /sys/class/nvme 2>/dev/null | grep -q .; then
        note "NVMe disks of the lab have no TCMU counterpart"
    fi
}

# Enclosures of the lab: "NODE H:C:T:L" per line.
lab_enclosures() { awk '$6 == 13 { print $1, $2 ":" $3 ":" $4 ":" $5 }' "$STATE/devices"; }
