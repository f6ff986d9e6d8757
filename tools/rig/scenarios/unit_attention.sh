# A LUN added to and removed from an enclosure's target raises a unit
# attention (REPORTED LUNS DATA HAS CHANGED) that the enclosure's next command
# sees; enctl still shows what it shows without one.
read -r node hctl <<EOT
$(lab_enclosures | head -1)
EOT
h=${hctl%%:*}
t=$(echo "$hctl" | cut -d: -f3)
extra="$h:0:$t:1"
tpg=$LOOP/$(wwn_of_host "$h")/tpgt_$t

# add_and_remove_lun: a second LUN of the same backstore, there and gone.
add_and_remove_lun() {
    mkdir "$tpg/lun/lun_1" && ln -s "$CORE/$node" "$tpg/lun/lun_1/$node" || fail "cannot add LUN 1 to $tpg"
    wait_for 20 test -n "$(sg_of "$extra")" || fail "LUN 1 did not appear at $extra"
    rm "$tpg/lun/lun_1/$node" && rmdir "$tpg/lun/lun_1" || fail "cannot remove LUN 1 of $tpg"
    wait_for 20 test ! -e "/sys/bus/scsi/devices/$extra" || fail "$extra was not removed"
}

shim enctl show > /tmp/show.shim 2>&1

add_and_remove_lun
sg_turs /dev/$node > /tmp/turs 2>&1
rc=$?
echo "after a LUN change, TEST UNIT READY to $node: exit $rc: $(cat /tmp/turs)"
[ "$rc" = 6 ] || fail "the LUN change raised no unit attention on $node (sg_turs exit $rc, 6 expected)"

add_and_remove_lun
enctl show > /tmp/show.real 2>&1
diff -u /tmp/show.shim /tmp/show.real || fail "enctl show after a unit attention differs from enctl show without one"
echo "enctl show after a LUN change: as without one"

add_and_remove_lun
enctl debug show > /tmp/show.debug 2>&1
grep "unit attention" /tmp/show.debug || fail "enctl met no unit attention after the LUN change"
