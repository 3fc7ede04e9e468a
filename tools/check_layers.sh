#!/usr/bin/env bash
# Checks that no file includes from a higher layer than its own. The layers, from the bottom up (a folder
# may include from its own layer and those below it; tests/ and bench/ may include from any):
#   resources  platform  engine  settings  audio  graphs  widgets  panels  services  tools  app
# Prints each offending include and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(resources platform engine settings audio graphs widgets panels services tools app tests bench)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
bad=0
while IFS= read -r file; do
  own=${file%%/*}
  [ -n "${rank[$own]:-}" ] || continue
  while IFS=: read -r line target; do
    to=${target%%/*}
    [ -n "${rank[$to]:-}" ] || continue
    if [ "${rank[$to]}" -gt "${rank[$own]}" ]; then
      echo "$file:$line includes $target: $own may not depend on $to"
      bad=1
    fi
  done < <(grep -noE '^#include "[^"]+"' "$file" | sed -E 's/^([0-9]+):#include "([^"]+)"/\1:\2/')
done < <(git ls-files '*.cpp' '*.h')
[ "$bad" -eq 0 ] && echo "layers: no include reaches up" || exit 1
