#!/usr/bin/env bash
# The package's life on a machine, played by dpkg itself in a root of its own (dpkg --root, with
# its own database; the maintainer scripts run outside a chroot and see DPKG_ROOT), so the machine
# running the test never gets the package: install, the same package again, an upgrade to a
# higher version made here from it, remove, purge. After the purge nothing of the package's is
# left but the user's own data.
#
# Usage: package-cycle.sh corvane-studio_<version>_<arch>.deb
set -uo pipefail
deb=$(readlink -f "$1")
work=$(mktemp -d)
root="$work/root"
trap 'dpkg_root --purge corvane-studio > /dev/null 2>&1; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The new root has no packages, so the dependencies cannot be met there: their check is dpkg's own.
dpkg_root() {
  dpkg --root="$root" --log="$work/dpkg.log" --force-script-chrootless --force-depends \
    --force-not-root "$@"
}
installed_version() {
  dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' corvane-studio 2>/dev/null
}
# Every path in the root but dpkg's database and the user's home.
snapshot() {
  (cd "$root" && find . -mindepth 1 -not -path './var/lib/dpkg' -not -path './var/lib/dpkg/*' \
    -not -path './home' -not -path './home/*' | LC_ALL=C sort)
}

mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# The folders a Debian system has before any package of ours.
for d in usr/bin usr/lib usr/libexec usr/share/applications usr/share/doc usr/share/man/man1 \
         usr/share/icons/hicolor usr/share/lintian/overrides usr/share/polkit-1/actions \
         usr/lib/udev/rules.d etc/modprobe.d var/lib; do
  mkdir -p "$root/$d"
done
before=$(snapshot)
conf=etc/modprobe.d/corvane-studio.conf

# Install.
dpkg_root --install "$deb" > "$work/install.out" 2>&1 || { cat "$work/install.out"; fail "install"; }
version=$(dpkg-deb --field "$deb" Version)
[ "$(installed_version)" = "install ok installed $version" ] || fail "installed: $(installed_version)"
[ -x "$root/usr/bin/corvane-studio" ] || fail "the program is not installed"
[ -f "$root/$conf" ] || fail "$conf is not installed"
dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Conffiles}' corvane-studio | grep -q "/$conf " \
  || fail "dpkg does not know $conf as a conffile"

# The same package again, over an administrator's change to the conffile: the change stays.
echo '# changed by the administrator' >> "$root/$conf"
dpkg_root --install "$deb" > "$work/reinstall.out" 2>&1 || { cat "$work/reinstall.out"; fail "reinstall"; }
[ "$(installed_version)" = "install ok installed $version" ] || fail "reinstalled: $(installed_version)"
grep -q 'changed by the administrator' "$root/$conf" || fail "reinstalling lost the conffile's change"

# A higher version, made from this one with one icon fewer: the upgrade removes what the new
# version no longer ships and keeps the administrator's change.
higher="${version%.*}.$((${version##*.} + 1))"
unpacked="$work/higher"
dpkg-deb --raw-extract "$deb" "$unpacked"
sed -i "s/^Version: .*/Version: $higher/" "$unpacked/DEBIAN/control"
dropped=usr/share/icons/hicolor/16x16/apps/com.kestova.CorvaneStudio.png
rm "$unpacked/$dropped"
dpkg-deb --root-owner-group -Zxz --build "$unpacked" "$work/higher.deb" > /dev/null \
  || fail "building version $higher"
dpkg_root --install "$work/higher.deb" > "$work/upgrade.out" 2>&1 || { cat "$work/upgrade.out"; fail "upgrade"; }
[ "$(installed_version)" = "install ok installed $higher" ] || fail "upgraded: $(installed_version)"
[ ! -e "$root/$dropped" ] || fail "the upgrade left $dropped behind"
grep -q 'changed by the administrator' "$root/$conf" || fail "the upgrade lost the conffile's change"
[ -x "$root/usr/bin/corvane-studio" ] || fail "the upgrade lost the program"

# The user's own data, as the programs write it.
home="$root/home/user"
mkdir -p "$home/.config/corvane-studio" "$home/.cache/corvane-studio/log"
echo settings > "$home/.config/corvane-studio/corvane-studio.conf"
echo log > "$home/.cache/corvane-studio/log/2026_01_01.log"

# Remove: everything goes but the conffile.
dpkg_root --remove corvane-studio > "$work/remove.out" 2>&1 || { cat "$work/remove.out"; fail "remove"; }
[ "$(installed_version)" = "deinstall ok config-files $higher" ] || fail "removed: $(installed_version)"
left=$(comm -13 <(echo "$before") <(snapshot))
[ "$left" = "./$conf" ] || { fail "after remove, expected only the conffile"; echo "$left"; }

# Purge: nothing of the package's stays; the user's data does.
dpkg_root --purge corvane-studio > "$work/purge.out" 2>&1 || { cat "$work/purge.out"; fail "purge"; }
[ -z "$(installed_version)" ] || [ "$(installed_version)" = "unknown ok not-installed " ] \
  || fail "purged: $(installed_version)"
left=$(comm -13 <(echo "$before") <(snapshot))
[ -z "$left" ] || { fail "the purge left files behind"; echo "$left"; }
[ -f "$home/.config/corvane-studio/corvane-studio.conf" ] || fail "the purge took the user's settings"

if [ $failures -gt 0 ]; then echo "package cycle: $failures failure(s)"; exit 1; fi
echo "package cycle: install, reinstall, upgrade to $higher, remove and purge as expected"
