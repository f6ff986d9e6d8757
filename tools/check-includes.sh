#!/usr/bin/env bash
# Fails when a source file includes a header of a layer it may not depend on.
#   app -> rest, cmdx, vdx, basekit;  cmdx -> vdx -> basekit;  rest -> basekit;
#   sim -> basekit;  tests, bench and tools -> anything.
# A layer may always include its own headers. Run from anywhere; prints one
# line per offending include and exits 1 when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [app]="app rest cmdx vdx basekit"
  [cmdx]="cmdx vdx basekit"
  [vdx]="vdx basekit"
  [rest]="rest basekit"
  [sim]="sim basekit"
  [basekit]="basekit"
)
layers=" app rest cmdx vdx basekit sim tests bench tools "

status=0
for layer in "${!allowed[@]}"; do
  [ -d "$layer" ] || continue
  # file:line:text of every include of a project header ("x/..." or <x/...>).
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^/">]+)\/.*/\1/' <<<"${rest#*:}")
    case "$layers" in *" $target "*) ;; *) continue ;; esac
    case " ${allowed[$layer]} " in *" $target "*) continue ;; esac
    echo "$file:$line: $layer may not include $target (allowed: ${allowed[$layer]})"
    status=1
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^/">]+/' "$layer" \
             --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' || true)
done
exit $status
