# The largest transfers enctl makes pass through the real sg driver as they
# pass through the shim: 65535-byte page reads (reply page ECh), a 4096-byte
# firmware segment in a download microcode page (SEND DIAGNOSTIC 0Eh), 4096-
# byte E6h log reads, and ATA IDENTIFY DEVICE through ATA PASS-THROUGH.
shim enctl-rig-probe > /tmp/probe.shim 2>&1 || fail "the probe fails through the shim: $(cat /tmp/probe.shim)"
enctl-rig-probe > /tmp/probe.real 2>&1 || fail "the probe fails through the kernel: $(cat /tmp/probe.real)"
diff -u /tmp/probe.shim /tmp/probe.real || fail "the transfers differ between the shim and the kernel"
cat /tmp/probe.real
grep -q 'receive diagnostic ECh (65535)' /tmp/probe.real || fail "no 65535-byte page read was made"
grep -q 'ata identify device (512): result 0 status 00h' /tmp/probe.real || fail "no SATA disk answered IDENTIFY DEVICE"
# Every enclosure received the download microcode page and the E6h read (the
# enhanced form is not compared: LIO cuts its CDB to 10 bytes, see README).
for node in $(lab_enclosures | cut -d' ' -f1); do
    for request in "1Dh 0Eh" "E6h 01h"; do
        enctl-lab stats $LAB | grep -q "/dev/$node $request " || fail "$node never received $request"
    done
done
