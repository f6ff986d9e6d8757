# The real sg_ses prints through the kernel what it prints through the shim,
# and the kernel's own ses driver sees the same enclosures: the logical
# identifier, the array device slots with their names and states. Writing a
# slot's fault reaches the lab as SEND DIAGNOSTIC page 02h.

# "NAME|STATE" of every array device slot, from sg_ses pages 07h and 02h
# (state texts in the ses driver's words), sorted by name.
sg_ses_slots() {
    awk '
        /Element type:/ { slots = ($0 ~ /Element type: Array device slot,/) }
        FNR == 1 { file++ }
        slots && file == 1 && /Element [0-9]+ descriptor: / {
            n = $0; sub(/^ *Element [0-9]+ descriptor: /, "", n); sub(/ +$/, "", n); name[$2] = n
        }
        slots && file == 2 && /Element [0-9]+ descriptor:/ { element = $2 }
        slots && file == 2 && /status: / && element != "" {
            s = tolower($0); sub(/.*status: /, "", s)
            if (s == "noncritical") s = "non-critical"
            if (s == "not available") s = "unavailable"
            if (s == "no access allowed") s = "no access"
            print name[element] "|" s; element = ""
        }' /tmp/page7 /tmp/page2 | sort
}

# The same from the ses driver's components (each state read sends page 02h).
driver_slots() {
    local status name state
    for status in "$1"/*/status; do
        name=${status%/status}
        name=${name##*/}
        read -r state < "$status"
        echo "$name|$state"
    done | sed 's/ *|/|/' | tr 'A-Z' 'a-z' | sort
}

lab_enclosures > /tmp/enclosures
[ -s /tmp/enclosures ] || fail "the lab has no enclosures"
while read -r node hctl; do
    for page in 1 2 7 0xa; do
        shim sg_ses -p $page $LAB_ROOT/dev/$node > /tmp/ses.shim 2>&1
        sg_ses -p $page /dev/$node > /tmp/page$page 2>&1 || fail "sg_ses -p $page /dev/$node failed"
        diff -u /tmp/ses.shim /tmp/page$page || fail "sg_ses -p $page of $node differs between the shim and the kernel"
    done

    class=/sys/class/enclosure/$hctl
    [ -d "$class" ] || fail "the ses driver did not bind $node ($hctl)"
    slots=$(awk '/Element type: Array device slot,/ { getline; print $NF }' /tmp/page1)
    [ "$(cat $class/components)" = "$slots" ] ||
        fail "$node: the ses driver has $(cat $class/components) components, sg_ses $slots slots"
    id=$(awk '/enclosure logical identifier/ { print $NF }' /tmp/page1)
    [ "$(sed 's/^0x//' $class/id)" = "$id" ] || fail "$node: the ses driver's id is $(cat $class/id), sg_ses says $id"
    sg_ses_slots | tr 'A-Z' 'a-z' > /tmp/slots.sg_ses
    driver_slots "$class" > /tmp/slots.driver
    [ "$(wc -l < /tmp/slots.sg_ses)" = "$slots" ] || fail "$node: sg_ses names $(wc -l < /tmp/slots.sg_ses) of $slots slots"
    diff -u /tmp/slots.sg_ses /tmp/slots.driver || fail "$node: the ses driver's slots differ from sg_ses's"
    echo "$node ($hctl): sg_ses pages 1 2 7 0Ah as through the shim; ses driver: $slots slots, id $id, names and states agree"
done < /tmp/enclosures

# A slot's fault, set through the ses driver, arrives as page 02h.
read -r node hctl < /tmp/enclosures
status=$(ls -d /sys/class/enclosure/$hctl/*/fault | head -1)
sent() { enctl-lab stats $LAB | awk -v n="/dev/$node" '$2 == n && $3 == "1Dh" && $4 == "02h" { c = $5 } END { print c + 0 }'; }
before=$(sent)
echo 1 > "$status" 2> /dev/null
after=$(sent)
[ "$after" -gt "$before" ] || fail "setting $status sent no page 02h to $node ($before before, $after after)"
echo "$node: setting a slot's fault through the ses driver sent page 02h to the lab"
