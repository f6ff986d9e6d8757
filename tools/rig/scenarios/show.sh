# enctl show and show handles through the real sg driver print what they
# print through the lab's shim, from the same lab.
for args in "show" "show handles"; do
    file=$(echo "$args" | tr ' ' '_')
    shim enctl $args > /tmp/$file.shim 2>&1
    shim_rc=$?
    enctl $args > /tmp/$file.real 2>&1
    real_rc=$?
    echo "enctl $args: exit $real_rc (shim $shim_rc), $(wc -l < /tmp/$file.real) lines"
    diff -u /tmp/$file.shim /tmp/$file.real || fail "enctl $args differs between the shim and the kernel"
    [ "$real_rc" = "$shim_rc" ] || fail "enctl $args exits $real_rc through the kernel, $shim_rc through the shim"
    grep -q '^Device: ' /tmp/$file.real || fail "enctl $args shows no enclosure"
done
cat /tmp/show_handles.real
