# The real sg_ses prints through the kernel what it prints through the shim,
# and the kernel's own ses driver sees the same enclosures: the logical
# identifier, the array device slots with their names and states. Writing a
# slot's fault reaches the lab as SEND DIAGNOSTIC page 02h.

# The array device slots of `sg_ses -p N` output, one "INDEX TEXT" per line.
slot_lines() {
    awk -v what="$1" '
        /Element type:/ { slots = ($0 ~ /Element type: Array device slot,/) }
        slots && what == "names" && /Element [0-9]+ descriptor:/ {
            sub(/^ *Element /, ""); index_ = $1; sub(/^[0-9]+ descriptor: /, ""); sub(/ +$/, "")
            print index_, $0
        }
        slots && what == "states" && /Element [0-9]+ descriptor:/ { index_ = $2 }
        slots && what == "states" && /status: / && index_ != "" {
            state = $0; sub(/.*status: /, "", state); print index_, tolower(state); index_ = ""
        }'
}

# The component of the ses driver whose name is TEXT (trailing blanks aside).
component_named() {
    ls "$1" | awk -v n="$2" '{ t = $0; sub(/ +$/, "", t) } t == n { print; exit }'
}

lab_enclosures > /tmp/enclosures
[ -s /tmp/enclosures ] || fail "the lab has no enclosures"
while read -r node hctl; do
    for page in 1 2 7 0xa; do
        shim sg_ses -p $page $LAB_ROOT/dev/$node > /tmp/ses.shim 2>&1
        sg_ses -p $page /dev/$node > /tmp/ses.real 2>&1 || fail "sg_ses -p $page /dev/$node failed"
        diff -u /tmp/ses.shim /tmp/ses.real || fail "sg_ses -p $page of $node differs between the shim and the kernel"
    done

    class=/sys/class/enclosure/$hctl
    [ -d "$class" ] || fail "the ses driver did not bind $node ($hctl)"
    sg_ses -p 1 /dev/$node > /tmp/page1
    slots=$(awk '/Element type: Array device slot,/ { getline; print $NF }' /tmp/page1)
    [ "$(cat $class/components)" = "$slots" ] ||
        fail "$node: the ses driver has $(cat $class/components) components, sg_ses $slots slots"
    id=$(awk '/enclosure logical identifier/ { print $NF }' /tmp/page1)
    [ "$(cat $class/id | sed 's/^0x//')" = "$id" ] || fail "$node: the ses driver's id is $(cat $class/id), sg_ses says $id"

    sg_ses -p 7 /dev/$node | slot_lines names > /tmp/names
    cp /tmp/names /tmp/names.$node
    sg_ses -p 2 /dev/$node | slot_lines states | sed 's/noncritical/non-critical/; s/not available/unavailable/; s/no access allowed/no access/' > /tmp/states
    [ "$(wc -l < /tmp/names)" = "$slots" ] || fail "$node: sg_ses names $(wc -l < /tmp/names) of $slots slots"
    while read -r index name; do
        component=$(component_named "$class" "$name")
        [ -n "$component" ] || fail "$node: slot $index ($name) is not a component of the ses driver"
        want=$(awk -v i="$index" '$1 == i { $1 = ""; sub(/^ /, ""); print }' /tmp/states)
        got=$(tr "A-Z" "a-z" < "$class/$component/status")
        [ "$got" = "$want" ] || fail "$node: slot $index is '$got' to the ses driver, '$want' to sg_ses"
    done < /tmp/names
    echo "$node ($hctl): sg_ses pages 1 2 7 0Ah as through the shim; ses driver: $slots slots, id $id, names and states agree"
done < /tmp/enclosures

# A slot's fault, set through the ses driver, arrives as page 02h.
read -r node hctl < /tmp/enclosures
class=/sys/class/enclosure/$hctl
read -r index name < /tmp/names.$node
component=$(component_named "$class" "$name")
sent() { enctl-lab stats $LAB | awk -v n="/dev/$node" '$2 == n && $3 == "1Dh" && $4 == "02h" { c = $5 } END { print c + 0 }'; }
before=$(sent)
echo 1 > "$class/$component/fault" 2> /tmp/fault.err
after=$(sent)
[ "$after" -gt "$before" ] || fail "setting the fault of $component sent no page 02h to $node ($before before, $after after)"
echo "$node: fault of '$component' through the ses driver: SEND DIAGNOSTIC page 02h reached the lab ($(cat /tmp/fault.err))"
