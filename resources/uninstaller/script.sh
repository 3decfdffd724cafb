#!/bin/sh
# Removes the installed Corvane Studio suite. Runs as root from the uninstaller's data folder,
# <prefix>/share/corvane-studio-uninstaller, so the prefix is two folders up.
set -u
here=$(pwd -P)
prefix=$(cd "$here/../.." && pwd -P)
case "$prefix" in
  ""|"/") echo "refusing to remove from '$prefix'"; exit 1 ;;
esac
[ -d "$prefix/share/corvane-studio-uninstaller" ] || { echo "not an installed suite: $prefix"; exit 1; }

removed=0
remove() {
  for p in "$@"; do
    if [ -e "$p" ] || [ -L "$p" ]; then
      rm -rf -- "$p" && echo "removed $p" && removed=$((removed + 1))
    fi
  done
}

remove "$prefix/bin/corvane-studio" "$prefix/bin/corvane-studio-updater" \
       "$prefix/bin/corvane-studio-uninstaller"
for lib in "$prefix"/lib/liborlith.so* "$prefix"/lib/libqd4718updater.so*; do remove "$lib"; done
remove "$prefix/share/corvane-studio" "$prefix/share/corvane-studio-updater" "$prefix/share/orlith"
for desktop in "$prefix"/share/applications/corvane-studio*.desktop; do remove "$desktop"; done
remove /etc/udev/rules.d/70-corvane-studio.rules /etc/modprobe.d/corvane-studio.conf
if command -v udevadm >/dev/null 2>&1; then udevadm control --reload-rules 2>/dev/null || true; fi
# Last, the uninstaller's own folder (this script has been read by now).
remove "$prefix/share/corvane-studio-uninstaller"
echo "Corvane Studio removed ($removed items)"
exit 0
