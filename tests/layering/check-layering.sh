#!/usr/bin/env bash
# Fails when a header include crosses the layering the wrong way: the frameworks and layers
# (core/, fwupdate/, common/, platform/) never include a program's header, and no program
# (updater/, uninstaller/) includes the main program's. An include counts as reaching a folder
# when the only files it can name live there.
set -uo pipefail
top=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$top" || exit 2

mapfile -t files < <(git ls-files -- '*.h' '*.hpp' '*.cpp' '*.c')
declare -A exists
for f in "${files[@]}"; do exists["$f"]=1; done

# Folders whose headers a file of the given top-level folder may not reach.
forbidden_for() {
  case "$1" in
    core|fwupdate|common|platform) echo "app updater uninstaller" ;;
    updater|uninstaller) echo "app" ;;
    *) echo "" ;;
  esac
}

violations=0
for f in "${files[@]}"; do
  layer=${f%%/*}
  banned=$(forbidden_for "$layer")
  [ -z "$banned" ] && continue
  while IFS= read -r inc; do
    # Every tracked file whose path ends with the include's path is a candidate target.
    allowed=0; hit=""
    dir=$(dirname "$f")
    if [ -n "${exists["$dir/$inc"]+x}" ]; then continue; fi
    for g in "${files[@]}"; do
      case "$g" in
        "$inc"|*/"$inc") ;;
        *) continue ;;
      esac
      top_of=${g%%/*}
      if [[ " $banned " == *" $top_of "* ]]; then hit="$g"; else allowed=1; fi
    done
    if [ $allowed -eq 0 ] && [ -n "$hit" ]; then
      echo "layering: $f includes \"$inc\", which only $hit provides"
      violations=$((violations + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f")
done

if [ $violations -gt 0 ]; then
  echo "layering: $violations include(s) cross the layering"
  exit 1
fi
echo "layering: ${#files[@]} files checked, no include crosses the layering"
