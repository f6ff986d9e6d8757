# A handler that stops in the middle of a run: the kernel fails the
# enclosure's commands after the backstore's time-out and enctl takes its
# error path in bounded time; with the handler back, enctl shows everything.
read -r node hctl <<EOT
$(lab_enclosures | sed -n 3p)
EOT
name="SCSI$(echo "$hctl" | awk -F: '{ print $1 ":" $2 "," $3 "," $4 }')"
shim enctl show > /tmp/show.shim 2>&1

# The handler answers the first commands of the run, then dies.
stop_handler "$node"
start_handler "$node" --exit-after 2
start=$(cut -d' ' -f1 /proc/uptime)
timeout -s KILL 240 enctl show > /tmp/show.real 2>&1
rc=$?
took=$(awk -v s="$start" '{ printf "%.0f", $1 - s }' /proc/uptime)
echo "enctl show with the handler of $node ($name) stopped mid-run: exit $rc after $took s"
cat /tmp/show.real
[ "$rc" != 137 ] || fail "enctl show hung (killed after 240 s)"
handler_alive "$node" && fail "the handler of $node did not stop"
# The other enclosures are shown as before.
awk '/^Device: /{ keep = ($2 != n) } keep' n="$name" /tmp/show.shim > /tmp/others.shim
awk '/^Device: /{ keep = ($2 != n) } keep' n="$name" /tmp/show.real > /tmp/others.real
diff -u /tmp/others.shim /tmp/others.real || fail "the other enclosures are not shown as before"
if diff -q /tmp/show.shim /tmp/show.real > /dev/null; then fail "enctl show did not notice that $node stopped answering"; fi

# A new handler on the same UIO node serves the enclosure again.
start_handler "$node"
enctl show > /tmp/show.again 2>&1
diff -u /tmp/show.shim /tmp/show.again || fail "enctl show with the handler back differs"
echo "with a new handler: as before"
