#!/usr/bin/env bash
# The floors of src/, checked from the tree: a folder includes only from its
# own floor and the floors below it; the core folders build mailvane_core and
# nothing else, the window folder mailvane_ui; every source file is in its
# folder's CMakeLists.txt. Prints each breach; fails when there is one.
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}
cd "$src"

# Lowest first: the order of src/CMakeLists.txt.
floors=(base net message pop3 httpmail mailbox desktop window app)
core=(base net message pop3 httpmail mailbox desktop)
declare -A rank
for i in "${!floors[@]}"; do rank[${floors[$i]}]=$i; done

breaches=0
breach() { echo "$1"; breaches=$((breaches + 1)); }

for dir in */; do
  dir=${dir%/}
  [ -n "${rank[$dir]+x}" ] || breach "src/$dir: a folder that is no floor (add it to src/CMakeLists.txt and here)"
done

for dir in "${floors[@]}"; do
  [ -d "$dir" ] || continue
  while IFS=: read -r file line; do
    target=${line#*\"}
    target=${target%%\"*}
    floor=${target%%/*}
    if [ -z "${rank[$floor]+x}" ]; then
      breach "src/$file includes \"$target\", which is in no floor"
    elif [ "${rank[$floor]}" -gt "${rank[$dir]}" ]; then
      breach "src/$file includes \"$target\": $dir may not include from $floor"
    fi
  done < <(grep -H '^#include "' "$dir"/*.h "$dir"/*.cpp 2>/dev/null || true)
done

for dir in "${core[@]}"; do
  grep -q 'mailvane_ui' "$dir/CMakeLists.txt" && breach "src/$dir/CMakeLists.txt: a core folder adds to mailvane_ui"
  grep -q 'target_sources(mailvane_core' "$dir/CMakeLists.txt" || breach "src/$dir/CMakeLists.txt: builds no part of mailvane_core"
done
grep -q 'mailvane_core' window/CMakeLists.txt && breach "src/window/CMakeLists.txt: the window folder adds to mailvane_core"

for dir in "${core[@]}" window; do
  for file in "$dir"/*.h "$dir"/*.cpp; do
    [ -e "$file" ] || continue
    name=${file#*/}
    grep -qw -- "$name" "$dir/CMakeLists.txt" || breach "src/$file is not listed in src/$dir/CMakeLists.txt"
  done
done

[ "$breaches" -eq 0 ] && echo "The floors hold." && exit 0
exit 1
